// A peer messier than the protocol: re-attaches mid-call, a Skype that restarts or loses the
// connection, replies that arrive after newer notifications, an unplayable greeting, a
// transfer that takes long to fail, and the program exiting during a voice mail.
#include <random>

#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;

class MessyPeer : public CallHandlingTest
{
protected:
    static std::vector<std::int16_t> greetingSilence() { return std::vector<std::int16_t>(80000); }
    /// Call id rings from caller1 and is taken as a voice mail (replies may be slow).
    void voiceMail(const std::string& id)
    {
        ring(id, "caller1");
        loop.advance(13000ms);
        ASSERT_TRUE(transport.wasSent("SET CALL " + id + " STATUS INPROGRESS"));
        ASSERT_TRUE(link.FindCall(id) && link.FindCall(id)->has(CF_VOICEMAIL));
    }
    int sentCount(const std::string& text) { return transport.countSent(text); }
    bool recordingStarted(const std::string& id)
    {
        return std::any_of(transport.sent().begin(), transport.sent().end(),
                           [&](const std::string& c) {
                               return c.starts_with("ALTER CALL " + id + " SET_CAPTURE_MIC FILE=");
                           });
    }
};

TEST_F(MessyPeer, VoiceMailSurvivesReattachesWhateverOrderTheRepliesComeIn)
{
    for (unsigned seed = 0; seed < 4; ++seed) {
        std::mt19937 random(seed);
        transport.setReplyDelay([&] { return std::chrono::milliseconds(random() % 2500); });
        const std::string id = std::to_string(201 + seed);
        voiceMail(id);
        const auto message = ramp(32000, int(seed) * 100);
        audio.speak(id, concat(greetingSilence(), message));
        for (int i = 0; i < 3; ++i) {
            transport.reattach();
            loop.advance(3000ms);
        }
        EXPECT_TRUE(link.FindCall(id)->hasAll(CF_VOICEMAIL | CF_CAPTURING)) << seed;
        finish(id);
        loop.advance(3000ms);
        settle();
        ASSERT_EQ(sink.records.size(), seed + 1) << seed;
        EXPECT_EQ(sink.records.back().type, 1);
        EXPECT_EQ(readWav(sink.records.back().path).samples, message) << seed;
        EXPECT_FALSE(recordingStarted(id)) << "the caller is not recorded as a conversation";
        EXPECT_EQ(sentCount("SET USERSTATUS ONLINE"), int(seed) + 1);
    }
    EXPECT_EQ(link.userStatus(), "ONLINE");
}

TEST_F(MessyPeer, CallRingingDuringAReattachStillGetsItsVoiceMail)
{
    ring("210", "caller1");
    loop.advance(5000ms);
    transport.reattach();
    loop.runPending();
    loop.advance(5000ms);
    EXPECT_TRUE(transport.wasSent("SET CALL 210 STATUS INPROGRESS"));
    EXPECT_TRUE(link.FindCall("210")->has(CF_VOICEMAIL));
}

TEST_F(MessyPeer, SkypeRestartedDuringAVoiceMailKeepsTheMessageAndGivesTheStatusBack)
{
    voiceMail("201");
    const auto message = ramp(48000, 5);
    audio.speak("201", concat(greetingSilence(), message));
    audio.hangUp("201"); // Skype dies: its file ends here
    transport.clientVanishes();
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, message);
    EXPECT_TRUE(link.calls().empty());

    // The restarted Skype knows no call; the user's status goes back before it is asked.
    transport.client.calls.clear();
    const auto attach = sentAfter([&] {
        transport.newClientAppears();
        loop.runPending();
    });
    const auto restore = std::find(attach.begin(), attach.end(), "SET USERSTATUS ONLINE");
    ASSERT_NE(restore, attach.end());
    EXPECT_LT(restore - attach.begin(),
              std::find(attach.begin(), attach.end(), "GET USERSTATUS") - attach.begin());
    // The next caller gets a voice mail, not the busy chat.
    ring("202", "caller2");
    loop.advance(10000ms);
    EXPECT_TRUE(link.FindCall("202")->has(CF_VOICEMAIL));
    EXPECT_TRUE(transport.client.chatMessages.empty());
}

TEST_F(MessyPeer, CallThatEndedWhileTheConnectionWasLostEndsAtTheNextAttach)
{
    voiceMail("201");
    const auto message = ramp(40000, 9);
    audio.speak("201", concat(greetingSilence(), message));
    // The keep-alive's PING gets no answer within the bus timeout; meanwhile the caller hangs
    // up, and the notification never reaches us.
    transport.setSendModeFor(1, FakeSkypeTransport::SendMode::FailLater);
    const std::size_t mark = transport.sent().size();
    for (int ms = 0; ms < 10000 && transport.sentSince(mark).empty(); ++ms)
        loop.advance(1ms);
    ASSERT_EQ(transport.sentSince(mark), Texts{"PING"});
    audio.hangUp("201");
    transport.client.calls.erase("201");
    loop.advance(10000ms);
    EXPECT_FALSE(link.isAttached());
    loop.advance(10000ms); // the keep-alive rediscovers; the new attach lists no call
    ASSERT_TRUE(link.isAttached());
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, message);
    EXPECT_TRUE(link.calls().empty());
    EXPECT_EQ(sentCount("SET USERSTATUS ONLINE"), 1);
}

/// Transfer to boss: the fake Skype answers the hold as the manual shows (the reply says
/// INPROGRESS, the hold follows as a notification) and places the call to boss as 500.
class Transfer : public MessyPeer
{
protected:
    void SetUp() override
    {
        MessyPeer::SetUp();
        link.setCallTransfer(true, "boss");
        transport.client.nextCallId = 500;
    }
    /// How the fake notifies the hold it was asked for.
    std::string holdNotice = "LOCALHOLD";
    void answerHoldLate()
    {
        transport.setReplyDelay([] { return 200ms; });
        transport.setReplyHook([this](const std::string& command) {
            audio.observe(command);
            if (command != "SET CALL 400 STATUS ONHOLD")
                return std::optional<Texts>();
            transport.client.calls["400"]["STATUS"] = "ONHOLD";
            transport.pushTextAfter(50ms, "CALL 400 STATUS " + holdNotice);
            return std::optional(Texts{"CALL 400 STATUS INPROGRESS"});
        });
    }
};

TEST_F(Transfer, ReplyToTheHoldArrivingAfterTheHoldNoticeKeepsTheCallerHeld)
{
    answerHoldLate();
    ring("400", "caller1");
    loop.advance(2000ms);
    ASSERT_TRUE(transport.wasSent("CALL boss"));
    ASSERT_TRUE(link.FindCall("400")->has(CF_ONHOLD)) << "the late INPROGRESS is not a resume";
    push("CALL 500 STATUS INPROGRESS");
    EXPECT_TRUE(transport.wasSent("SET CALL 400 JOIN_CONFERENCE 500"));
}

TEST_F(Transfer, HoldNotifiedAsOnholdIsAHoldToo)
{
    holdNotice = "ONHOLD";
    answerHoldLate();
    ring("400", "caller1");
    loop.advance(2000ms);
    push("CALL 500 STATUS INPROGRESS");
    EXPECT_TRUE(transport.wasSent("SET CALL 400 JOIN_CONFERENCE 500"));
}

TEST_F(Transfer, VoiceMailAfterATransferThatFailedLateGetsItsFullLength)
{
    ring("400", "caller1");
    push("CALL 400 STATUS LOCALHOLD");
    loop.advance(70000ms); // boss's phone rings for 70 s
    push("CALL 400 DURATION 70");
    push("CALL 500 STATUS REFUSED");
    ASSERT_TRUE(link.FindCall("400")->has(CF_VOICEMAIL));
    audio.speak("400", concat(greetingSilence(), ramp(16000, 2)));
    for (int d = 71; d < 135; ++d)
        push("CALL 400 DURATION " + std::to_string(d));
    EXPECT_FALSE(transport.wasSent("SET CALL 400 STATUS FINISHED")) << "not during the message";
    audio.hangUp("400"); // the hang-up below ends the call at once
    push("CALL 400 DURATION 135");
    EXPECT_TRUE(transport.wasSent("SET CALL 400 STATUS FINISHED")) << "5 s greeting + 60 s";
    finish("400");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, ramp(16000, 2));
}

TEST_F(MessyPeer, GreetingSkypeCouldNotPlayIsNotCutFromTheMessage)
{
    // The greeting file is gone: Skype says VAA_INPUT_STATUS FALSE and the caller speaks at once.
    link.setGreeting(path("missing.wav"), 500);
    voiceMail("201");
    audio.speak("201", ramp(64000, 1));
    finish("201");
    // Skype says nothing about the greeting at all: nothing is cut either.
    handling.SetGreetingFile(greeting);
    transport.client.greetingStatus = false;
    voiceMail("202");
    audio.speak("202", ramp(48000, 2));
    finish("202");
    settle();
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, ramp(64000, 1));
    EXPECT_EQ(readWav(sink.records[1].path).samples, ramp(48000, 2));
}

TEST_F(MessyPeer, ExitDuringAVoiceMailKeepsItAndGivesBackRedirectionsAndStatus)
{
    voiceMail("201");
    const auto message = ramp(32000, 3);
    audio.speak("201", concat(greetingSilence(), message));
    bool done = false;
    const auto sent = sentAfter([&] {
        link.PrepareShutdown([&] { done = true; }, 3000ms);
        loop.runPending();
    });
    EXPECT_TRUE(done) << "Skype acknowledged the stop";
    EXPECT_EQ(sent, (Texts{"ALTER CALL 201 SET_OUTPUT SOUNDCARD=\"default\"",
                           "ALTER CALL 201 SET_INPUT SOUNDCARD=\"default\"",
                           "ALTER CALL 201 SET_CAPTURE_MIC", "SET USERSTATUS ONLINE"}));
    link.Shutdown();
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(readWav(sink.records[0].path).samples, message);
}

TEST_F(MessyPeer, ExitWaitsForASilentSkypeOnlyAsLongAsTheBound)
{
    voiceMail("201");
    const auto message = ramp(32000, 4);
    audio.speak("201", concat(greetingSilence(), message));
    transport.setSendModeFor(100, FakeSkypeTransport::SendMode::LoseReply);
    bool done = false;
    link.PrepareShutdown([&] { done = true; }, 3000ms);
    loop.advance(2950ms);
    EXPECT_FALSE(done);
    loop.advance(50ms);
    EXPECT_TRUE(done);
    audio.hangUp("201");
    link.Shutdown();
    settle();
    ASSERT_EQ(sink.records.size(), 1u) << "the message is kept all the same";
    EXPECT_EQ(readWav(sink.records[0].path).samples, message);
}

} // namespace
} // namespace tw::test
