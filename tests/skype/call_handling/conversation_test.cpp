// Conversation recording: segments at hold and resume, joining and mixing, the record button.
#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;

class Conversation : public CallHandlingTest
{
protected:
    /// Answers call id from caller1 at 14:58:06 and lets the recording start.
    void answer(const std::string& id)
    {
        ring(id, "caller1");
        push("CALL " + id + " STATUS INPROGRESS");
    }
    /// Samples one segment holds on each side: they differ so joins and mixes are checkable.
    static std::vector<std::int16_t> others(int n) { return ramp(12000 + 500 * n, 1000 * n); }
    static std::vector<std::int16_t> mic(int n) { return ramp(9000 + 700 * n, -9000 - 100 * n); }
};

TEST_F(Conversation, HeldAndResumedTwiceGivesOneRecordOfThreeSegmentsJoinedAndMixed)
{
    answer("300");
    Texts resumes;
    for (int n = 0; n < 3; ++n) {
        audio.speak("300", others(n), mic(n));
        loop.advance(5000ms);
        if (n == 2)
            break;
        EXPECT_EQ(sentAfter([&] { push("CALL 300 STATUS LOCALHOLD"); }),
                  (Texts{"ALTER CALL 300 SET_OUTPUT SOUNDCARD=\"default\"",
                         "ALTER CALL 300 SET_CAPTURE_MIC"}));
        loop.advance(3000ms);
        const auto resume = sentAfter([&] { push("CALL 300 STATUS INPROGRESS"); });
        ASSERT_EQ(resume.size(), 2u);
        resumes.push_back(resume[0]);
    }
    // Each resume writes new segments named by the start and the last pause.
    const std::string output = "ALTER CALL 300 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + today();
    EXPECT_EQ(resumes,
              (Texts{output + "/ti145806145811o.wav\"", output + "/ti145806145819o.wav\""}));
    finish("300");
    settle();

    ASSERT_EQ(sink.records.size(), 1u);
    const RecordSeen& r = sink.records[0];
    const auto left = concat(concat(others(0), others(1)), others(2));
    auto right = concat(concat(mic(0), mic(1)), mic(2));
    right.resize(left.size(), 0); // the shorter side is padded with silence
    const auto out = readWav(r.path);
    EXPECT_EQ(out.format.channels, 2);
    EXPECT_TRUE(out.samples == interleave(left, right)) << "the two sides joined in order";
    // 37 500 samples on the left: 2 s after 14:58:06.
    EXPECT_EQ(r.path, today() + "/ti145806145808ccaller1.wav");
    EXPECT_EQ(r.type, 2);
    EXPECT_EQ(r.start, kWallStart);
    EXPECT_EQ(r.end, kWallStart + 2);
    EXPECT_EQ(filesIn(today()), Texts{"ti145806145808ccaller1.wav"});
}

TEST_F(Conversation, RecordButtonStopsAndRestartsTheRecordingWhileTheCallGoesOn)
{
    answer("300");
    audio.speak("300", others(0), mic(0));
    loop.advance(5000ms);
    EXPECT_EQ(sentAfter([&] { handling.ToggleRecord(); }),
              (Texts{"ALTER CALL 300 SET_OUTPUT SOUNDCARD=\"default\"",
                     "ALTER CALL 300 SET_CAPTURE_MIC"}));
    loop.runPending(); // Skype's echo completes the stop
    settle();
    ASSERT_EQ(sink.records.size(), 1u) << "a stopped recording becomes a record at once";

    const auto restart = sentAfter([&] { handling.ToggleRecord(); });
    ASSERT_FALSE(restart.empty());
    EXPECT_NE(restart[0].find("SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + today()),
              std::string::npos);
    audio.speak("300", others(1), mic(1));
    loop.advance(3000ms);
    finish("300");
    settle();
    ASSERT_EQ(sink.records.size(), 2u);
    EXPECT_NE(sink.records[0].path, sink.records[1].path);
    EXPECT_EQ(readWav(sink.records[1].path).samples.size(), 2 * others(1).size());
}

TEST_F(Conversation, OneChannelModeMixesBothSidesWithClipping)
{
    link.setFormatMode(0);
    answer("301");
    audio.speak("301", {1000, 2000, 30000, -30000}, {1, -2000, 30000, -10000, 9});
    finish("301");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    const auto out = readWav(sink.records[0].path);
    EXPECT_EQ(out.format.channels, 1);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{1001, 0, 32767, -32768, 9}));
    EXPECT_EQ(sink.records[0].end, kWallStart + 1); // under a second still ends one later
}

TEST_F(Conversation, CallFoundAtAttachIsNeverVoiceMailedButRecordedOnceAnswered)
{
    transport.client.calls["310"] = {
        {"TYPE", "INCOMING_P2P"}, {"PARTNER_HANDLE", "caller1"}, {"STATUS", "RINGING"}};
    push("CALLS 310"); // the answer to the attach's SEARCH ACTIVECALLS
    EXPECT_TRUE(noVoiceMail(sentAfter([&] { loop.advance(30000ms); })));
    ASSERT_EQ(link.calls().size(), 1u);
    EXPECT_TRUE(link.calls().front().has(CF_FOUND_AT_ATTACH));
    EXPECT_TRUE(sentAfter([&] { push("CALL 310 STATUS LOCALHOLD"); }).empty());
    const auto answered = sentAfter([&] { push("CALL 310 STATUS INPROGRESS"); });
    ASSERT_EQ(answered.size(), 2u);
    EXPECT_TRUE(answered[1].starts_with("ALTER CALL 310 SET_CAPTURE_MIC FILE="));
}

TEST_F(Conversation, HostLeavingAConferenceHandsTheRecordingToTheParticipantsAudio)
{
    answer("300");
    push("CALL 300 CONF_ID 5");
    ring("301", "caller2");
    push("CALL 301 CONF_ID 5");
    push("CALL 301 STATUS INPROGRESS"); // joins 300's conference: one record
    ASSERT_EQ(link.FindCall("301"), link.FindCall("300"));
    audio.speak("300", others(0), mic(0));
    loop.advance(3000ms);
    const auto handOver = sentAfter([&] { finish("300"); });
    ASSERT_EQ(handOver.size(), 2u) << "the participant's audio goes to new segments";
    EXPECT_TRUE(handOver[0].starts_with("ALTER CALL 301 SET_OUTPUT SOUNDCARD=\"default\", FILE="));
    EXPECT_TRUE(handOver[1].starts_with("ALTER CALL 301 SET_CAPTURE_MIC FILE="));
    audio.speak("301", others(1), mic(1));
    finish("301");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    const auto left = concat(others(0), others(1));
    auto right = concat(mic(0), mic(1));
    right.resize(left.size(), 0);
    EXPECT_TRUE(readWav(sink.records[0].path).samples == interleave(left, right));
}

TEST_F(Conversation, EchoOfAnEarlierStopDoesNotCompleteANewerOne)
{
    answer("300");
    transport.setReplyDelay([] { return 300ms; });
    push("CALL 300 STATUS LOCALHOLD"); // stop 1; its echo comes at 300 ms
    loop.advance(100ms);
    push("CALL 300 STATUS INPROGRESS"); // resumed before the echo: new segments
    push("CALL 300 STATUS LOCALHOLD");  // stop 2; its echo comes at 400 ms
    loop.advance(250ms);
    EXPECT_TRUE(link.FindCall("300")->has(CF_STOP_PENDING)) << "stop 1's echo is not stop 2's";
    loop.advance(100ms);
    EXPECT_FALSE(link.FindCall("300")->has(CF_STOP_PENDING));
}

TEST_F(Conversation, TransferRecordingStopGivesTheOutputBackBeforeTheMicrophone)
{
    answer("300");
    link.setTransferActive(true);
    const auto stop = sentAfter([&] { handling.ToggleRecord(); });
    ASSERT_FALSE(stop.empty());
    EXPECT_EQ(stop.back(), "ALTER CALL 300 SET_CAPTURE_MIC") << "the echo that completes the stop";
    link.setTransferActive(false);
}

} // namespace
} // namespace tw::test
