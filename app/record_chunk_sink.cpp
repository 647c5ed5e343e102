#include "app/record_chunk_sink.h"

#include "app/log.h"
#include "app/trace.h"
#include "records/record_info.h"

namespace tw {

void RecordChunkSink::StartRecordAdd(const RecordInfo& info, int recordType)
{
    const std::string kind =
        recordType == static_cast<int>(RECORD_VOICEMAIL) ? "Voice mail" : "Conversation";
    if (!AppendRecordInfo(info)) {
        appLog().Write(kind + " record " + info.Path() + " kept without its description.");
        return;
    }
    appLog().Write(kind + " record " + info.Path() + " from " + info.SkypeName());
    tracef(2, "StartRecordAdd(%d) %s", recordType, info.Path().c_str());
}

} // namespace tw
