// The record finisher on real files: greeting cut, mix, rename and description, and the queue.
#include <atomic>
#include <numeric>

#include "skype/record_finish.h"
#include "skype/record_finish_audio.h"
#include "skype/record_finish_queue.h"
#include "wav_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ramp;
using test::readWav;
using test::writeWav;

constexpr std::time_t k143000 = 1184941800; // 2007-07-20 14:30:00 UTC

class RecordFinish : public ::testing::Test, protected test::TestFolder
{
protected:
    std::size_t fileCount() const { return filesIn(dir).size(); }
};

TEST_F(RecordFinish, FailedMixLeavesBothFilesAsTheyWere)
{
    ASSERT_TRUE(writeWav(path("o.wav"), ramp(100, 0)));
    ASSERT_TRUE(writeWav(path("m.wav"), ramp(100, 0), 2));
    EXPECT_FALSE(MixInto(path("o.wav"), path("m.wav"), true));
    EXPECT_EQ(readWav(path("o.wav")).samples, ramp(100, 0));
    EXPECT_FALSE(MixInto(path("o.wav"), path("gone.wav"), true));
    EXPECT_EQ(readWav(path("o.wav")).samples, ramp(100, 0));
    EXPECT_EQ(fileCount(), 3u); // and the log
}

TEST_F(RecordFinish, ExistingRecordNameIsNeverReplaced)
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
        std::atomic<int> count{0};
        void StartRecordAdd(const RecordInfo&, int) override { ++count; }
    } sink;
    EXPECT_FALSE(FinishRecord(job, &sink).recordMade);
    EXPECT_EQ(sink.count, 0);
    EXPECT_EQ(readWav(path("ti143000143001vcaller1.wav")).samples, ramp(10, 0));
    EXPECT_EQ(readWav(path("ti143000143000o.wav")).samples, ramp(16000, 8000)); // cut, kept
    EXPECT_NE(logText().find("Fail on renaming record file!"), std::string::npos);
}

TEST_F(RecordFinish, HostileHandleStaysInsideTheFolderAndTransferNamesTheParticipants)
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

TEST(RecordFinishQueue, RunsJobsInOrderAndDrainsAtShutdown)
{
    std::vector<int> order;
    {
        RecordFinishQueue queue;
        for (int i = 0; i < 50; ++i)
            queue.post([&order, i] { order.push_back(i); });
        queue.shutdown();
        queue.post([&order] { order.push_back(50); }); // after shutdown: runs here
    }
    std::vector<int> expected(51);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

} // namespace
} // namespace tw
