#include <cstring>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "records/record_list_sink.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::localTime;
using test::makeRecordFile;
using test::readFile;
using test::writeFile;

std::uint32_t le32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

std::vector<std::uint32_t> keys(const CRecordIndex& index, std::uint32_t type = 0,
                                std::string_view search = {})
{
    std::vector<std::uint32_t> out;
    index.EnumerateRecords(type, search, [&](const RecordInfo& r) { out.push_back(r.startTime); });
    return out;
}

class RecordIndexTest : public ::testing::Test
{
protected:
    std::string indexPath() const { return m_dir / "twkrdb.ndx"; }
    test::ScopedTimeZone m_tz{"Europe/Berlin"};
    test::TempFolder m_dir;
    CRecordIndex m_index{[] { return std::time_t(1200000000); }};
};

TEST_F(RecordIndexTest, EmptyFolderGetsAHeaderOnlyIndex)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto bytes = readFile(indexPath());
    ASSERT_EQ(bytes.size(), 56u);
    EXPECT_EQ(le32At(bytes, 0), 200u);
    EXPECT_EQ(le32At(bytes, 24), 0u);
    EXPECT_EQ(le32At(bytes, 44), 1200000000u);
    EXPECT_TRUE(m_index.IsEmpty());
    EXPECT_FALSE(m_index.OpenFolder(m_dir / "missing"));
    EXPECT_EQ(m_index.GetFolder(), m_dir.path());
}

TEST_F(RecordIndexTest, NewYearFileLayout)
{
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2006, 12, 31, 12, 0, 0), 30);
    const auto b =
        makeRecordFile(m_dir.path(), RECORD_CONVERSATION, localTime(2007, 1, 1, 9, 0, 0), 60);
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto f = readFile(indexPath());
    ASSERT_EQ(f.size(), 56u + 2 * 40 + 2 * (40 + 40 + 872));
    EXPECT_EQ(le32At(f, 24), 2u);         // years
    EXPECT_EQ(le32At(f, 28), 2u);         // year capacity
    EXPECT_EQ(le32At(f, 4), a.startTime); // root earliest and latest
    EXPECT_EQ(le32At(f, 8), b.endTime);
    EXPECT_EQ(le32At(f, 56), 2006u);    // year groups
    EXPECT_EQ(le32At(f, 56 + 24), 1u);  // 2006 has one month ...
    EXPECT_EQ(le32At(f, 56 + 28), 12u); // ... in an array of 12
    EXPECT_EQ(le32At(f, 96), 2007u);
    EXPECT_EQ(le32At(f, 136), 12u);      // 2006's month group
    EXPECT_EQ(le32At(f, 136 + 28), 31u); // days capacity
    EXPECT_EQ(le32At(f, 176), 31u);      // its day group
    EXPECT_EQ(le32At(f, 176 + 24), 1u);  // one record ...
    EXPECT_EQ(le32At(f, 176 + 28), 16u); // ... of 16 slots
    EXPECT_EQ(le32At(f, 176 + 32), 0u);  // no pointer in the file
    EXPECT_EQ(le32At(f, 216 + 848), a.startTime);
    EXPECT_EQ(le32At(f, 1088), 1u); // 2007's month, day and record
    EXPECT_EQ(le32At(f, 1128), 1u);
    EXPECT_EQ(le32At(f, 1168 + 848), b.startTime);
    EXPECT_EQ(le32At(f, 1168), RECORD_CONVERSATION);
}

TEST_F(RecordIndexTest, DuplicateStartIsRefusedAndItsFileUntouched)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
    ASSERT_EQ(m_index.AddRecord(a), 1);
    auto twin = makeRecordFile(m_dir.path(), RECORD_CONVERSATION, a.startTime, 60, "eve");
    const auto before = readFile(twin.Path());
    EXPECT_EQ(m_index.AddRecord(twin), -1);
    EXPECT_EQ(readFile(twin.Path()), before);
    EXPECT_EQ(m_index.FindRecord(a.startTime)->SkypeName(), "bob");
    // A new WAV record whose chunk cannot be written is refused as well.
    RecordInfo missing = a;
    missing.startTime += 100;
    missing.endTime += 100;
    missing.SetPath(m_dir / "gone.wav");
    EXPECT_EQ(m_index.AddRecord(missing), -1);
    EXPECT_EQ(keys(m_index).size(), 1u);
}

TEST_F(RecordIndexTest, EmptiedDayStaysInItsMonth)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
    const auto b =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 21, 10, 0, 0), 30);
    ASSERT_EQ(m_index.AddRecord(a), 1);
    ASSERT_EQ(m_index.AddRecord(b), 1);
    std::vector<std::uint32_t> removed;
    m_index.SetRemovedListener([&](std::uint32_t t) { removed.push_back(t); });
    ASSERT_TRUE(m_index.DeleteRecord(a.startTime, true));
    EXPECT_FALSE(fs::exists(a.Path()));
    EXPECT_EQ(removed, std::vector<std::uint32_t>{a.startTime});
    ASSERT_TRUE(m_index.Save());
    const auto f = readFile(indexPath());
    // header, year, month, two day groups, one record
    ASSERT_EQ(f.size(), 56u + 40 + 40 + 2 * 40 + 872);
    EXPECT_EQ(le32At(f, 96 + 24), 2u);
    EXPECT_EQ(le32At(f, 136), 20u);
    EXPECT_EQ(le32At(f, 136 + 4), 0u);  // earliest 0: empty
    EXPECT_EQ(le32At(f, 136 + 24), 0u); // count 0
    EXPECT_EQ(le32At(f, 176), 21u);
    EXPECT_EQ(le32At(f, 4), b.startTime);
    EXPECT_EQ(m_index.GetTotalBytes(), static_cast<std::uint64_t>(b.size));

    // Deleting the last record empties every level; the folder reads back empty.
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
    auto locked =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
    locked.flags = RECFLAG_LOCKED;
    const auto plain =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 11, 0, 0), 30);
    const auto other =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 8, 2, 11, 0, 0), 30);
    const auto talk =
        makeRecordFile(m_dir.path(), RECORD_CONVERSATION, localTime(2007, 7, 20, 12, 0, 0), 30);
    for (const auto& r : {locked, plain, other, talk})
        ASSERT_EQ(m_index.AddRecord(r), 1);
    m_index.DeleteAll(RECORD_VOICEMAIL);
    EXPECT_EQ(keys(m_index), (std::vector<std::uint32_t>{locked.startTime, talk.startTime}));
    EXPECT_TRUE(fs::exists(locked.Path()));
    EXPECT_TRUE(fs::exists(talk.Path()));
    EXPECT_FALSE(fs::exists(plain.Path()));
    EXPECT_FALSE(fs::exists(other.Path()));
    const IndexTree tree = m_index.GetTree();
    ASSERT_EQ(tree.years.size(), 1u);
    ASSERT_EQ(tree.years[0].months.size(), 1u); // August went away with its only record
    EXPECT_EQ(tree.total, static_cast<std::uint64_t>(locked.size + talk.size));
    EXPECT_EQ(tree.latest, static_cast<std::int32_t>(talk.endTime));
    m_index.DeleteAll(kAllRecordTypes);
    EXPECT_EQ(keys(m_index), std::vector<std::uint32_t>{locked.startTime});
}

TEST_F(RecordIndexTest, ScanIndexesOnlyRecordsInDateFolders)
{
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 15, 0), 30);
    test::writePcmWav(m_dir / "ti101500101530vroot.wav", 100); // folder root
    const std::string day = m_dir / "2007-07-20";
    test::writePcmWav(day + "/ti111500111530vbob_em.wav", 100); // e-mail copy
    test::writePcmWav(day + "/notarecord.wav", 100);            // name does not parse
    writeFile(day + "/ti121500121530vbob.wav", {});             // empty
    writeFile(day + "/ti131500131530vbob.mp3", {1, 2, 3});      // an MP3 record
    writeFile(day + "/ti141500141530vbob.txt", {1, 2, 3});      // not audio
    fs::create_directories(m_dir / "misc");
    test::writePcmWav(m_dir / "misc/ti151500151530vbob.wav", 100);            // not a date folder
    test::writePcmWav(day + "/ti161500161530v\xff.wav", 100);                 // not UTF-8
    const std::string deep = m_dir / ("2007-07-20 " + std::string(240, 'x')); // path too long
    fs::create_directories(deep);
    test::writePcmWav(deep + "/ti171500171530vbob.wav", 100);
    test::writePcmWav(day + "/ti181500181530v'a b\"\xC3\xA7\n.wav", 100); // odd but fine
    fs::create_directory_symlink(m_dir.path(), day + "/2007-07-21");      // a loop
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto found = keys(m_index);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(m_index.FindRecord(found[2])->Path(), day + "/ti181500181530v'a b\"\xC3\xA7\n.wav");
    EXPECT_EQ(m_index.FindRecord(found[2])->SkypeName(), "'a b\"\xC3\xA7\n");
    EXPECT_TRUE(fs::exists(day + "/ti161500161530v\xff.wav"));
    EXPECT_EQ(found[0], a.startTime);
    EXPECT_EQ(found[1], localTime(2007, 7, 20, 13, 15, 0));
    const auto mp3 = m_index.FindRecord(found[1]);
    EXPECT_EQ(mp3->size, 3);
    EXPECT_EQ(mp3->origin, RECORD_ORIGIN_FILE_NAME);
    EXPECT_EQ(mp3->Path(), day + "/ti131500131530vbob.mp3");
}

TEST_F(RecordIndexTest, ScanTakesTheChunkAndRebuildKeepsTheIndexValues)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    auto a = makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
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

TEST_F(RecordIndexTest, SaveReplacesTheIndexOnlyWhenComplete)
{
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto saved = readFile(indexPath());
    ASSERT_TRUE(m_index.DeleteRecord(a.startTime, false));
    // The temporary file cannot be made: the old index stays as it was.
    fs::create_directory(indexPath() + "1");
    EXPECT_FALSE(m_index.Save());
    EXPECT_EQ(readFile(indexPath()), saved);
    fs::remove(indexPath() + "1");
    ASSERT_TRUE(m_index.Save());
    EXPECT_EQ(readFile(indexPath()).size(), 56u); // no records left: no groups either
    EXPECT_FALSE(fs::exists(indexPath() + "1"));
    // Reloading gives the same bytes back.
    ASSERT_TRUE(m_index.ReloadIndex());
    ASSERT_TRUE(m_index.Save());
    EXPECT_EQ(readFile(indexPath()).size(), 56u);
}

TEST_F(RecordIndexTest, RecordPastMidnightDoesNotHideTheNextDaysFirstRecord)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const auto late =
        makeRecordFile(m_dir.path(), RECORD_CONVERSATION, localTime(2006, 12, 31, 23, 50, 0), 1200);
    const auto early =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 1, 1, 0, 1, 0), 60);
    ASSERT_EQ(m_index.AddRecord(late), 1);
    ASSERT_EQ(m_index.AddRecord(early), 1);
    ASSERT_TRUE(m_index.FindRecord(early.startTime));
    EXPECT_FALSE(m_index.FindRecord(early.startTime + 1));
}

TEST_F(RecordIndexTest, RecyclingGetsPastARecordThatEndsBeforeItStarts)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const std::string day = m_dir / "2007-07-20";
    fs::create_directories(day);
    test::writePcmWav(day + "/ti105900105800vbob.wav", 100);
    const auto good =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 12, 0, 0), 30);
    ASSERT_TRUE(m_index.Rebuild());
    ASSERT_EQ(keys(m_index).size(), 2u);
    const std::uint32_t odd = localTime(2007, 7, 20, 10, 59, 0);
    EXPECT_FALSE(m_index.FindRecord(odd));
    EXPECT_TRUE(m_index.DeleteOlderThan(good.startTime + 1));
    EXPECT_TRUE(m_index.IsEmpty());
    EXPECT_FALSE(fs::exists(day + "/ti105900105800vbob.wav"));
}

TEST_F(RecordIndexTest, EnumerationOrderTypesAndSearch)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    m_index.SetTimeTextFormatter([](std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%d.%m.%Y %I:%M %p", &tm);
        return std::string(text);
    });
    auto a = makeRecordFile(m_dir.path(), RECORD_CONVERSATION, localTime(2007, 7, 21, 15, 0, 0),
                            3600, "Alice");
    auto b = makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 9, 0, 0), 3599,
                            "bob");
    auto c =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2006, 1, 2, 9, 0, 0), 5, "carol");
    c.SetFullName("\xD0\x96\xD0\xB5\xD0\xBD\xD1\x8F"); // Женя
    c.SetAnnotation("Call Back");
    for (const auto& r : {a, b, c})
        ASSERT_EQ(m_index.AddRecord(r), 1);
    EXPECT_EQ(keys(m_index), (std::vector<std::uint32_t>{c.startTime, b.startTime, a.startTime}));
    EXPECT_EQ(keys(m_index, RECORD_VOICEMAIL),
              (std::vector<std::uint32_t>{c.startTime, b.startTime}));
    EXPECT_EQ(keys(m_index, RECORD_CONVERSATION), std::vector<std::uint32_t>{a.startTime});
    EXPECT_EQ(keys(m_index, 0, "ALICE"), std::vector<std::uint32_t>{a.startTime});
    EXPECT_EQ(keys(m_index, 0, "\xD0\xB6\xD0\xB5\xD0\xBD"),
              std::vector<std::uint32_t>{c.startTime});
    EXPECT_EQ(keys(m_index, 0, "call b"), std::vector<std::uint32_t>{c.startTime});
    EXPECT_EQ(keys(m_index, 0, "01:00:00"), std::vector<std::uint32_t>{a.startTime});
    EXPECT_EQ(keys(m_index, 0, "59:59"), std::vector<std::uint32_t>{b.startTime});
    EXPECT_EQ(keys(m_index, 0, "pm"), std::vector<std::uint32_t>{a.startTime});
    EXPECT_EQ(keys(m_index, RECORD_VOICEMAIL, "2006"), std::vector<std::uint32_t>{c.startTime});
    EXPECT_TRUE(keys(m_index, 0, "zebra").empty());
    // A record added after a search is found by its Time text, then and later.
    const auto d =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 22, 16, 0, 0), 5, "dan");
    ASSERT_EQ(m_index.AddRecord(d), 1);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(keys(m_index, 0, "pm"), (std::vector<std::uint32_t>{a.startTime, d.startTime}));
    EXPECT_EQ(RecordLengthText(59 * 60 + 59), "59:59");
    EXPECT_EQ(RecordLengthText(3600), "01:00:00");
}

TEST_F(RecordIndexTest, ArchiveCopiesFilesAndLeavesTheLiveTreeAlone)
{
    const auto a =
        makeRecordFile(m_dir.path(), RECORD_VOICEMAIL, localTime(2007, 7, 20, 10, 0, 0), 30);
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    test::TempFolder archive;
    ASSERT_TRUE(m_index.SaveArchive(archive.path()));
    const std::string copy =
        archive.path() + "/2007-07-20/" + fs::path(a.Path()).filename().string();
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

TEST_F(RecordIndexTest, ConcurrentAddsAndSearches)
{
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    const std::uint32_t base = localTime(2007, 7, 20, 0, 0, 0);
    const auto adder = [&](std::uint32_t offset) {
        for (std::uint32_t i = 0; i < 300; ++i) {
            RecordInfo r;
            r.type = RECORD_VOICEMAIL;
            r.startTime = base + offset + i * 600;
            r.endTime = r.startTime + 10;
            r.SetPath(m_dir / ("x" + std::to_string(r.startTime) + ".mp3"));
            r.SetSkypeName("caller");
            m_index.AddRecord(r);
        }
    };
    std::thread one(adder, 0);
    std::thread two(adder, 300);
    std::size_t seen = 0;
    for (int i = 0; i < 20; ++i)
        seen = keys(m_index, 0, "caller").size();
    one.join();
    two.join();
    EXPECT_LE(seen, 600u);
    const auto all = keys(m_index);
    ASSERT_EQ(all.size(), 600u);
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
}

} // namespace
} // namespace tw
