#pragma once

#include "skype/record_finish_job.h"

namespace tw {

/// The record sink of the application until the record pipeline (index, conversion, e-mail)
/// takes finished records over: it writes each record's description into its file as the
/// "TWKI" chunk and logs the record. Called on the record worker thread.
class RecordChunkSink : public RecordSink
{
public:
    void StartRecordAdd(const RecordInfo& info, int recordType) override;
};

} // namespace tw
