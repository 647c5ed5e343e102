// Voice mail: the answer decision, the greeting, the length limit, DND and the transfer's way back.
#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;
using VoiceMail = CallHandlingTest;

TEST_F(VoiceMail, UnansweredCallBecomesAVoiceMailTenSecondsAfterTypeAndDndIsRestored)
{
    ring("201", "caller1");
    // The TYPE reply came with the details at 14:58:06; nothing until 10 000 ms later.
    EXPECT_TRUE(sentAfter([&] { loop.advance(9999ms); }).empty());
    const auto start = sentAfter([&] { loop.advance(1ms); });
    const std::string seg = today() + "/ti145816145816o.wav";
    ASSERT_GE(start.size(), 4u);
    EXPECT_EQ(Texts(start.begin(), start.begin() + 4),
              (Texts{"ALTER CALL 201 SET_INPUT FILE=\"" + greeting + "\"",
                     "ALTER CALL 201 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + seg + "\"",
                     "SET CALL 201 STATUS INPROGRESS", "SET USERSTATUS DND"}));
    loop.runPending(); // Skype's replies: INPROGRESS, the echoes, USERSTATUS DND

    // Skype wrote the greeting's 5 s and then 3 s of the caller into the segment.
    const auto message = ramp(48000, 1234);
    audio.speak("201", concat(ramp(80000, 0), message));
    loop.advance(8000ms);
    EXPECT_EQ(sentAfter([&] { finish("201"); }), Texts{"SET USERSTATUS ONLINE"});
    settle();

    ASSERT_EQ(sink.records.size(), 1u);
    const RecordSeen& r = sink.records[0];
    const std::string path = today() + "/ti145816145819vcaller1.wav";
    EXPECT_EQ(std::pair(r.type, r.path), std::pair(1, path));
    EXPECT_EQ((Texts{r.skypeName, r.secondText, r.fullName}), (Texts{"caller1", "", "Caller One"}));
    EXPECT_EQ(r.start, kWallStart + 10);
    EXPECT_EQ(r.end, kWallStart + 13);
    EXPECT_EQ(r.size, static_cast<std::int64_t>(fs::file_size(path)));
    EXPECT_EQ(readWav(path).samples, message);
    EXPECT_EQ(filesIn(today()), Texts{"ti145816145819vcaller1.wav"});
}

TEST_F(VoiceMail, CallAnsweredWithinTheWaitingPeriodIsRecordedNotVoiceMailed)
{
    ring("202", "caller1");
    loop.advance(4000ms);
    const std::string base = today() + "/ti145810145810";
    EXPECT_EQ(sentAfter([&] { push("CALL 202 STATUS INPROGRESS"); }),
              (Texts{"ALTER CALL 202 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + base + "o.wav\"",
                     "ALTER CALL 202 SET_CAPTURE_MIC FILE=\"" + base + "m.wav\""}));
    EXPECT_TRUE(noVoiceMail(sentAfter([&] { loop.advance(20000ms); })));
}

TEST_F(VoiceMail, BusyUserGivesTheCallerTheBusyChatInstead)
{
    ring("210", "caller1");
    push("CALL 210 STATUS INPROGRESS");
    ring("211", "caller2");
    EXPECT_EQ(sentAfter([&] { loop.advance(10000ms); }),
              (Texts{"CHAT CREATE caller2 DIALOG",
                     "CHATMESSAGE #me/$caller2;0000000000000001 /me is not available to take "
                     "your call. Please kindly call later. Sorry for the inconvenience! "}));
}

TEST_F(VoiceMail, GreetingPlusMaximumLengthHangsUpAtDuration65OnlyOnce)
{
    transport.setReplyHook([this](const std::string& command) {
        audio.observe(command);
        // Skype takes its time with the hang-up: no reply.
        return command == "SET CALL 220 STATUS FINISHED" ? std::optional(Texts{}) : std::nullopt;
    });
    ring("220", "caller1");
    loop.advance(10000ms);
    EXPECT_TRUE(sentAfter([&] { push("CALL 220 DURATION 64"); }).empty());
    EXPECT_EQ(sentAfter([&] { push("CALL 220 DURATION 65"); }),
              Texts{"SET CALL 220 STATUS FINISHED"});
    EXPECT_TRUE(sentAfter([&] { push("CALL 220 DURATION 66"); }).empty());
    // Skype's FINISHED at last ends the voice mail and gives the status back.
    EXPECT_EQ(sentAfter([&] { push("CALL 220 STATUS FINISHED"); }), Texts{"SET USERSTATUS ONLINE"});
}

TEST_F(VoiceMail, CallerWhoHangsUpDuringTheGreetingLeavesNothing)
{
    ring("230", "caller1");
    loop.advance(10000ms);
    audio.speak("230", ramp(32000, 0)); // 2 s of the 5 s greeting
    loop.advance(2000ms);
    EXPECT_EQ(sentAfter([&] { finish("230"); }), Texts{"SET USERSTATUS ONLINE"});
    settle();
    EXPECT_TRUE(sink.records.empty());
    EXPECT_TRUE(filesIn(today()).empty());
}

TEST_F(VoiceMail, TransferWhoseTargetRefusesTakesTheCallerBackToVoiceMail)
{
    link.setCallTransfer(true, "boss");
    transport.client.nextCallId = 500;
    // Call 400 is answered for the transfer, held, and boss is called (500).
    ring("400", "caller1");
    EXPECT_TRUE(transport.wasSent("CALL boss"));
    push("CALL 400 STATUS LOCALHOLD");
    ASSERT_NE(link.FindCall("500"), nullptr);
    EXPECT_TRUE(link.transferActive());

    EXPECT_EQ(sentAfter([&] { push("CALL 500 STATUS REFUSED"); }),
              (Texts{"SET CALL 400 STATUS INPROGRESS", "SET MUTE OFF",
                     "ALTER CALL 400 SET_OUTPUT SOUNDCARD=\"default\"",
                     "ALTER CALL 400 SET_INPUT FILE=\"" + greeting + "\"",
                     "ALTER CALL 400 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" + today() +
                         "/ti145806145806o.wav\"",
                     "SET USERSTATUS DND"}));
    EXPECT_FALSE(link.transferActive());
    EXPECT_EQ(link.FindCall("500"), nullptr);
    audio.speak("400", concat(ramp(80000, 0), ramp(16000, 3)));
    finish("400");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].path, today() + "/ti145806145807vcaller1.wav");
    EXPECT_EQ(readWav(sink.records[0].path).samples, ramp(16000, 3));
}

TEST_F(VoiceMail, TransferWhoseTargetAnswersJoinsBothLegsIntoOneRecord)
{
    link.setCallTransfer(true, "boss");
    transport.client.nextCallId = 500;
    ring("400", "caller1");
    push("CALL 400 STATUS LOCALHOLD");
    ASSERT_NE(link.FindCall("500"), nullptr);
    push("CALL 500 PARTNER_HANDLE boss");

    const Texts answered = sentAfter([&] { push("CALL 500 STATUS INPROGRESS"); });
    ASSERT_GE(answered.size(), 2u);
    EXPECT_EQ(answered[0], "SET CALL 400 JOIN_CONFERENCE 500");
    EXPECT_EQ(answered[1], "GET CALL 500 CONF_ID");
    EXPECT_TRUE(noVoiceMail(answered));
    // Skype puts both legs into one conference: the caller folds into the target's call.
    push("CALL 500 CONF_ID 17930");
    push("CALL 400 CONF_ID 17930");
    push("CALL 400 STATUS INPROGRESS");
    EXPECT_EQ(link.calls().size(), 1u);
    EXPECT_EQ(link.FindCall("400"), link.FindCall("500")) << "the caller is a participant now";
    audio.speak("500", ramp(16000, 7));
    finish("500");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].type, 2);
    EXPECT_EQ(sink.records[0].skypeName, "caller1");
    EXPECT_EQ(sink.records[0].secondText, "boss");
    EXPECT_FALSE(link.transferActive());
}

} // namespace
} // namespace tw::test
