// The index at its boundaries: a record just after local midnight, a record exactly at the
// recycling limit.
#include <gtest/gtest.h>

#include "records/record_index.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

class IndexBoundaries : public RecordFolderTest
{
protected:
    CRecordIndex m_index{[] { return std::time_t(1200000000); }};
};

TEST_F(IndexBoundaries, RecordAtHalfPastMidnightIsFiledUnderItsLocalDay)
{
    // 00:30 in Berlin in July is 22:30 UTC of the day before.
    const auto r = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 0, 30));
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const std::string f = readFile(m_dir.file("twkrdb.ndx"));
    ASSERT_EQ(f.size(), 56u + 40 + 40 + 40 + 872);
    EXPECT_EQ(le32(f, 56), 2007u);
    EXPECT_EQ(le32(f, 96), 7u);
    EXPECT_EQ(le32(f, 136), 20u) << "the day of the record's date folder";
    EXPECT_EQ(le32(f, 176 + 848), r.startTime);
    EXPECT_TRUE(m_index.FindRecord(r.startTime));
}

TEST_F(IndexBoundaries, DeleteOlderThanKeepsTheRecordExactlyAtTheLimit)
{
    const auto older = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    const auto atLimit = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 11));
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    ASSERT_TRUE(m_index.DeleteOlderThan(atLimit.startTime));
    EXPECT_FALSE(m_index.FindRecord(older.startTime));
    EXPECT_FALSE(exists(older.Path()));
    EXPECT_TRUE(m_index.FindRecord(atLimit.startTime)) << "not older than the limit";
    EXPECT_TRUE(exists(atLimit.Path()));
}

} // namespace
} // namespace tw
