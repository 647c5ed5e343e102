#include "collecting_sink.h"

#include "records/record_info.h"

namespace tw::test {

void CollectingSink::StartRecordAdd(const RecordInfo& info, int recordType)
{
    RecordSeen seen{recordType,       info.type,         info.origin,     info.Path(),
                    info.SkypeName(), info.SecondText(), info.FullName(), info.startTime,
                    info.endTime,     info.size};
    std::lock_guard lock(mutex);
    records.push_back(std::move(seen));
}

} // namespace tw::test
