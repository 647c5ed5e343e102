#include <filesystem>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Keys = std::vector<std::uint32_t>;

Keys keys(const CRecordIndex& index, std::uint32_t type = 0, std::string_view search = {})
{
    Keys out;
    index.EnumerateRecords(type, search, [&](const RecordInfo& r) { out.push_back(r.startTime); });
    return out;
}

class RecordIndexTest : public RecordFolderTest
{
protected:
    std::string indexFile() const { return readFile(m_dir.file("twkrdb.ndx")); }
    CRecordIndex m_index{[] { return std::time_t(1200000000); }};
};

TEST_F(RecordIndexTest, NewYearFileLayout)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2006, 12, 31, 12));
    const auto b = rec(RECORD_CONVERSATION, at(2007, 1, 1, 9), 60);
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto f = indexFile();
    ASSERT_EQ(f.size(), 56u + 2 * 40 + 2 * (40 + 40 + 872));
    EXPECT_EQ(le32(f, 24), 2u);         // years
    EXPECT_EQ(le32(f, 28), 2u);         // year capacity
    EXPECT_EQ(le32(f, 4), a.startTime); // root earliest and latest
    EXPECT_EQ(le32(f, 8), b.endTime);
    EXPECT_EQ(le32(f, 56), 2006u);    // year groups
    EXPECT_EQ(le32(f, 56 + 24), 1u);  // 2006 has one month ...
    EXPECT_EQ(le32(f, 56 + 28), 12u); // ... in an array of 12
    EXPECT_EQ(le32(f, 96), 2007u);
    EXPECT_EQ(le32(f, 136), 12u);      // 2006's month group
    EXPECT_EQ(le32(f, 136 + 28), 31u); // days capacity
    EXPECT_EQ(le32(f, 176), 31u);      // its day group
    EXPECT_EQ(le32(f, 176 + 24), 1u);  // one record ...
    EXPECT_EQ(le32(f, 176 + 28), 16u); // ... of 16 slots
    EXPECT_EQ(le32(f, 176 + 32), 0u);  // no pointer in the file
    EXPECT_EQ(le32(f, 216 + 848), a.startTime);
    EXPECT_EQ(le32(f, 1088), 1u); // 2007's month, day and record
    EXPECT_EQ(le32(f, 1128), 1u);
    EXPECT_EQ(le32(f, 1168 + 848), b.startTime);
    EXPECT_EQ(le32(f, 1168), RECORD_CONVERSATION);
}

TEST_F(RecordIndexTest, SaveReplacesTheIndexOnlyWhenComplete)
{
    EXPECT_FALSE(m_index.OpenFolder(m_dir.file("missing")));
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    EXPECT_EQ(m_index.GetFolder(), m_dir.path());
    const auto saved = indexFile();
    ASSERT_TRUE(m_index.DeleteRecord(a.startTime, false));
    // The temporary file cannot be made: the old index stays as it was.
    const std::string temporary = m_dir.file("twkrdb.ndx1");
    fs::create_directory(temporary);
    EXPECT_FALSE(m_index.Save());
    EXPECT_EQ(indexFile(), saved);
    fs::remove(temporary);
    ASSERT_TRUE(m_index.Save());
    EXPECT_FALSE(fs::exists(temporary));
    // No records left: a header only, no groups.
    const auto f = indexFile();
    ASSERT_EQ(f.size(), 56u);
    EXPECT_EQ(le32(f, 0), 200u);
    EXPECT_EQ(le32(f, 24), 0u);
    EXPECT_EQ(le32(f, 44), 1200000000u);
    ASSERT_TRUE(m_index.ReloadIndex());
    EXPECT_TRUE(m_index.IsEmpty());
}

TEST_F(RecordIndexTest, DuplicateStartIsRefusedAndItsFileUntouched)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    ASSERT_EQ(m_index.AddRecord(a), 1);
    auto twin = rec(RECORD_CONVERSATION, a.startTime, 60, "eve");
    const auto before = readFile(twin.Path());
    EXPECT_EQ(m_index.AddRecord(twin), -1);
    EXPECT_EQ(readFile(twin.Path()), before);
    EXPECT_EQ(m_index.FindRecord(a.startTime)->SkypeName(), "bob");
    // A new WAV record whose chunk cannot be written is refused as well.
    RecordInfo missing = a;
    missing.startTime += 100;
    missing.endTime += 100;
    missing.SetPath(m_dir.file("gone.wav"));
    EXPECT_EQ(m_index.AddRecord(missing), -1);
    EXPECT_EQ(keys(m_index).size(), 1u);
}

TEST_F(RecordIndexTest, EmptiedDayStaysInItsMonth)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    const auto b = rec(RECORD_VOICEMAIL, at(2007, 7, 21, 10));
    ASSERT_EQ(m_index.AddRecord(a), 1);
    ASSERT_EQ(m_index.AddRecord(b), 1);
    Keys removed;
    m_index.SetRemovedListener([&](std::uint32_t t) { removed.push_back(t); });
    ASSERT_TRUE(m_index.DeleteRecord(a.startTime, true));
    EXPECT_FALSE(fs::exists(a.Path()));
    EXPECT_EQ(removed, Keys{a.startTime});
    ASSERT_TRUE(m_index.Save());
    const auto f = indexFile();
    // header, year, month, two day groups, one record
    ASSERT_EQ(f.size(), 56u + 40 + 40 + 2 * 40 + 872);
    EXPECT_EQ(le32(f, 96 + 24), 2u);
    EXPECT_EQ(le32(f, 136), 20u);
    EXPECT_EQ(le32(f, 136 + 4), 0u);  // earliest 0: empty
    EXPECT_EQ(le32(f, 136 + 24), 0u); // count 0
    EXPECT_EQ(le32(f, 176), 21u);
    EXPECT_EQ(le32(f, 4), b.startTime);
    EXPECT_EQ(m_index.GetTotalBytes(), readFile(b.Path()).size()); // with its chunk

    // Deleting the last record empties every level.
    ASSERT_TRUE(m_index.DeleteRecord(b.startTime, false));
    EXPECT_TRUE(fs::exists(b.Path()));
    EXPECT_TRUE(m_index.IsEmpty());
    EXPECT_FALSE(m_index.DeleteRecord(b.startTime, false));
    m_index.SetArchiveView(true);
    ASSERT_EQ(m_index.AddRecord(b), 1);
    ASSERT_TRUE(m_index.DeleteRecord(b.startTime, false));
    EXPECT_EQ(removed.size(), 2u); // an archive view tells nobody
}

TEST_F(RecordIndexTest, DeleteAllKeepsLockedVoiceMailsAndOtherTypes)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    auto locked = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    locked.flags = RECFLAG_LOCKED;
    const auto plain = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 11));
    const auto other = rec(RECORD_VOICEMAIL, at(2007, 8, 2, 11));
    const auto talk = rec(RECORD_CONVERSATION, at(2007, 7, 20, 12));
    for (const auto& r : {locked, plain, other, talk})
        ASSERT_EQ(m_index.AddRecord(r), 1);
    m_index.DeleteAll(RECORD_VOICEMAIL);
    EXPECT_EQ(keys(m_index), (Keys{locked.startTime, talk.startTime}));
    EXPECT_TRUE(fs::exists(locked.Path()));
    EXPECT_TRUE(fs::exists(talk.Path()));
    EXPECT_FALSE(fs::exists(plain.Path()));
    EXPECT_FALSE(fs::exists(other.Path()));
    const IndexTree tree = m_index.GetTree();
    ASSERT_EQ(tree.years.size(), 1u);
    ASSERT_EQ(tree.years[0].months.size(), 1u); // August went away with its only record
    EXPECT_EQ(tree.total, readFile(locked.Path()).size() + readFile(talk.Path()).size());
    EXPECT_EQ(tree.latest, static_cast<std::int32_t>(talk.endTime));
    m_index.DeleteAll(kAllRecordTypes);
    EXPECT_EQ(keys(m_index), Keys{locked.startTime});
}

TEST_F(RecordIndexTest, ScanIndexesOnlyRecordsInDateFolders)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10, 15));
    writePcmWav(m_dir.file("ti101500101530vroot.wav"), 100); // folder root, no chunk
    const std::string day = m_dir.file("2007-07-20");
    writePcmWav(day + "/ti111500111530vbob_em.wav", 100); // e-mail copy
    writePcmWav(day + "/notarecord.wav", 100);            // name does not parse
    writeFile(day + "/ti121500121530vbob.wav", "");       // empty
    writeFile(day + "/ti131500131530vbob.mp3", "abc");    // an MP3 record
    writeFile(day + "/ti141500141530vbob.txt", "abc");    // not audio
    fs::create_directories(m_dir.file("misc"));
    writePcmWav(m_dir.file("misc/ti151500151530vbob.wav"), 100);                // not a date folder
    writePcmWav(day + "/ti161500161530v\xff.wav", 100);                         // not UTF-8
    const std::string deep = m_dir.file("2007-07-20 " + std::string(240, 'x')); // path too long
    fs::create_directories(deep);
    writePcmWav(deep + "/ti171500171530vbob.wav", 100);
    writePcmWav(day + "/ti181500181530v'a b\"\xC3\xA7\n.wav", 100);  // odd but fine
    fs::create_directory_symlink(m_dir.path(), day + "/2007-07-21"); // a loop
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto found = keys(m_index);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(m_index.FindRecord(found[2])->Path(), day + "/ti181500181530v'a b\"\xC3\xA7\n.wav");
    EXPECT_EQ(m_index.FindRecord(found[2])->SkypeName(), "'a b\"\xC3\xA7\n");
    EXPECT_TRUE(fs::exists(day + "/ti161500161530v\xff.wav"));
    EXPECT_EQ(found[0], a.startTime);
    EXPECT_EQ(found[1], at(2007, 7, 20, 13, 15));
    const auto mp3 = m_index.FindRecord(found[1]);
    EXPECT_EQ(mp3->size, 3);
    EXPECT_EQ(mp3->origin, RECORD_ORIGIN_FILE_NAME);
    EXPECT_EQ(mp3->Path(), day + "/ti131500131530vbob.mp3");
}

TEST_F(RecordIndexTest, ScanTakesTheChunkAndRebuildKeepsTheIndexValues)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    a.flags = RECFLAG_PLAYED;
    a.SetAnnotation("from the chunk");
    ASSERT_EQ(m_index.AddRecord(a), 1);
    ASSERT_TRUE(m_index.UpdateRecord(a.startTime, [](RecordInfo& r) {
        r.SetAnnotation("edited");
        r.flags = RECFLAG_LOCKED;
        r.startTime = 5; // the key cannot change
    }));
    EXPECT_EQ(m_index.GetRecordFlags(a.startTime), RECFLAG_LOCKED);
    ASSERT_TRUE(m_index.Rebuild());
    auto r = m_index.FindRecord(a.startTime);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Annotation(), "edited");
    EXPECT_EQ(r->flags, RECFLAG_LOCKED);
    EXPECT_EQ(r->FullName(), "bob full");
    ASSERT_TRUE(m_index.Scan());
    r = m_index.FindRecord(a.startTime);
    EXPECT_EQ(r->Annotation(), "from the chunk");
    EXPECT_EQ(r->flags, RECFLAG_PLAYED);
}

TEST_F(RecordIndexTest, RecordsPastMidnightOrEndingBeforeTheyStart)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    // A record running past midnight does not hide the next day's first record.
    const auto late = rec(RECORD_CONVERSATION, at(2006, 12, 31, 23, 50), 1200);
    const auto early = rec(RECORD_VOICEMAIL, at(2007, 1, 1, 0, 1), 60);
    ASSERT_EQ(m_index.AddRecord(late), 1);
    ASSERT_EQ(m_index.AddRecord(early), 1);
    ASSERT_TRUE(m_index.FindRecord(early.startTime));
    EXPECT_FALSE(m_index.FindRecord(early.startTime + 1));
    // Recycling gets past a record that ends before it starts.
    const std::string odd = m_dir.file("2007-07-20/ti105900105800vbob.wav");
    const auto good = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 12));
    writePcmWav(odd, 100);
    ASSERT_TRUE(m_index.Rebuild());
    ASSERT_EQ(keys(m_index).size(), 4u);
    EXPECT_FALSE(m_index.FindRecord(at(2007, 7, 20, 10, 59)));
    EXPECT_TRUE(m_index.DeleteOlderThan(good.startTime + 1));
    EXPECT_TRUE(m_index.IsEmpty());
    EXPECT_FALSE(fs::exists(odd));
}

TEST_F(RecordIndexTest, EnumerationOrderTypesAndSearch)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    m_index.SetTimeTextFormatter([](std::time_t t) { return t % 2 ? "odd" : "even"; });
    auto a = rec(RECORD_CONVERSATION, at(2007, 7, 21, 15, 0) + 1, 3600, "Alice");
    auto b = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 3599, "bob");
    auto c = rec(RECORD_VOICEMAIL, at(2006, 1, 2, 9), 5, "carol");
    c.SetFullName("\xD0\x96\xD0\xB5\xD0\xBD\xD1\x8F"); // Женя
    c.SetAnnotation("Call Back");
    for (const auto& r : {a, b, c})
        ASSERT_EQ(m_index.AddRecord(r), 1);
    EXPECT_EQ(keys(m_index), (Keys{c.startTime, b.startTime, a.startTime}));
    EXPECT_EQ(keys(m_index, RECORD_VOICEMAIL), (Keys{c.startTime, b.startTime}));
    EXPECT_EQ(keys(m_index, RECORD_CONVERSATION), Keys{a.startTime});
    for (const auto& [text, expected] : {std::pair<const char*, Keys>{"ALICE", {a.startTime}},
                                         {"\xD0\xB6\xD0\xB5\xD0\xBD", {c.startTime}},
                                         {"call b", {c.startTime}},
                                         {"01:00:00", {a.startTime}},
                                         {"59:59", {b.startTime}},
                                         {"ODD", {a.startTime}},
                                         {"zebra", {}}})
        EXPECT_EQ(keys(m_index, 0, text), expected) << text;
    // A record added after a search is found by its Time text, then and later.
    const auto d = rec(RECORD_VOICEMAIL, at(2007, 7, 22, 16) + 1, 5, "dan");
    ASSERT_EQ(m_index.AddRecord(d), 1);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(keys(m_index, RECORD_VOICEMAIL, "odd"), Keys{d.startTime});
}

TEST_F(RecordIndexTest, ArchiveCopiesFilesAndLeavesTheLiveTreeAlone)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10));
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    TempDir archive;
    ASSERT_TRUE(m_index.SaveArchive(archive.path()));
    const std::string copy = archive.file("2007-07-20/" + fs::path(a.Path()).filename().string());
    EXPECT_EQ(readFile(copy), readFile(a.Path()));
    EXPECT_EQ(m_index.FindRecord(a.startTime)->Path(), a.Path());
    CRecordIndex view;
    ASSERT_TRUE(view.OpenFolder(archive.path()));
    EXPECT_EQ(view.FindRecord(a.startTime)->Path(), copy);
    // Archiving into the records folder itself must not empty the records.
    const auto before = readFile(a.Path());
    EXPECT_TRUE(m_index.SaveArchive(m_dir.path()));
    EXPECT_EQ(readFile(a.Path()), before);
}

} // namespace
} // namespace tw
