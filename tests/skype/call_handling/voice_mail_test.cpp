#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;

class VoiceMail : public CallHandlingTest
{
protected:
    std::string segment(const std::string& hhmmss) const
    {
        return today() + "/ti" + hhmmss + hhmmss + "o.wav";
    }
};

TEST_F(VoiceMail, UnansweredCallBecomesAVoiceMailTenSecondsAfterTypeAndDndIsRestored)
{
    attach();
    ring("201", "caller1");
    // The TYPE reply came with the details at 14:58:06; nothing until 10 000 ms later.
    EXPECT_TRUE(sentAfter([&] { loop.advance(9999ms); }).empty());
    const auto start = sentAfter([&] { loop.advance(1ms); });
    const std::string seg = segment("145816");
    ASSERT_GE(start.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(start.begin(), start.begin() + 4),
              (std::vector<std::string>{"ALTER CALL 201 SET_INPUT FILE=\"" + greeting + "\"",
                                        "ALTER CALL 201 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" +
                                            seg + "\"",
                                        "SET CALL 201 STATUS INPROGRESS", "SET USERSTATUS DND"}));
    loop.runPending(); // Skype's replies: INPROGRESS, the echoes, USERSTATUS DND

    // Skype wrote the greeting's 5 s and then 3 s of the caller into the segment.
    const auto message = ramp(48000, 1234);
    audio.speak("201", concat(ramp(80000, 0), message));
    loop.advance(8000ms);
    const auto end = sentAfter([&] { finish("201"); });
    EXPECT_EQ(end, (std::vector<std::string>{"SET USERSTATUS ONLINE"}));
    settle();

    ASSERT_EQ(sink.records.size(), 1u);
    const RecordSeen& r = sink.records[0];
    const std::string path = today() + "/ti145816145819vcaller1.wav";
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(r.infoType, 1u);
    EXPECT_EQ(r.origin, 0u);
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(r.skypeName, "caller1");
    EXPECT_EQ(r.secondText, "");
    EXPECT_EQ(r.fullName, "Caller One");
    EXPECT_EQ(r.start, kWallStart + 10);
    EXPECT_EQ(r.end, kWallStart + 13);
    EXPECT_EQ(r.size, static_cast<std::int64_t>(fs::file_size(path)));
    EXPECT_EQ(readWav(path).samples, message);
    EXPECT_EQ(filesIn(today()), (std::vector<std::string>{"ti145816145819vcaller1.wav"}));
    EXPECT_TRUE(link.calls().empty());
    EXPECT_EQ(transport.client.userStatus, "ONLINE");
}

TEST_F(VoiceMail, CallAnsweredWithinTheWaitingPeriodIsRecordedNotVoiceMailed)
{
    attach();
    ring("202", "caller1");
    loop.advance(4000ms);
    const auto answered = sentAfter([&] { push("CALL 202 STATUS INPROGRESS"); });
    const std::string base = today() + "/ti145810145810";
    EXPECT_EQ(answered,
              (std::vector<std::string>{
                  "ALTER CALL 202 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + base + "o.wav\"",
                  "ALTER CALL 202 SET_CAPTURE_MIC FILE=\"" + base + "m.wav\""}));
    const auto later = sentAfter([&] { loop.advance(20000ms); });
    for (const auto& c : later)
        EXPECT_EQ(c.find("SET_INPUT"), std::string::npos) << c;
}

TEST_F(VoiceMail, BusyUserGivesTheCallerTheBusyChatInstead)
{
    attach();
    ring("210", "caller1");
    push("CALL 210 STATUS INPROGRESS");
    ring("211", "caller2");
    const auto sent = sentAfter([&] { loop.advance(10000ms); });
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "CHAT CREATE caller2 DIALOG",
                        "CHATMESSAGE #me/$caller2;0000000000000001 /me is not available to take "
                        "your call. Please kindly call later. Sorry for the inconvenience! "}));
}

TEST_F(VoiceMail, GreetingPlusMaximumLengthHangsUpAtDuration65Once)
{
    attach();
    ring("220", "caller1");
    loop.advance(10000ms);
    EXPECT_TRUE(sentAfter([&] { push("CALL 220 DURATION 64"); }).empty());
    // The hang-up; Skype's FINISHED then ends the voice mail and gives the status back.
    EXPECT_EQ(sentAfter([&] { push("CALL 220 DURATION 65"); }),
              (std::vector<std::string>{"SET CALL 220 STATUS FINISHED", "SET USERSTATUS ONLINE"}));
    EXPECT_TRUE(sentAfter([&] { push("CALL 220 DURATION 66"); }).empty());
}

TEST_F(VoiceMail, LengthLimitHangsUpOnlyOnceWhileSkypeIsSlowToEnd)
{
    transport.setReplyHook([this](const std::string& command) {
        audio.observe(command);
        // Skype takes its time with the hang-up: no reply.
        return command == "SET CALL 221 STATUS FINISHED"
                   ? std::optional<std::vector<std::string>>(std::vector<std::string>{})
                   : std::optional<std::vector<std::string>>();
    });
    attach();
    ring("221", "caller1");
    loop.advance(10000ms);
    EXPECT_EQ(sentAfter([&] { push("CALL 221 DURATION 70"); }),
              (std::vector<std::string>{"SET CALL 221 STATUS FINISHED"}));
    EXPECT_TRUE(sentAfter([&] { push("CALL 221 DURATION 71"); }).empty());
}

TEST_F(VoiceMail, CallerWhoHangsUpDuringTheGreetingLeavesNothing)
{
    attach();
    ring("230", "caller1");
    loop.advance(10000ms);
    loop.runPending();
    audio.speak("230", ramp(32000, 0)); // 2 s of the 5 s greeting
    loop.advance(2000ms);
    EXPECT_EQ(sentAfter([&] { finish("230"); }),
              (std::vector<std::string>{"SET USERSTATUS ONLINE"}));
    settle();
    EXPECT_TRUE(sink.records.empty());
    EXPECT_TRUE(filesIn(today()).empty());
}

TEST_F(VoiceMail, UserStopsTheVoiceMailAndKeepsTalking)
{
    attach();
    ring("240", "caller1");
    loop.advance(10000ms);
    loop.runPending();
    audio.speak("240", concat(ramp(80000, 0), ramp(16000, 5)));
    loop.advance(6000ms);
    const auto stop = sentAfter([&] { handling.ToggleRecord(); });
    EXPECT_EQ(stop, (std::vector<std::string>{"ALTER CALL 240 SET_OUTPUT SOUNDCARD=\"default\"",
                                              "ALTER CALL 240 SET_INPUT SOUNDCARD=\"default\"",
                                              "ALTER CALL 240 SET_CAPTURE_MIC",
                                              "SET USERSTATUS ONLINE"}));
    loop.runPending(); // the echoes complete the stop
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].path, today() + "/ti145816145817vcaller1.wav");
    ASSERT_EQ(link.calls().size(), 1u); // the call goes on
    EXPECT_TRUE(link.calls().front().has(CF_INPROGRESS));
}

TEST_F(VoiceMail, SetGreetingFileIgnoresMissingFilesAndReadsTheLength)
{
    handling.SetGreetingFile((dir / "nope.wav").string());
    EXPECT_EQ(link.settings().greetingFile, greeting);
    EXPECT_EQ(link.settings().greetingLength, 500);
    const std::string shorter = (dir / "short.wav").string();
    ASSERT_TRUE(writeWav(shorter, ramp(24000, 0)));
    handling.SetGreetingFile(shorter);
    EXPECT_EQ(link.settings().greetingFile, shorter);
    EXPECT_EQ(link.settings().greetingLength, 150);
}

} // namespace
} // namespace tw::test
