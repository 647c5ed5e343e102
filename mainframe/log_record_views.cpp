#include "mainframe/log_record_views.h"

#include <string>

#include "app/log.h"
#include "records/record_info.h"

namespace tw {

void LogRecordViews::recordAdded(const RecordInfo& info)
{
    const char* kind = info.type == RECORD_VOICEMAIL ? "Voice mail" : "Conversation record";
    appLog().Write(std::string(kind) + " " + info.Path() + " from " + info.SkypeName() +
                   " added to the records.");
}

void LogRecordViews::addRecentRecord(std::uint32_t)
{}

bool LogRecordViews::releaseRecord(std::uint32_t)
{
    return false;
}

void LogRecordViews::reopenRecord(std::uint32_t)
{}

} // namespace tw
