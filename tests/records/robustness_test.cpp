// Damaged and hostile input: index files, WAV files and record chunks. Nothing may crash,
// allocate without bound or lose a record file; a bad index is rebuilt from the files.

#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "records/riff_wave_file.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

class HostileIndexTest : public RecordFolderTest
{
protected:
    void SetUp() override
    {
        m_records = {rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9)),
                     rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10)),
                     rec(RECORD_CONVERSATION, at(2007, 7, 22, 9), 30, "odd name \xE2\x82\xAC")};
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path()));
        ASSERT_TRUE(index.SetRecordFlags(m_records[0].startTime, RECFLAG_LOCKED));
        ASSERT_TRUE(index.Save());
        m_good = readFile(m_index);
        // header, year, month, 2 days, 2 + 1 records
        ASSERT_EQ(m_good.size(), 56u + 40 + 40 + 80 + 3 * 872);
    }

    /// Opens the folder over the damaged index: every record is back (rebuilt from the files
    /// when the index was refused) and the new index file loads.
    void expectRecovered(const std::string& damaged, const std::string& what)
    {
        writeFile(m_index, damaged);
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path())) << what;
        EXPECT_EQ(index.GetRecordCount(), 3u) << what;
        for (const auto& r : m_records) {
            EXPECT_TRUE(exists(r.Path())) << what;
            EXPECT_TRUE(index.FindRecord(r.startTime)) << what;
        }
        EXPECT_TRUE(index.Load()) << what;
    }

    std::string m_index = m_dir.file("twkrdb.ndx");
    std::vector<RecordInfo> m_records;
    std::string m_good;
};

TEST_F(HostileIndexTest, SoundIndexIsKeptAndTruncatedOneRebuilt)
{
    // A sound index is used as it is (the lock flag lives only there, not in the chunk).
    CRecordIndex index;
    ASSERT_TRUE(index.OpenFolder(m_dir.path()));
    EXPECT_EQ(index.GetRecordFlags(m_records[0].startTime), RECFLAG_LOCKED);
    EXPECT_EQ(readFile(m_index), m_good);
    for (std::size_t size = 0; size < m_good.size(); size += size < 300 ? 7 : 401)
        expectRecovered(m_good.substr(0, size), "cut at " + std::to_string(size));
}

TEST_F(HostileIndexTest, LyingCountsAndCapacitiesAreRefused)
{
    const struct
    {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    } damages[] = {
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
    for (const auto& d : damages) {
        auto bytes = m_good;
        put32(bytes, d.at, d.value);
        expectRecovered(bytes, d.what);
    }
    // Records out of order within their day.
    const std::size_t records = 56 + 40 + 40 + 80;
    expectRecovered(m_good.substr(0, records) + m_good.substr(records + 872, 872) +
                        m_good.substr(records, 872) + m_good.substr(records + 2 * 872),
                    "unsorted records");
}

/// Overwrites a few bytes or 32-bit fields of the file with random values, sometimes
/// all ones, and cuts it at a random place one time in three.
std::string mutate(std::string bytes, std::mt19937& random)
{
    for (int edits = 1 + int(random() % 4); edits > 0; --edits) {
        const std::size_t at = random() % (bytes.size() - 4);
        if (random() % 2)
            bytes[at] = char(random());
        else
            put32(bytes, at, random() % 3 ? std::uint32_t(random()) : 0xFFFFFFFF);
    }
    return random() % 3 ? bytes : bytes.substr(0, random() % bytes.size());
}

TEST(RandomInputTest, WaveAndChunkReadersSurviveGarbage)
{
    TempDir dir;
    const std::string path = dir.file("fuzz.wav");
    writePcmWav(path, 400);
    RecordInfo info;
    info.SetPath(path);
    ASSERT_TRUE(AppendRecordInfo(info));
    const auto original = readFile(path);
    std::mt19937 random(4711);
    for (int round = 0; round < 900; ++round) {
        std::string bytes(random() % 200, '\0');
        for (auto& b : bytes)
            b = char(random());
        if (round % 10)
            bytes = mutate(original, random);
        CRiffWaveFile wav;
        if (wav.OpenMemory(bytes.data(), bytes.size()) == hr::ok) {
            std::vector<std::uint8_t> data(1024);
            std::uint32_t got = 0;
            std::uint64_t total = 0;
            while (wav.Read(data.data(), 1024, &got) == hr::ok && got > 0)
                total += got;
            EXPECT_LE(total, bytes.size());
            (void)wav.GetDurationCs(); // no division by a zero rate
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
