#include <filesystem>

#include <gtest/gtest.h>

#include "platform/scripted_prompt.h"
#include "records/record_storage.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Keys = std::vector<std::uint32_t>;

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
    void setRecords(Keys startTimes) override { rows = std::move(startTimes); }
    Keys rows;
};

class RecordStorageTest : public RecordFolderTest
{
protected:
    std::size_t count() const { return m_storage.Index().GetRecordCount(); }

    ScriptedPrompt m_prompt;
    std::shared_ptr<FakeFreeSpace> m_free = std::make_shared<FakeFreeSpace>();
    std::time_t m_now = localTime(2007, 7, 20, 23, 59, 30);
    FakeList m_voice, m_talk, m_all;
    RecordLists m_lists{&m_voice, &m_talk, &m_all};
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
    StatvfsFreeSpace real;
    EXPECT_TRUE(real.freeBytes(m_dir.path()).has_value());
    EXPECT_FALSE(real.freeBytes(m_dir.file("missing")).has_value());
}

TEST_F(RecordStorageTest, RecyclingDeletesOneHourOfRecordsPerMeasurement)
{
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    std::vector<RecordInfo> records;
    for (auto [h, m] : {std::pair{10, 0}, {10, 30}, {11, 10}, {11, 40}, {12, 20}}) {
        records.push_back(rec(RECORD_VOICEMAIL, at(2007, 7, 20, h, m), 60));
        ASSERT_EQ(m_storage.Index().AddRecord(records.back()), 1);
    }
    // Recycling goes by age alone.
    ASSERT_TRUE(m_storage.Index().SetRecordFlags(records[1].startTime, RECFLAG_LOCKED));
    m_free->answer = [this] { return (1000 + 150 * (5 - count())) * kMiB; }; // 150 MiB each
    EXPECT_FALSE(m_storage.SetMinFreeSpace(1500));
    m_free->given.clear();
    EXPECT_FALSE(m_storage.EnsureFreeSpace()); // recycling is off
    EXPECT_TRUE(m_free->given.empty());
    EXPECT_EQ(count(), 5u);

    m_storage.SetRecycle(true);
    EXPECT_TRUE(m_storage.EnsureFreeSpace());
    // Measured with 5 records, then 3 (10:00 and 10:30 went), then 1 (11:10, 11:40).
    ASSERT_EQ(m_free->given.size(), 4u);
    EXPECT_EQ(std::vector(m_free->given.begin(), m_free->given.begin() + 3),
              (std::vector<std::optional<std::uint64_t>>{1000 * kMiB, 1300 * kMiB, 1600 * kMiB}));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(fs::exists(records[i].Path())) << i;
    EXPECT_TRUE(fs::exists(records[4].Path()));
    CRecordIndex reread; // the index file was saved with the one record left
    ASSERT_TRUE(reread.OpenFolder(m_dir.path()));
    EXPECT_EQ(reread.GetRecordCount(), 1u);
    // Room now: answered from the last measurement without measuring again.
    m_free->given.clear();
    EXPECT_TRUE(m_storage.EnsureFreeSpace());
    EXPECT_TRUE(m_free->given.empty());
    // Too little room even with nothing left: recycling stops with an empty index.
    m_free->answer = [] { return 10 * kMiB; };
    EXPECT_FALSE(m_storage.SetMinFreeSpace(300));
    EXPECT_FALSE(m_storage.EnsureFreeSpace());
    EXPECT_TRUE(m_storage.Index().IsEmpty());
}

TEST_F(RecordStorageTest, TodayFolderFollowsTheClock)
{
    EXPECT_EQ(m_storage.GetTodayFolder(), "");
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir.file("2007-07-20"));
    EXPECT_TRUE(fs::is_directory(m_dir.file("2007-07-20")));
    m_now += 60; // past midnight
    writeFile(m_dir.file("2007-07-21"), "in the way");
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir.path());
    fs::remove(m_dir.file("2007-07-21"));
    EXPECT_EQ(m_storage.GetTodayFolder(), m_dir.file("2007-07-21"));
}

TEST_F(RecordStorageTest, OpeningFoldersAndFillingLists)
{
    EXPECT_FALSE(m_storage.OpenStorageFolder(std::nullopt, &m_lists)); // chooser cancelled
    EXPECT_EQ(m_prompt.chooserTitles(), std::vector<std::string>{"Select a folder"});
    const auto v = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 60, "ann");
    const auto c = rec(RECORD_CONVERSATION, at(2007, 7, 20, 10), 60, "ben");
    m_prompt.queueChoice(m_dir.path() + "/");
    ASSERT_TRUE(m_storage.OpenStorageFolder(std::nullopt, &m_lists));
    EXPECT_EQ(std::tuple(m_all.rows, m_voice.rows, m_talk.rows),
              std::tuple(Keys{v.startTime, c.startTime}, Keys{v.startTime}, Keys{c.startTime}));

    EXPECT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), &m_lists));
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, "The archieved records have already been opened.");
    // A folder that cannot be made leaves the current one open.
    writeFile(m_dir.file("file"), "x");
    EXPECT_FALSE(m_storage.OpenStorageFolder(m_dir.file("file/sub"), &m_lists));
    EXPECT_EQ(m_storage.GetFolder(), m_dir.path());

    const auto counts = m_storage.FillLists(m_lists, "BEN");
    EXPECT_EQ(std::tuple(counts.all, counts.voiceMails, m_talk.rows),
              std::tuple(1u, 0u, Keys{c.startTime}));
    // A record dropped in by hand appears on a rebuild; the index file then holds it.
    const auto late = rec(RECORD_VOICEMAIL, at(2007, 7, 21, 9), 60);
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
    const auto v = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 60);
    ASSERT_TRUE(m_storage.OpenStorageFolder(m_dir.path(), nullptr));
    TempDir out;
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime + 1));
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime)); // cancelled
    m_prompt.queueChoice(out.file("copy.wav"));
    ASSERT_TRUE(m_storage.ExportRecord(v.startTime));
    EXPECT_EQ(readFile(out.file("copy.wav")), readFile(v.Path()));

    writeFile(out.file("keep.wav"), "mine");
    m_prompt.queueChoice(out.file("keep.wav"));
    EXPECT_FALSE(m_storage.ExportRecord(v.startTime)); // answered No
    EXPECT_EQ(readFile(out.file("keep.wav")), "mine");
    EXPECT_EQ(m_prompt.messages().back().buttons, Prompt::Buttons::YesNo);
    m_prompt.queueChoice(out.file("keep.wav"));
    m_prompt.queueAnswer(Prompt::Answer::Yes);
    EXPECT_TRUE(m_storage.ExportRecord(v.startTime));
    EXPECT_EQ(readFile(out.file("keep.wav")), readFile(v.Path()));

    m_prompt.queueChoice(out.path());
    EXPECT_TRUE(m_storage.ArchiveTo(std::nullopt));
    EXPECT_TRUE(fs::exists(out.file("twkrdb.ndx")));
    EXPECT_TRUE(fs::exists(out.file("2007-07-20/" + fs::path(v.Path()).filename().string())));

    // A folder typed into the chooser that does not exist yet is made, as opening one is.
    EXPECT_TRUE(m_storage.ArchiveTo(out.file("new/archive")));
    EXPECT_TRUE(fs::exists(out.file("new/archive/twkrdb.ndx")));
}

TEST_F(RecordStorageTest, DestructionSavesTheIndex)
{
    const std::uint32_t start = at(2007, 7, 20, 9);
    {
        CRecordStorage storage(nullptr, m_free);
        ASSERT_TRUE(storage.OpenStorageFolder(m_dir.path(), nullptr));
        ASSERT_EQ(storage.Index().AddRecord(rec(RECORD_VOICEMAIL, start, 60)), 1);
        ASSERT_TRUE(storage.Index().SetRecordFlags(start, RECFLAG_LOCKED));
    }
    CRecordIndex reread;
    ASSERT_TRUE(reread.OpenFolder(m_dir.path()));
    EXPECT_EQ(reread.GetRecordFlags(start), RECFLAG_LOCKED);
}

} // namespace
} // namespace tw
