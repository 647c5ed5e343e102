// What a scan takes for a record, and what a rebuild keeps: only regular files with record
// names; names read back as they were written, in a repeated daylight-saving hour too.

#include <filesystem>
#include <future>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "records/record_index.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using namespace test;

class RecordScanTest : public RecordFolderTest
{
protected:
    std::string day(const std::string& date, const std::string& name)
    {
        fs::create_directories(m_dir.file(date));
        return m_dir.file(date + "/" + name);
    }
    CRecordIndex m_index;
};

TEST_F(RecordScanTest, SegmentsLeftoversAndTemporariesAreNoRecords)
{
    const auto real = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 14, 30), 10, "bob");
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    ASSERT_EQ(m_index.AddRecord(real), 1);
    ASSERT_TRUE(m_index.SetRecordFlags(real.startTime, RECFLAG_LOCKED));
    ASSERT_TRUE(m_index.UpdateRecord(real.startTime, [](RecordInfo& r) { r.SetAnnotation("x"); }));
    // What Skype is still writing, the converter's input left by a crash, a conversion's
    // output beside its record, and a partner whose handle ends in "_1" (a record).
    const std::vector<std::string> others = {day("2007-07-20", "ti143000143000o.wav"),
                                             day("2007-07-20", "ti143000143000m.wav"),
                                             day("2007-07-20", "ti150000150000o-2.wav"),
                                             day("2007-07-20", "ti143000143010o_3.wav"),
                                             day("2007-07-20", "ti143000143010vbob.mp3.pcm.wav"),
                                             day("2007-07-20", "ti143000143010vbob_1.wav")};
    for (const auto& path : others)
        writePcmWav(path, 3200);
    const std::string john = day("2007-07-20", "ti160000160010vjohn_1.wav");
    writePcmWav(john, 3200);
    std::vector<std::string> bytes;
    for (const auto& path : others)
        bytes.push_back(readFile(path));

    ASSERT_TRUE(m_index.Rebuild());
    ASSERT_EQ(m_index.GetRecordCount(), 2u);
    const auto kept = m_index.FindRecord(real.startTime);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Path(), real.Path());
    EXPECT_EQ(kept->flags, RECFLAG_LOCKED);
    EXPECT_EQ(kept->Annotation(), "x");
    EXPECT_EQ(m_index.FindRecord(at(2007, 7, 20, 16))->SkypeName(), "john_1");
    for (std::size_t i = 0; i < others.size(); ++i)
        EXPECT_EQ(readFile(others[i]), bytes[i]) << others[i]; // no chunk written into them
}

TEST_F(RecordScanTest, APipelineRecordTheScanFoundFirstIsStillAdded)
{
    // The scan runs between the finisher's rename and the pipeline's AddRecord.
    auto info = rec(RECORD_CONVERSATION, at(2007, 7, 20, 9), 60, "ann");
    info.SetSecondText("ben");
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    ASSERT_EQ(m_index.GetRecordCount(), 1u);
    ASSERT_EQ(m_index.AddRecord(info), 1);
    EXPECT_EQ(m_index.GetRecordCount(), 1u);
    EXPECT_EQ(m_index.FindRecord(info.startTime)->SecondText(), "ben");
    // Another file with the same start is still refused.
    auto twin = info;
    twin.SetPath(day("2007-07-20", "ti090000090100cann2.wav"));
    writePcmWav(twin.Path(), 100);
    EXPECT_EQ(m_index.AddRecord(twin), -1);
}

TEST_F(RecordScanTest, EscapedHandlesAreReadBackExactly)
{
    writeFile(day("2007-07-20", "ti101500101530vlive%3Aalice.smith.mp3"), "mp3");
    writeFile(day("2007-07-20", "ti111500111530v%2Ehidden%25.mp3"), "mp3");
    // Texts escaping cannot have made stay as they are.
    writeFile(day("2007-07-20", "ti121500121530vx%41%3a%zz.mp3"), "mp3");
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    EXPECT_EQ(m_index.FindRecord(at(2007, 7, 20, 10, 15))->SkypeName(), "live:alice.smith");
    EXPECT_EQ(m_index.FindRecord(at(2007, 7, 20, 11, 15))->SkypeName(), ".hidden%");
    EXPECT_EQ(m_index.FindRecord(at(2007, 7, 20, 12, 15))->SkypeName(), "x%41%3a%zz");
    std::vector<std::string> found;
    m_index.EnumerateRecords(0, "live:alice",
                             [&](const RecordInfo& r) { found.push_back(r.SkypeName()); });
    EXPECT_EQ(found, std::vector<std::string>{"live:alice.smith"});
}

TEST_F(RecordScanTest, AFifoNamedLikeARecordDoesNotHangTheScan)
{
    const auto real = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 10);
    const std::string fifo = day("2007-07-20", "ti100000100010vbob.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto scan = std::async(std::launch::async, [this] { return m_index.OpenFolder(m_dir.path()); });
    const bool done = scan.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(done) << "the scan waits for a writer of the FIFO";
    if (!done) // release it so that the test can end
        ::close(::open(fifo.c_str(), O_WRONLY));
    EXPECT_TRUE(scan.get());
    EXPECT_EQ(m_index.GetRecordCount(), 1u);
    EXPECT_TRUE(m_index.FindRecord(real.startTime));
}

TEST_F(RecordScanTest, RecordsOfTheRootFolderFallbackAreFoundAgain)
{
    // Today's folder could not be made: the record went into the records folder itself.
    const std::time_t start = at(2007, 7, 20, 9);
    const std::string root =
        m_dir.file(MakeRecordFileName(RECORD_VOICEMAIL, start, start + 30, "bob"));
    writePcmWav(root, 3200);
    RecordInfo info;
    info.type = RECORD_VOICEMAIL;
    info.SetPath(root);
    info.startTime = static_cast<std::uint32_t>(start);
    info.endTime = info.startTime + 30;
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    ASSERT_EQ(m_index.AddRecord(info), 1);
    // A converted one (an MP3 has no chunk) dated by the file's last change.
    const std::time_t mp3Start = at(2007, 7, 21, 23, 50);
    const std::string mp3 = m_dir.file("ti235000000500cann.mp3");
    writeFile(mp3, "mp3");
    const timeval times[2] = {{mp3Start + 900, 0}, {mp3Start + 900, 0}}; // ended 00:05
    ASSERT_EQ(::utimes(mp3.c_str(), times), 0);
    ASSERT_TRUE(m_index.Rebuild());
    EXPECT_EQ(m_index.GetRecordCount(), 2u);
    ASSERT_TRUE(m_index.FindRecord(info.startTime));
    EXPECT_EQ(m_index.FindRecord(info.startTime)->Path(), root);
    const auto late = m_index.FindRecord(static_cast<std::uint32_t>(mp3Start));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->endTime, mp3Start + 900);
}

TEST_F(RecordScanTest, RepeatedDaylightSavingHourKeepsEndAfterStartAndFlags)
{
    // Europe/Berlin, 2024-10-27: 02:00 to 03:00 happens twice.
    const std::time_t firstTwo = localTime(2024, 10, 27, 1, 0, 0) + 3600; // 02:00 CEST
    const std::time_t secondTwo = firstTwo + 3600;                        // 02:00 CET
    // Across the change: 02:59:50 CEST to 02:00:10 CET, twenty seconds.
    writeFile(day("2024-10-27", "ti025950020010vbob.mp3"), "mp3");
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path()));
    auto across = m_index.FindRecord(static_cast<std::uint32_t>(firstTwo + 3590));
    ASSERT_TRUE(across);
    EXPECT_EQ(across->endTime, static_cast<std::uint32_t>(secondTwo + 10));

    // One record in each pass of the hour, both locked; a rebuild keeps their times and flags.
    const std::string first = day("2024-10-27", "ti021000021010vann.mp3");
    const std::string second = day("2024-10-27", "ti021000021010vben.mp3");
    for (const auto& [path, start] :
         {std::pair{first, firstTwo + 600}, {second, secondTwo + 600}}) {
        writeFile(path, "mp3");
        RecordInfo info;
        info.type = RECORD_VOICEMAIL;
        info.SetPath(path);
        info.startTime = static_cast<std::uint32_t>(start);
        info.endTime = info.startTime + 10;
        info.flags = RECFLAG_LOCKED;
        ASSERT_EQ(m_index.AddRecord(info), 1);
    }
    ASSERT_TRUE(m_index.Rebuild());
    EXPECT_EQ(m_index.GetRecordCount(), 3u);
    for (const auto& [path, start] :
         {std::pair{first, firstTwo + 600}, {second, secondTwo + 600}}) {
        const auto r = m_index.FindRecord(static_cast<std::uint32_t>(start));
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->Path(), path);
        EXPECT_EQ(r->flags, RECFLAG_LOCKED) << path;
        EXPECT_EQ(r->endTime, r->startTime + 10) << path;
    }
}

TEST_F(RecordScanTest, StoredSizeIsTheFileWithItsChunkOnAddAndOnRescan)
{
    const auto a = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 30);
    ASSERT_TRUE(m_index.OpenFolder(m_dir.path())); // found by the scan
    const auto b = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 10), 30);
    ASSERT_EQ(m_index.AddRecord(b), 1); // added as the pipeline does
    for (int round = 0; round < 2; ++round) {
        for (const auto& r : {a, b}) {
            const auto stored = m_index.FindRecord(r.startTime);
            ASSERT_TRUE(stored);
            EXPECT_EQ(stored->size, static_cast<std::int64_t>(fs::file_size(r.Path())));
        }
        EXPECT_EQ(m_index.GetTotalBytes(), fs::file_size(a.Path()) + fs::file_size(b.Path()));
        ASSERT_TRUE(m_index.Rebuild());
    }
}

} // namespace
} // namespace tw
