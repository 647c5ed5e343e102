// The index at its boundaries: a record just after local midnight, a record exactly at the
// recycling limit.
#include <fstream>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "records/index_file.h"
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

/// The largest resident size the process has had, in KiB.
long peakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// The largest address space the process has had (VmPeak), touched or not, in KiB.
long peakAddressSpaceKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmPeak:", 0) == 0)
            return std::stol(line.substr(7));
    return 0;
}

/// An index file of one year, month and day group with the given keys, the day claiming
/// `count` records, followed by `stored` records (start times 1, 2, ...).
std::string indexFile(std::uint32_t year, std::uint32_t month, std::uint32_t day,
                      std::uint32_t count, std::uint32_t stored)
{
    const auto group = [](std::uint32_t key, std::uint32_t children) {
        return u32(key) + std::string(20, '\0') + u32(children) + u32(children) +
               std::string(8, '\0');
    };
    std::string f = u32(kIndexVersion) + std::string(20, '\0') + u32(1) + u32(2) +
                    std::string(24, '\0') + group(year, 1) + group(month, 1) + group(day, count);
    for (std::uint32_t i = 1; i <= stored; ++i) {
        RecordInfo r;
        r.startTime = r.endTime = i;
        f.append(reinterpret_cast<const char*>(&r), sizeof r);
    }
    return f;
}

bool loads(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    IndexTree tree;
    return LoadIndexFile(path, tree);
}

TEST_F(IndexBoundaries, IndexFilesWithImpossibleGroupsAreRefused)
{
    const std::string path = m_dir.file("twkrdb.ndx");
    ASSERT_TRUE(loads(path, indexFile(2007, 7, 20, 2, 2)));
    EXPECT_FALSE(loads(path, indexFile(2007, 0, 20, 2, 2))) << "month 0";
    EXPECT_FALSE(loads(path, indexFile(2007, 7, 0, 2, 2))) << "day 0";
    EXPECT_FALSE(loads(path, indexFile(0, 7, 20, 2, 2))) << "year 0";
    EXPECT_FALSE(loads(path, indexFile(2007, 13, 20, 2, 2)));
    EXPECT_FALSE(loads(path, indexFile(2007, 7, 32, 2, 2)));
    EXPECT_FALSE(loads(path, indexFile(2007, 7, 20, 3, 2))) << "a record short";

    // A day that claims half a million records (436 MB) in a file of two.
    const long before = peakKiB();
    EXPECT_FALSE(loads(path, indexFile(2007, 7, 20, 1u << 19, 2)));
    EXPECT_LT(peakKiB() - before, 64 * 1024) << "allocated for records the file does not hold";
    // Records are not zero-filled before the file is read into them, so memory asked for
    // and never touched shows only in the address space: 4 Mi records would be 3.6 GB.
    const long reserved = peakAddressSpaceKiB();
    EXPECT_FALSE(loads(path, indexFile(2007, 7, 20, 1u << 22, 2)));
    EXPECT_LT(peakAddressSpaceKiB() - reserved, 256 * 1024)
        << "asked for memory for records the file does not hold";
}

} // namespace
} // namespace tw
