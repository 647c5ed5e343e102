// Values read from disk that cannot be a record's, changes that must survive a reload, and
// archives that must survive a second archiving.

#include <filesystem>

#include <gtest/gtest.h>

#include "records/audio_converter.h"
#include "records/record_storage.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Keys = std::vector<std::uint32_t>;

class FakeList : public RecordListSink
{
public:
    void setRecords(Keys startTimes) override { rows = std::move(startTimes); }
    Keys rows;
};

/// Free space that is never enough; counts how often it was asked.
class NeverEnough : public FreeSpaceSource
{
public:
    std::optional<std::uint64_t> freeBytes(const std::string&) override
    {
        // Enough after many questions, so that a recycling that cannot stop still ends.
        return ++asked > 1000 ? std::optional<std::uint64_t>(1ull << 50) : 0;
    }
    int asked = 0;
};

class RecordDamageTest : public RecordFolderTest
{
protected:
    std::string indexPath() const { return m_dir.file("twkrdb.ndx"); }
};

TEST_F(RecordDamageTest, RefreshSavesChangesBeforeReadingTheIndexAgain)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9));
    CRecordStorage storage;
    ASSERT_TRUE(storage.OpenStorageFolder(m_dir.path(), nullptr));
    const auto b = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    ASSERT_EQ(storage.Index().AddRecord(b), 1);
    ASSERT_TRUE(storage.Index().SetRecordFlags(a.startTime, RECFLAG_LOCKED));
    ASSERT_TRUE(storage.Index().UpdateRecord(a.startTime,
                                             [](RecordInfo& r) { r.SetAnnotation("call back"); }));
    FakeList voice, talk, all;
    const RecordLists lists{&voice, &talk, &all};
    storage.RefreshLists(&lists);
    EXPECT_EQ(all.rows, (Keys{a.startTime, b.startTime}));
    EXPECT_EQ(storage.Index().GetRecordFlags(a.startTime), RECFLAG_LOCKED);
    EXPECT_EQ(storage.Index().FindRecord(a.startTime)->Annotation(), "call back");
    CRecordIndex reread; // and the file holds them
    ASSERT_TRUE(reread.OpenFolder(m_dir.path()));
    EXPECT_EQ(reread.GetRecordFlags(a.startTime), RECFLAG_LOCKED);
    EXPECT_EQ(reread.GetRecordCount(), 2u);
}

TEST_F(RecordDamageTest, ZeroedChunkTimesAreNotBelieved)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 30, "ann");
    auto zeroed = rec(RECORD_CONVERSATION, at(2007, 7, 20, 10), 60, "bob");
    RecordInfo blank;
    blank.SetPath(zeroed.Path());
    ASSERT_TRUE(AppendRecordInfo(blank)); // a chunk of zeros
    CRecordStorage storage(nullptr, std::make_shared<NeverEnough>());
    ASSERT_TRUE(storage.OpenStorageFolder(m_dir.path(), nullptr));
    CRecordIndex& index = storage.Index();
    ASSERT_TRUE(index.FindRecord(a.startTime));
    const auto rebuilt = index.FindRecord(zeroed.startTime); // from its name
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->type, RECORD_CONVERSATION);
    EXPECT_EQ(rebuilt->SkypeName(), "bob");
    // A description that cannot be a record's is refused.
    RecordInfo bad = a;
    bad.startTime = 0;
    EXPECT_EQ(index.AddRecord(bad), -1);
    bad = a;
    bad.startTime += 5;
    bad.type = 7;
    EXPECT_EQ(index.AddRecord(bad), -1);
    // Recycling deletes and ends even when the space never comes.
    storage.SetRecycle(true);
    EXPECT_FALSE(storage.SetMinFreeSpace(300));
    EXPECT_FALSE(storage.EnsureFreeSpace());
    EXPECT_TRUE(index.IsEmpty());
}

TEST_F(RecordDamageTest, AnIndexWithImplausibleValuesIsRebuiltKeepingSoundEntries)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9));
    const auto b = rec(RECORD_CONVERSATION, at(2007, 7, 21, 9));
    {
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path()));
        ASSERT_TRUE(index.SetRecordFlags(a.startTime, RECFLAG_LOCKED));
        ASSERT_TRUE(index.Save());
    }
    const std::string good = readFile(indexPath());
    const std::size_t firstRecord = 56 + 40 + 40 + 2 * 40;
    const struct
    {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    } damages[] = {
        {"zeroed earliest start in the header", 4, 0},
        {"zeroed latest end in the header", 8, 0},
        {"zeroed earliest start of a day", 136 + 4, 0},
        {"zeroed start of the second record", firstRecord + 872 + 848, 0},
        {"record type 9", firstRecord + 872, 9},
        {"record in the wrong day", firstRecord + 872 + 848, a.startTime + 60},
    };
    for (const auto& d : damages) {
        std::string bytes = good;
        put32(bytes, d.at, d.value);
        writeFile(indexPath(), bytes);
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path())) << d.what;
        EXPECT_TRUE(index.FindRecord(a.startTime)) << d.what;
        EXPECT_TRUE(index.FindRecord(b.startTime)) << d.what;
        EXPECT_EQ(index.GetRecordCount(), 2u) << d.what;
        EXPECT_EQ(index.GetRecordFlags(a.startTime), RECFLAG_LOCKED) << d.what;
        EXPECT_NE(readFile(indexPath()), bytes) << d.what; // a sound index was written
    }
}

TEST_F(RecordDamageTest, ArchivingAgainIntoTheSameFolderMergesTheIndexes)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9));
    const auto b = rec(RECORD_VOICEMAIL, at(2007, 7, 21, 9));
    TempDir archive;
    CRecordIndex live;
    ASSERT_TRUE(live.OpenFolder(m_dir.path()));
    ASSERT_TRUE(live.SetRecordFlags(a.startTime, RECFLAG_LOCKED));
    ASSERT_TRUE(live.SaveArchive(archive.path()));
    ASSERT_TRUE(live.DeleteRecord(a.startTime, true)); // archived, then deleted
    const auto c = rec(RECORD_CONVERSATION, at(2007, 7, 22, 9));
    ASSERT_TRUE(live.Rebuild());
    ASSERT_TRUE(live.UpdateRecord(b.startTime, [](RecordInfo& r) { r.SetAnnotation("new"); }));
    ASSERT_TRUE(live.SaveArchive(archive.path()));
    CRecordIndex view;
    view.SetArchiveView(true);
    ASSERT_TRUE(view.OpenFolder(archive.path()));
    EXPECT_EQ(view.GetRecordCount(), 3u);
    ASSERT_TRUE(view.FindRecord(a.startTime));
    EXPECT_EQ(view.GetRecordFlags(a.startTime), RECFLAG_LOCKED);
    EXPECT_TRUE(fs::exists(view.FindRecord(a.startTime)->Path()));
    EXPECT_EQ(view.FindRecord(b.startTime)->Annotation(), "new"); // the later copy
    EXPECT_TRUE(view.FindRecord(c.startTime));
}

TEST_F(RecordDamageTest, AudioIsUntouchedByListRebuildRefreshConversionAndArchive)
{
    // Records as a finished writer, an unfinished one and an old tool leave them.
    std::vector<RecordInfo> records;
    for (const std::uint32_t riffSize : {0u, 36u, 1u}) {
        records.push_back(rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9) + riffSize, 2));
        if (riffSize == 1)
            continue;
        std::string bytes = readFile(records.back().Path());
        put32(bytes, 4, riffSize);
        writeFile(records.back().Path(), bytes);
    }
    std::vector<std::string> audio;
    for (const auto& r : records) {
        audio.push_back(soxAudio(r.Path()));
        ASSERT_EQ(audio.back().size(), 3200u);
    }
    const auto expectAudio = [&](const std::string& after) {
        for (std::size_t i = 0; i < records.size(); ++i)
            EXPECT_EQ(soxAudio(records[i].Path()), audio[i]) << i << " after " << after;
    };
    CRecordStorage storage;
    FakeList voice, talk, all;
    const RecordLists lists{&voice, &talk, &all};
    ASSERT_TRUE(storage.OpenStorageFolder(m_dir.path(), &lists));
    EXPECT_EQ(all.rows.size(), 3u);
    expectAudio("the list");
    storage.RebuildLists(&lists);
    expectAudio("a rebuild");
    storage.RefreshLists(&lists);
    expectAudio("a refresh");
    CAudioConverter converter;
    for (const auto& r : records) {
        std::string target = m_dir.file("converted.wav");
        ASSERT_TRUE(converter.Convert(r.Path(), target, kCodecAdpcm, 0));
    }
    expectAudio("a conversion");
    TempDir archive;
    ASSERT_TRUE(storage.ArchiveTo(archive.path()));
    expectAudio("archiving");
    CRecordIndex view;
    ASSERT_TRUE(view.OpenFolder(archive.path()));
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(soxAudio(view.FindRecord(records[i].startTime)->Path()), audio[i]) << i;
}

} // namespace
} // namespace tw
