// A broken peer and a hostile disk: notifications out of order, segment files deleted behind
// the program's back, a disk that fills while the record is finished.
#include <csignal>

#include <sys/resource.h>

#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;

class BadInput : public CallHandlingTest
{
protected:
    /// A conversation on call 600 held once: two segments of 12 000 samples on each side.
    void twoSegmentConversation()
    {
        ring("600", "caller1");
        push("CALL 600 STATUS INPROGRESS");
        audio.speak("600", ramp(12000, 1), ramp(12000, -1));
        loop.advance(2000ms);
        push("CALL 600 STATUS LOCALHOLD");
        loop.advance(2000ms);
        push("CALL 600 STATUS INPROGRESS");
        audio.speak("600", ramp(12000, 2), ramp(12000, -2));
        loop.advance(2000ms);
        audio.hangUp("600");
    }
    /// Finishes call id while this process cannot write files larger than limit bytes.
    void finishWithFileSizeLimit(const std::string& id, rlim_t limit)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        push("CALL " + id + " STATUS FINISHED");
        settle();
        setrlimit(RLIMIT_FSIZE, &saved);
    }
};

TEST_F(BadInput, NotificationsOutOfOrderNeitherCrashNorAnswer)
{
    // FINISHED before INPROGRESS: the call is gone and its timer with it.
    ring("700", "caller1");
    push("CALL 700 STATUS FINISHED");
    EXPECT_TRUE(link.calls().empty());
    EXPECT_TRUE(noVoiceMail(sentAfter([&] { loop.advance(30000ms); })));
    // Notifications about calls nobody announced.
    EXPECT_TRUE(sentAfter([&] {
                    push("CALL 701 DURATION 70");
                    push("CALL 701 STATUS INPROGRESS");
                    push("CALL 701 STATUS FINISHED");
                    push("ALTER CALL 701 SET_CAPTURE_MIC");
                }).empty());

    // A second RINGING during a voice mail, and its repeated details, change nothing.
    ring("710", "caller1");
    loop.advance(10000ms);
    audio.speak("710", concat(ramp(80000, 0), ramp(16000, 9)));
    push("CALL 710 STATUS RINGING");
    ASSERT_EQ(link.calls().size(), 1u);
    EXPECT_TRUE(link.calls().front().hasAll(CF_VOICEMAIL | CF_CAPTURING | CF_INPROGRESS));
    EXPECT_TRUE(noVoiceMail(sentAfter([&] { loop.advance(15000ms); })));
    EXPECT_EQ(sentAfter([&] { finish("710"); }), Texts{"SET USERSTATUS ONLINE"});
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, ramp(16000, 9));
}

TEST_F(BadInput, SegmentsDeletedBehindTheProgramsBackLoseOnlyThemselves)
{
    twoSegmentConversation();
    const std::string secondMic = today() + "/ti145806145808m.wav";
    ASSERT_TRUE(fs::remove(today() + "/ti145806145806o.wav"));
    ASSERT_TRUE(fs::remove(secondMic));
    push("CALL 600 STATUS FINISHED");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_TRUE(readWav(sink.records[0].path).samples ==
                interleave(ramp(12000, 2), ramp(12000, -1)));
    const std::string log = logText();
    EXPECT_NE(log.find("is missing; the record goes on from"), std::string::npos) << log;
    EXPECT_NE(log.find(secondMic + " is missing"), std::string::npos) << log;
}

TEST_F(BadInput, FullDiskDuringAConversationKeepsEveryPieceOnDisk)
{
    twoSegmentConversation();
    handling.waitForRecordWork();
    // Room for the segments Skype wrote, not for a join or a mix of them.
    finishWithFileSizeLimit("600", 40000);
    ASSERT_EQ(sink.records.size(), 1u);
    // The first part of the other side became the record; the rest stayed as it was.
    EXPECT_EQ(readWav(sink.records[0].path).samples, ramp(12000, 1));
    EXPECT_EQ(filesIn(today()), (Texts{"ti145806145806m.wav", "ti145806145807ccaller1.wav",
                                       "ti145806145808m.wav", "ti145806145808o.wav"}));
    EXPECT_EQ(readWav(today() + "/ti145806145808o.wav").samples, ramp(12000, 2));
    EXPECT_NE(logText().find("cannot be joined"), std::string::npos);
}

TEST_F(BadInput, FullDiskDuringAVoiceMailKeepsTheMessageWithItsGreeting)
{
    ring("720", "caller1");
    loop.advance(10000ms);
    const auto all = concat(ramp(80000, 0), ramp(16000, 4));
    audio.speak("720", all);
    audio.hangUp("720");
    finishWithFileSizeLimit("720", 20000);
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, all);
    EXPECT_NE(logText().find("the voice mail is kept with the greeting"), std::string::npos);
}

} // namespace
} // namespace tw::test
