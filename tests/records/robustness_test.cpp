// Damaged and hostile input: index files, WAV files and record chunks. Nothing may crash,
// allocate without bound or lose a record file; a bad index is rebuilt from the files.

#include <cstring>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "records/riff_wave_file.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

class HostileIndexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_records.push_back(test::makeRecordFile(m_dir.path(), RECORD_VOICEMAIL,
                                                 test::localTime(2007, 7, 20, 9, 0, 0), 30));
        m_records.push_back(test::makeRecordFile(m_dir.path(), RECORD_VOICEMAIL,
                                                 test::localTime(2007, 7, 20, 10, 0, 0), 30));
        m_records.push_back(test::makeRecordFile(m_dir.path(), RECORD_CONVERSATION,
                                                 test::localTime(2007, 7, 22, 9, 0, 0), 30,
                                                 "odd name \xE2\x82\xAC"));
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path()));
        ASSERT_TRUE(index.SetRecordFlags(m_records[0].startTime, RECFLAG_LOCKED));
        ASSERT_TRUE(index.Save());
        m_good = readFile(indexPath());
        // header, year, month, 2 days, 2 + 1 records
        ASSERT_EQ(m_good.size(), 56u + 40 + 40 + 80 + 3 * 872);
    }

    std::string indexPath() const { return m_dir / "twkrdb.ndx"; }

    /// Opens the folder over the damaged index: every record is back (rebuilt from the files
    /// when the index was refused) and the new index file loads.
    void expectRecovered(const std::vector<std::uint8_t>& damaged, const std::string& what)
    {
        writeFile(indexPath(), damaged);
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path())) << what;
        EXPECT_EQ(index.GetRecordCount(), 3u) << what;
        for (const auto& r : m_records) {
            EXPECT_TRUE(fs::exists(r.Path())) << what;
            EXPECT_TRUE(index.FindRecord(r.startTime)) << what;
        }
        EXPECT_TRUE(index.Load()) << what;
    }

    test::ScopedTimeZone m_tz{"Europe/Berlin"};
    test::TempFolder m_dir;
    std::vector<RecordInfo> m_records;
    std::vector<std::uint8_t> m_good;
};

TEST_F(HostileIndexTest, TruncatedIndexIsRebuilt)
{
    for (std::size_t size = 0; size < m_good.size(); size += size < 300 ? 7 : 401)
        expectRecovered({m_good.begin(), m_good.begin() + size}, "cut at " + std::to_string(size));
}

TEST_F(HostileIndexTest, LyingCountsAndCapacitiesAreRefused)
{
    struct Damage
    {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const Damage damages[] = {
        {"version", 0, 201},
        {"year count beyond the file", 24, 1000000},
        {"year capacity below count", 28, 0},
        {"absurd year capacity", 28, 0xFFFFFFFF},
        {"month count beyond the file", 56 + 24, 50},
        {"absurd month capacity", 56 + 28, 0xFFFFFFF0},
        {"day capacity below count", 96 + 28, 1},
        {"record count beyond the file", 136 + 24, 4000},
        {"absurd record capacity", 136 + 28, 0x7FFFFFFF},
        {"month key out of range", 96, 13},
        {"day key out of order", 136, 25},
        {"day key zero", 176, 0},
    };
    for (const Damage& d : damages) {
        auto bytes = m_good;
        put32(bytes, d.at, d.value);
        expectRecovered(bytes, d.what);
    }
    // Records out of order within their day.
    auto bytes = m_good;
    const std::size_t records = 56 + 40 + 40 + 80;
    std::swap_ranges(bytes.begin() + records, bytes.begin() + records + 872,
                     bytes.begin() + records + 872);
    expectRecovered(bytes, "unsorted records");
}

TEST_F(HostileIndexTest, TrustedIndexKeepsItsFlags)
{
    // A sound index is used as it is (the lock flag lives only there, not in the chunk).
    CRecordIndex index;
    ASSERT_TRUE(index.OpenFolder(m_dir.path()));
    EXPECT_EQ(index.GetRecordFlags(m_records[0].startTime), RECFLAG_LOCKED);
    EXPECT_EQ(readFile(indexPath()), m_good);
}

TEST_F(HostileIndexTest, RandomMutationsNeverCrashTheLoader)
{
    std::mt19937 random(20070720);
    const std::string path = m_dir / "fuzz.ndx";
    for (int round = 0; round < 400; ++round) {
        auto bytes = m_good;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (bytes.size() - 4);
            if (random() % 2)
                bytes[at] = static_cast<std::uint8_t>(random());
            else
                put32(bytes, at & ~std::size_t(3), static_cast<std::uint32_t>(random()));
        }
        if (random() % 5 == 0)
            bytes.resize(random() % bytes.size());
        writeFile(path, bytes);
        IndexTree tree;
        if (!LoadIndexFile(path, tree))
            continue;
        // Whatever loaded must be walkable.
        std::size_t records = 0;
        for (const auto& y : tree.years)
            for (const auto& m : y.months)
                for (const auto& d : m.days) {
                    records += d.records.size();
                    for (const auto& r : d.records)
                        (void)r.Path();
                }
        EXPECT_LE(records, 3u);
    }
}

TEST(RandomInputTest, WaveAndChunkReadersSurviveGarbage)
{
    test::TempFolder dir;
    const std::string good = dir / "good.wav";
    test::writePcmWav(good, 400);
    RecordInfo info;
    info.SetPath(good);
    ASSERT_TRUE(AppendRecordInfo(info));
    const auto original = readFile(good);
    std::mt19937 random(4711);
    const std::string path = dir / "fuzz.wav";
    for (int round = 0; round < 900; ++round) {
        std::vector<std::uint8_t> bytes;
        if (round % 10 == 0) {
            bytes.resize(random() % 200);
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(random());
        } else {
            bytes = original;
            for (int e = 0; e < 3; ++e) {
                const std::size_t at = random() % (bytes.size() - 4);
                put32(bytes, at, random() % 3 ? static_cast<std::uint32_t>(random()) : 0xFFFFFFFF);
            }
            if (random() % 3 == 0)
                bytes.resize(random() % bytes.size());
        }
        CRiffWaveFile wav;
        if (wav.OpenMemory(bytes.data(), bytes.size()) == hr::ok) {
            std::vector<std::uint8_t> data(1024);
            std::uint32_t got = 0;
            std::uint64_t total = 0;
            while (wav.Read(data.data(), 1024, &got) == hr::ok && got > 0)
                total += got;
            EXPECT_LE(total, bytes.size());
            (void)wav.GetDurationCs();
            (void)wav.GetSampleCount();
        }
        if (round % 4)
            continue; // the chunk reader needs a real file: every fourth round
        writeFile(path, bytes);
        RecordInfo read;
        if (ReadRecordInfo(path, read)) {
            EXPECT_LT(read.Path().size(), 4 * RecordInfo::kPathUnits);
        }
    }
}

} // namespace
} // namespace tw
