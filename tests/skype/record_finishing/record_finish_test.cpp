#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "app/log.h"
#include "platform/file_util.h"
#include "skype/record_finish.h"
#include "skype/record_finish_queue.h"
#include "wav_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ramp;
using test::readWav;
using test::writeWav;

constexpr std::time_t k143000 = 1184941800; // 2007-07-20 14:30:00 UTC

struct CountingSink : RecordSink
{
    std::atomic<int> count{0};
    void StartRecordAdd(const RecordInfo&, int) override { ++count; }
};

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
    std::string log() const
    {
        std::ifstream in(m_dir / "Tellwick.Log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    FinishJob voiceMail(const std::string& segment) const
    {
        FinishJob job;
        job.files.outputSegment = segment;
        job.recordType = RECORD_VOICEMAIL;
        job.recordStart = job.recordEnd = k143000;
        job.partnerHandle = "caller1";
        job.partnerDispName = "Caller One";
        job.greetingCs = 50;
        return job;
    }

    fs::path m_dir;
};

TEST_F(RecordFinish, VoiceMailIsCutRenamedAndDescribed)
{
    ASSERT_TRUE(writeWav(path("ti143000143000o.wav"), test::concat(ramp(8000, 0), ramp(40000, 3))));
    FinishJob job = voiceMail(path("ti143000143000o.wav"));
    job.annotation = "call back";
    CountingSink sink;
    const FinishResult r = FinishRecord(job, &sink);
    ASSERT_TRUE(r.recordMade);
    EXPECT_EQ(sink.count, 1);
    const std::string final = path("ti143000143002vcaller1.wav");
    EXPECT_EQ(r.info.Path(), final);
    EXPECT_EQ(r.info.type, RECORD_VOICEMAIL);
    EXPECT_EQ(r.info.SkypeName(), "caller1");
    EXPECT_EQ(r.info.FullName(), "Caller One");
    EXPECT_EQ(r.info.Annotation(), "call back");
    EXPECT_EQ(r.info.startTime, k143000);
    EXPECT_EQ(r.info.endTime, k143000 + 2);
    EXPECT_EQ(r.info.size, static_cast<std::int64_t>(fs::file_size(final)));
    EXPECT_EQ(readWav(final).samples, ramp(40000, 3));
}

TEST_F(RecordFinish, ExistingRecordNameIsNeverReplaced)
{
    ASSERT_TRUE(writeWav(path("ti143000143000o.wav"), ramp(24000, 0)));
    ASSERT_TRUE(writeWav(path("ti143000143001vcaller1.wav"), ramp(10, 0)));
    CountingSink sink;
    EXPECT_FALSE(FinishRecord(voiceMail(path("ti143000143000o.wav")), &sink).recordMade);
    EXPECT_EQ(sink.count, 0);
    EXPECT_EQ(readWav(path("ti143000143001vcaller1.wav")).samples, ramp(10, 0));
    EXPECT_EQ(readWav(path("ti143000143000o.wav")).samples, ramp(16000, 8000)); // cut, kept
    EXPECT_NE(log().find("Fail on renaming record file!"), std::string::npos);
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
    job.transferFullName = "Caller One";
    const FinishResult r = FinishRecord(job, nullptr);
    ASSERT_TRUE(r.recordMade);
    EXPECT_EQ(r.info.Path(), path("ti143000143001c%2E.%2Fboss.wav"));
    EXPECT_TRUE(fs::exists(r.info.Path()));
    EXPECT_EQ(r.info.SkypeName(), "caller1, caller2");
    EXPECT_EQ(r.info.SecondText(), "../boss");
    EXPECT_EQ(r.info.FullName(), "Caller One");
}

TEST_F(RecordFinish, QueueRunsJobsInOrderAndDrainsAtShutdown)
{
    std::vector<int> order;
    {
        RecordFinishQueue queue;
        for (int i = 0; i < 50; ++i)
            queue.post([&order, i] { order.push_back(i); });
        queue.shutdown();
        queue.post([&order] { order.push_back(99); }); // after shutdown: runs here
    }
    ASSERT_EQ(order.size(), 51u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(order.back(), 99);
}

} // namespace
} // namespace tw
