#pragma once

// The record types are named by both the record description's header and the call model's
// header, so a test file sees only one of them: the sink keeps what it receives in a plain
// struct, and only collecting_sink.cpp reads the RecordInfo itself.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "skype/record_finish_job.h"

namespace tw::test {

/// A finished record as the record pipeline received it.
struct RecordSeen
{
    int type = 0;
    std::string path, skypeName, secondText, fullName;
    std::uint32_t start = 0, end = 0;
    std::int64_t size = 0;
};

/// Records made by the finisher, collected from the worker thread.
struct CollectingSink : RecordSink
{
    std::mutex mutex;
    std::vector<RecordSeen> records;

    void StartRecordAdd(const RecordInfo& info, int recordType) override;
};

} // namespace tw::test
