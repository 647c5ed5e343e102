#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/scripted_prompt.h"
#include "records/record_storage.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::localTime;
using test::makeRecordFile;
using test::readFile;

constexpr std::uint64_t kMiB = 1048576;

/// Free space as a function the test sets; remembers every answer it gave.
class FakeFreeSpace : public FreeSpaceSource
{
public:
    std::function<std::optional<std::uint64_t>()> answer;
    std::vector<std::optional<std::uint64_t>> given;

    std::optional<std::uint64_t> freeBytes(const std::string&) override
    {
        given.push_back(answer ? answer() : std::nullopt);
        return given.back();
    }
};

class FakeList : public RecordListSink
{
public:
    void setRecords(std::vector<std::uint32_t> startTimes) override
    {
        rows = std::move(startTimes);
        ++fills;
    }
    std::vector<std::uint32_t> rows;
    int fills = 0;
};

class RecordStorageTest : public ::testing::Test
{
protected:
    RecordStorageTest()
    {
        m_lists.voiceMails = &m_voice;
        m_lists.conversations = &m_talk;
        m_lists.all = &m_all;
    }

    test::ScopedTimeZone m_tz{"Europe/Berlin"};
    test::TempFolder m_dir;
    ScriptedPrompt m_prompt;
    std::shared_ptr<FakeFreeSpace> m_free = std::make_shared<FakeFreeSpace>();
    std::time_t m_now = localTime(2007, 7, 20, 23, 59, 30);
    FakeList m_voice, m_talk, m_all;
    RecordLists m_lists;
    CRecordStorage m_storage{&m_prompt, m_free, [this] { return m_now; }};
};

TEST_F(RecordStorageTest, FreeSpaceMustBeStrictlyAboveTheMinimum)
{
    m_free->answer = [] { return 1024 * kMiB; };
    EXPECT_TRUE(m_storage.SetMinFreeSpace(1024)); // no folder yet: nothing measured
    EXPECT_TRUE(m_free->given.empty());
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    EXPECT_FALSE(m_storage.MeasureFreeSpace());
    EXPECT_EQ(m_storage.GetLastFreeSpace(), 1024u);
    m_free->answer = [] { return 1025 * kMiB - 1; };
    EXPECT_FALSE(m_storage.SetMinFreeSpace(1024));
    m_free->answer = [] { return 1025 * kMiB; };
    EXPECT_TRUE(m_storage.MeasureFreeSpace());
    // When the system cannot tell, the last value stands.
    m_free->answer = [] { return std::nullopt; };
    EXPECT_TRUE(m_storage.MeasureFreeSpace());
    EXPECT_EQ(m_storage.GetLastFreeSpace(), 1025u);
    // The real source answers for a real folder.
    StatvfsFreeSpace real;
    EXPECT_TRUE(real.freeBytes(m_dir.path()).has_value());
    EXPECT_FALSE(real.freeBytes(m_dir / "missing").has_value());
}

TEST_F(RecordStorageTest, RecyclingDeletesOneHourOfRecordsPerMeasurement)
{
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    std::vector<RecordInfo> records;
    for (auto [h, m] : {std::pair{10, 0}, {10, 30}, {11, 10}, {11, 40}, {12, 20}}) {
        records.push_back(
            makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, h, m, 0), 60));
        ASSERT_EQ(m_storage.Index().AddRecord(records.back()), 1);
    }
    records[1].flags = RECFLAG_LOCKED; // recycling goes by age alone
    ASSERT_TRUE(m_storage.Index().SetRecordFlags(records[1].startTime, RECFLAG_LOCKED));
    // Each deleted record frees 150 MiB.
    m_free->answer = [this] {
        return (1000 + 150 * (5 - m_storage.Index().GetRecordCount())) * kMiB;
    };
    EXPECT_FALSE(m_storage.SetMinFreeSpace(1500));
    m_free->given.clear();

    EXPECT_FALSE(m_storage.EnsureFreeSpace()); // recycling is off
    EXPECT_TRUE(m_free->given.empty());
    EXPECT_EQ(m_storage.Index().GetRecordCount(), 5u);

    m_storage.SetRecycle(true);
    EXPECT_TRUE(m_storage.EnsureFreeSpace());
    // Measured with 5 records, then 3 (10:00 and 10:30 went), then 1 (11:10, 11:40).
    ASSERT_EQ(m_free->given.size(), 4u);
    EXPECT_EQ(*m_free->given[0], 1000 * kMiB);
    EXPECT_EQ(*m_free->given[1], 1300 * kMiB);
    EXPECT_EQ(*m_free->given[2], 1600 * kMiB);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(fs::exists(records[i].Path())) << i;
    EXPECT_TRUE(fs::exists(records[4].Path()));
    // The index file was saved with the one record left.
    CRecordIndex reread;
    ASSERT_TRUE(reread.OpenFolder(m_dir.path()));
    EXPECT_EQ(reread.GetRecordCount(), 1u);
    // Room now: answered from the last measurement without measuring again.
    m_free->given.clear();
    EXPECT_TRUE(m_storage.EnsureFreeSpace());
    EXPECT_TRUE(m_free->given.empty());
}

TEST_F(RecordStorageTest, RecyclingStopsWhenNothingIsLeft)
{
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    ASSERT_EQ(m_storage.Index().AddRecord(makeRecordFile(m_dir.path(), RECORD_VOICEMAIL,
                                                         localTime(2007, 7, 20, 9, 0, 0), 60)),
              1);
    m_free->answer = [] { return 10 * kMiB; };
    m_storage.SetRecycle(true);
    EXPECT_FALSE(m_storage.SetMinFreeSpace(300));
    EXPECT_FALSE(m_storage.EnsureFreeSpace());
    EXPECT_TRUE(m_storage.Index().IsEmpty());
}

TEST_F(RecordStorageTest, TodayFolderFollowsTheClock)
{
    EXPECT_EQ(m_storage.GetTodayFolder(), "");
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir / "2007-07-20");
    EXPECT_TRUE(fs::is_directory(m_dir / "2007-07-20"));
    m_now += 60; // past midnight
    std::ofstream(m_dir / "2007-07-21") << "in the way";
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir.path());
    fs::remove(m_dir / "2007-07-21");
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir / "2007-07-21");
}

TEST_F(RecordStorageTest, OpeningFoldersAndFillingLists)
{
    EXPECT_FALSE(m_storage.OpenStorageFolder(std::nullopt, &m_lists)); // chooser cancelled
    ASSERT_EQ(m_prompt.chooserTitles().size(), 1u);
    EXPECT_EQ(m_prompt.chooserTitles()[0], "Select a folder");

    const auto v =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 9, 0, 0), 60, "ann");
    const auto c = makeRecordFile(m_dir.path(), RECORD_CONVERSATION,
                                  localTime(2007, 7, 20, 10, 0, 0), 60, "ben");
    m_prompt.queueChoice(m_dir.path() + "/");
    ASSERT_TRUE(m_storage.OpenStorageFolder(std::nullopt, &m_lists));
    EXPECT_EQ(m_all.rows, (std::vector<std::uint32_t>{v.startTime, c.startTime}));
    EXPECT_EQ(m_voice.rows, std::vector<std::uint32_t>{v.startTime});
    EXPECT_EQ(m_talk.rows, std::vector<std::uint32_t>{c.startTime});

    EXPECT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), &m_lists));
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, "The archieved records have already been opened.");

    // A folder that cannot be made leaves the current one open.
    std::ofstream(m_dir / "file") << "x";
    EXPECT_FALSE(m_storage.OpenStorageFolder(m_dir / "file/sub", &m_lists));
    EXPECT_EQ(m_storage.GetFolder(), m_dir.path());

    const auto counts = m_storage.FillLists(m_lists, "BEN");
    EXPECT_EQ(counts.all, 1u);
    EXPECT_EQ(counts.voiceMails, 0u);
    EXPECT_EQ(m_talk.rows, std::vector<std::uint32_t>{c.startTime});

    // A record dropped in by hand appears on a rebuild; the index file then holds it.
    const auto late =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 21, 9, 0, 0), 60);
    m_storage.RebuildLists(&m_lists);
    EXPECT_EQ(m_all.rows.size(), 3u);
    CRecordIndex other;
    ASSERT_TRUE(other.OpenFolder(m_dir.path()));
    ASSERT_TRUE(other.DeleteRecord(late.startTime, false));
    ASSERT_TRUE(other.Save());
    m_storage.RefreshLists(&m_lists);
    EXPECT_EQ(m_all.rows.size(), 2u);
}

TEST_F(RecordStorageTest, ExportAsksBeforeReplacing)
{
    const auto v =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 9, 0, 0), 60);
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    test::TempFolder out;
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime + 1));
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime)); // cancelled
    m_prompt.queueChoice(out / "copy.wav");
    ASSERT_TRUE(m_storage.ExportRecord(v.startTime));
    EXPECT_EQ(readFile(out / "copy.wav"), readFile(v.Path()));

    std::ofstream(out / "keep.wav") << "mine";
    m_prompt.queueChoice(out / "keep.wav");
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime)); // answered No
    EXPECT_EQ(readFile(out / "keep.wav").size(), 4u);
    EXPECT_EQ(m_prompt.messages().back().buttons, Prompt::Buttons::YesNo);
    m_prompt.queueChoice(out / "keep.wav");
    m_prompt.queueAnswer(Prompt::Answer::Yes);
    EXPECT_TRUE(m_storage.ExportRecord(v.startTime));
    EXPECT_EQ(readFile(out / "keep.wav"), readFile(v.Path()));

    m_prompt.queueChoice(out.path());
    EXPECT_TRUE(m_storage.ArchiveTo(std::nullopt));
    EXPECT_TRUE(fs::exists(out / "twkrdb.ndx"));
    EXPECT_TRUE(fs::exists(out.path() + "/2007-07-20/" + fs::path(v.Path()).filename().string()));
}

TEST_F(RecordStorageTest, DestructionSavesTheIndex)
{
    const std::uint32_t start = localTime(2007, 7, 20, 9, 0, 0);
    {
        CRecordStorage storage(nullptr, m_free);
        ASSERT_TRUE(storage.OpenStorageFolder(m_dir.path(), nullptr));
        ASSERT_EQ(
            storage.Index().AddRecord(makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, start, 60)),
            1);
        ASSERT_TRUE(storage.Index().SetRecordFlags(start, RECFLAG_LOCKED));
    }
    CRecordIndex reread;
    ASSERT_TRUE(reread.Load() == false);
    ASSERT_TRUE(reread.OpenFolder(m_dir.path()));
    EXPECT_EQ(reread.GetRecordFlags(start), RECFLAG_LOCKED);
}

} // namespace
} // namespace tw
