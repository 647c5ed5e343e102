#include "collecting_sink.h"

#include <gtest/gtest.h>

#include "records/record_info.h"

namespace tw::test {

void CollectingSink::StartRecordAdd(const RecordInfo& info, int recordType)
{
    EXPECT_EQ(info.type, static_cast<std::uint32_t>(recordType));
    std::lock_guard lock(mutex);
    records.push_back({recordType, info.Path(), info.SkypeName(), info.SecondText(),
                       info.FullName(), info.startTime, info.endTime, info.size});
}

} // namespace tw::test
