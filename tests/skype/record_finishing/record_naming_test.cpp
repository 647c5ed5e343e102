#include <set>

#include "platform/utf.h"
#include "records/record_info.h"
#include "records/record_naming.h"
#include "skype/record_finish.h"
#include "wav_util.h"

namespace tw {
namespace {

using test::ramp;
using test::readWav;
using test::writeWav;

/// Clock times are formatted in UTC.
class RecordNaming : public ::testing::Test, protected test::TestFolder
{
};

constexpr std::time_t k143000 = 1184941800; // 2007-07-20 14:30:00 UTC

TEST_F(RecordNaming, RecordNameCarriesTimesLetterAndHandle)
{
    EXPECT_EQ(RecordFilePath("/r/2007-07-20", k143000, k143000 + 65, 1, "caller1", ".wav"),
              "/r/2007-07-20/ti143000143105vcaller1.wav");
    EXPECT_EQ(RecordFilePath("/r", k143000, k143000 + 1, 2, "", ".wav"), "/r/ti143000143001c.wav");
    EXPECT_EQ(SegmentFileName(k143000, k143000 + 20, true), "ti143000143020m.wav");
    EXPECT_EQ(RecordDateFolderName(k143000), "2007-07-20");
}

TEST_F(RecordNaming, HostileHandlesBecomeSafeDistinctNames)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"echo123", "echo123"},
        {"+4930123", "+4930123"},
        {"Zoë.ß\xF0\x9F\x98\x80", "Zoë.ß\xF0\x9F\x98\x80"},
        {"../etc/passwd", "%2E.%2Fetc%2Fpasswd"},
        {std::string("a\0b\n\x7f", 5), "a%00b%0A%7F"},
        {"a\\b:c*?\"<>|%", "a%5Cb%3Ac%2A%3F%22%3C%3E%7C%25"},
        // Bytes that start no character: stray, truncated, overlong, surrogate, past U+10FFFF.
        {"x\xff\x80", "x%FF%80"},
        {"x\xC3", "x%C3"},
        {"\xC0\xAF\xE0\x80\xAF", "%C0%AF%E0%80%AF"},
        {"\xED\xA0\x80", "%ED%A0%80"},
        {"\xF4\x90\x80\x80", "%F4%90%80%80"}};
    for (const auto& [handle, name] : cases)
        EXPECT_EQ(SafeFileNamePart(handle), name) << handle;

    // One-to-one: handles that a lossy mapping would merge stay apart, and repeat exactly.
    const std::set<std::string> names = {SafeFileNamePart("a/b"), SafeFileNamePart("a_b"),
                                         SafeFileNamePart("a%2Fb"), SafeFileNamePart(".a"),
                                         SafeFileNamePart("%2Ea")};
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(SafeFileNamePart("a/b"), SafeFileNamePart("a/b"));

    const std::string path = RecordFilePath("/r", k143000, k143000 + 5, 1, "../../x", ".wav");
    EXPECT_EQ(path, "/r/ti143000143005v%2E.%2F..%2Fx.wav");
}

TEST_F(RecordNaming, LongHandlesAreCutToFitTheRecordFormat)
{
    const std::string folder = "/" + std::string(200, 'f');
    const std::string path =
        RecordFilePath(folder, k143000, k143000 + 5, 1, std::string(100, 'h'), ".wav");
    EXPECT_EQ(utf16Length(path), kMaxRecordPathUnits);
    EXPECT_EQ(path.substr(path.size() - 4), ".wav");

    // Characters outside the BMP take two units each and are never split; escapes neither.
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "\xF0\x9F\x98\x80"; // U+1F600
    const std::string cut = RecordFilePath(folder, k143000, k143000 + 5, 1, wide, ".wav");
    EXPECT_LE(utf16Length(cut), kMaxRecordPathUnits);
    EXPECT_EQ(toUtf8(toUtf16(cut)), cut);
    EXPECT_EQ(RecordFilePath(folder, k143000, k143000 + 5, 1, std::string(60, '/'), ".wav").size() %
                  3,
              2u)
        << "whole escapes only";

    // A name component never passes 255 bytes, even when the path would allow more.
    std::string multi;
    for (int i = 0; i < 200; ++i)
        multi += "\xE4\xB8\xAD"; // 3 bytes, 1 unit
    const std::string shortFolder = RecordFilePath("/r", k143000, k143000 + 5, 1, multi, ".wav");
    EXPECT_LE(shortFolder.size() - 3, kMaxFileNameBytes);

    EXPECT_EQ(RecordFilePath("/" + std::string(250, 'f'), k143000, k143000, 1, "h", ".wav"), "");
}

TEST_F(RecordNaming, UniquePathSkipsTakenNamesAndTemporaryNames)
{
    std::set<std::string> taken = {"/r/tiA.wav", "/r/tiA-2.wav"};
    auto isTaken = [&](const std::string& p) { return taken.count(p) != 0; };
    EXPECT_EQ(UniquePath("/r", "tiA", ".wav", isTaken), "/r/tiA-3.wav");
    EXPECT_EQ(UniquePath("/r", "tiB", ".wav", isTaken), "/r/tiB.wav");

    EXPECT_EQ(InsertBeforeExtension("/r/x.y/ti1o.wav", "_3"), "/r/x.y/ti1o_3.wav");
    EXPECT_EQ(InsertBeforeExtension("/r/ab", "_5"), "/r/ab_5");
}

// The finisher names records the same safe way and never replaces an existing file.
TEST_F(RecordNaming, ExistingRecordNameIsNeverReplaced)
{
    ASSERT_TRUE(writeWav(path("ti143000143000o.wav"), ramp(24000, 0)));
    ASSERT_TRUE(writeWav(path("ti143000143001vcaller1.wav"), ramp(10, 0)));
    FinishJob job;
    job.files.outputSegment = path("ti143000143000o.wav");
    job.recordType = RECORD_VOICEMAIL;
    job.recordStart = job.recordEnd = k143000;
    job.partnerHandle = "caller1";
    job.greetingCs = 50;
    struct CountingSink : RecordSink
    {
        int count = 0;
        void StartRecordAdd(const RecordInfo&, int) override { ++count; }
    } sink;
    EXPECT_FALSE(FinishRecord(job, &sink).recordMade);
    EXPECT_EQ(sink.count, 0);
    EXPECT_EQ(readWav(path("ti143000143001vcaller1.wav")).samples, ramp(10, 0));
    EXPECT_EQ(readWav(path("ti143000143000o.wav")).samples, ramp(16000, 8000)); // cut, kept
    EXPECT_NE(logText().find("Fail on renaming record file!"), std::string::npos);
}

TEST_F(RecordNaming, HostileHandleStaysInsideTheFolderAndTransferNamesTheParticipants)
{
    ASSERT_TRUE(writeWav(path("seg.wav"), ramp(16000, 0)));
    FinishJob job;
    job.files.outputFile = path("seg.wav");
    job.recordType = RECORD_CONVERSATION;
    job.recordStart = job.recordEnd = k143000;
    job.transfer = true;
    job.partnerHandle = "../boss";
    job.participantsText = "caller1, caller2";
    const FinishResult r = FinishRecord(job, nullptr);
    ASSERT_TRUE(r.recordMade);
    EXPECT_EQ(r.info.Path(), path("ti143000143001c%2E.%2Fboss.wav"));
    EXPECT_EQ(r.info.SkypeName(), "caller1, caller2");
    EXPECT_EQ(r.info.SecondText(), "../boss");
}

} // namespace
} // namespace tw
