// The record finisher on real files: greeting cut, mix, rename and description, and the queue.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

#include <gtest/gtest.h>

#include "app/log.h"
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

class RecordFinish : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        m_dir = fs::temp_directory_path() /
                ("tw_finish_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        appLog().Open((m_dir / "Tellwick.Log").string());
        appLog().Enable(true);
    }
    void TearDown() override
    {
        appLog().Close();
        fs::remove_all(m_dir);
    }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    std::size_t fileCount() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }

    fs::path m_dir;
};

TEST_F(RecordFinish, CutRefusesWhatHoldsNoMessage)
{
    ASSERT_TRUE(writeWav(path("short.wav"), ramp(7999, 0))); // 0.49 s
    EXPECT_EQ(CutGreeting(path("short.wav"), 50), CutResult::Unusable);
    ASSERT_TRUE(writeWav(path("stereo.wav"), ramp(64000, 0), 2));
    EXPECT_EQ(CutGreeting(path("stereo.wav"), 50), CutResult::Unusable);
    EXPECT_EQ(CutGreeting(path("missing.wav"), 50), CutResult::Unreadable);
    ASSERT_TRUE(writeWav(path("exact.wav"), ramp(8000, 0))); // exactly the greeting
    EXPECT_EQ(CutGreeting(path("exact.wav"), 50), CutResult::Done);
    EXPECT_TRUE(readWav(path("exact.wav")).samples.empty());
    EXPECT_EQ(fileCount(), 4u) << "no temporary file left behind (the log is the fourth)";
}

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
    std::ifstream in(m_dir / "Tellwick.Log");
    const std::string log(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(log.find("Fail on renaming record file!"), std::string::npos);
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
    EXPECT_TRUE(fs::exists(r.info.Path()));
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
