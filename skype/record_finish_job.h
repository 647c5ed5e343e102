#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "skype/segment_merge.h"

namespace tw {

struct RecordInfo;

/// Where finished records go: the record pipeline of the application, which adds them to the
/// index, converts and e-mails them. Called on the record worker thread; an implementation
/// copies what it needs and returns soon.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    virtual void StartRecordAdd(const RecordInfo& info, int recordType) = 0;
};

/// Everything the record finisher needs from a call, copied on the UI thread when the
/// recording ends, so the worker never reads the call list.
struct FinishJob
{
    RecordFiles files;
    std::uint32_t recordType = 0; ///< 1 voice mail, 2 conversation; anything else: no record
    std::uint32_t recordOrigin = 0;
    std::time_t recordStart = 0;
    std::time_t recordEnd = 0;
    bool transfer = false; ///< the call was a leg of a call transfer
    std::string partnerHandle;
    std::string participantsText;
    std::string partnerDispName;
    std::string annotation;
    /// For a transfer: the full name of the contact named by the participant list, looked up
    /// on the UI thread (empty when not known yet).
    std::string transferFullName;
    std::uint32_t greetingCs = 500;
    int formatMode = 1; ///< 1: a conversation keeps two channels; else one mixed channel
};

/// Worker thread: FinishRecord (record_finish.h) for callers that do not need the result.
/// True when a record was made and handed to the sink.
bool RunRecordFinisher(const FinishJob& job, RecordSink* sink);

} // namespace tw
