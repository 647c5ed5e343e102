#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "records/record_info.h"
#include "skype/record_finish_job.h"

namespace tw {

struct FinishResult
{
    bool recordMade = false;
    RecordInfo info;
};

/// Worker thread: turns the files of one recording into a record. A conversation's segments
/// are joined and its two sides mixed; a voice mail loses the greeting Skype wrote into it.
/// The file takes its record name (never replacing a file), the RecordInfo is filled and, when
/// a sink is given, handed to it. Failures are logged; audio that could not be turned into a
/// record stays on disk, except a voice mail that ended during the greeting, which holds
/// nothing of the caller and is deleted.
FinishResult FinishRecord(const FinishJob& job, RecordSink* sink);

/// The RecordInfo of a finished record (no file work except reading its size).
RecordInfo MakeRecordInfo(const FinishJob& job, const std::string& path, std::time_t end);

} // namespace tw
