// Command codes, call operations and chat notices: the exact texts, in order.
#include "link_fixture.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

using Texts = std::vector<std::string>;

/// Call handling as far as the call operations need it.
struct SegmentHandler : CallHandler
{
    bool freeSpace = true;
    int segments = 0;
    int voiceMailsStarted = 0;

    bool ensureFreeSpace() override { return freeSpace; }
    std::string makeSegmentPath(CSkypeCall& call, SegmentSide side) override
    {
        ++segments;
        return "/rec/ti" + call.callId + "-" + std::to_string(segments) +
               (side == SegmentSide::Output ? "o" : "m") + ".wav";
    }
    void onVoiceMailStarted(CSkypeCall&) override { ++voiceMailsStarted; }
};

class CommandTest : public LinkTest
{
protected:
    SegmentHandler handler;

    void SetUp() override
    {
        link.setCallHandler(&handler);
        link.setGreeting("/greet/default.wav", 500);
        attach();
        push("USERSTATUS AWAY");
        push("CURRENTUSERHANDLE me");
        push("CALL 12 STATUS RINGING");
        push("CALL 12 PARTNER_HANDLE bob");
        push("CALL 12 OUTPUT SOUNDCARD=\"default\"");
        push("CALL 12 INPUT SOUNDCARD=\"default\"");
        push("CALL 12 CAPTURE_MIC ");
        loop.runPending();
        transport.clearSent();
        transport.client.chatMessages.clear();
    }
    void TearDown() override { link.setCallHandler(nullptr); }
    CSkypeCall& call12() { return *link.FindCall("12"); }
};

TEST_F(CommandTest, CodesWithoutATextSendNothing)
{
    EXPECT_TRUE(sentAfter([&] {
                    EXPECT_EQ(link.Dispatch(CMD_SEND_SKYPE_INIT_INFO, "x"), 0u);
                    EXPECT_EQ(link.Dispatch(CMD_SEND_SKYPE_CLOSE_INFO), 0u);
                    EXPECT_EQ(link.Dispatch(0), 0u);
                    EXPECT_EQ(link.Dispatch(16, "bob"), 0u);
                    EXPECT_EQ(link.Dispatch(CMD_CHAT, call12()), 0u) << "wrong argument kind";
                }).empty());
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_TRANSFER_CALL, "+4930"), 1u); }),
              Texts{"CALL +4930"});
}

TEST_F(CommandTest, ChatNoticesAreSentWhenSkypeOpensTheChat)
{
    // Busy notice: the reply to CHAT CREATE is the chat in DIALOG status.
    EXPECT_EQ(link.Dispatch(CMD_BUSY_NOTICE, call12()), 1u);
    EXPECT_TRUE(call12().has(CF_BUSY_NOTICE));
    loop.runPending();
    ASSERT_EQ(transport.client.chatMessages.size(), 1u);
    EXPECT_EQ(transport.client.chatMessages[0].first, "#me/$bob;0000000000000001");
    EXPECT_EQ(transport.client.chatMessages[0].second,
              "/me is not available to take your call. Please kindly call later. Sorry for the "
              "inconvenience! ");
    EXPECT_FALSE(call12().has(CF_BUSY_NOTICE));

    // Recording notice for a participant of the conference.
    call12().addParticipant("13", 0, "carol");
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_RECORD_NOTICE, "13"), 1u); }),
              Texts{"CHAT CREATE carol DIALOG"});
    EXPECT_TRUE(call12().participants[0].flags & CF_RECORD_NOTICE);
    loop.runPending();
    ASSERT_EQ(transport.client.chatMessages.size(), 2u);
    EXPECT_EQ(transport.client.chatMessages[1].second,
              "This notification is to inform you that this call will be recorded. To decline "
              "the recording, please end the call.");
    EXPECT_FALSE(call12().participants[0].flags & CF_RECORD_NOTICE);

    // An id nobody has: nothing sent, still 1.
    EXPECT_TRUE(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_RECORD_NOTICE, "404"), 1u); }).empty());

    // A chat opened again, or by somebody else, is shown.
    EXPECT_EQ(sentAfter([&] { push("CHAT #me/$bob;00ff STATUS DIALOG"); }),
              Texts{"OPEN CHAT #me/$bob;00ff"});
    EXPECT_EQ(sentAfter([&] { push("CHAT #bob/$me;00ff STATUS DIALOG"); }),
              Texts{"OPEN CHAT #bob/$me;00ff"});
    EXPECT_EQ(sentAfter([&] { push("CHAT #me/$bob STATUS DIALOG"); }), Texts{"OPEN CHAT #me/$bob"})
        << "no \";\": matches no call";
    EXPECT_TRUE(sentAfter([&] { push("CHAT #me/$bob;1 STATUS MULTI_SUBSCRIBED"); }).empty());
    EXPECT_TRUE(sentAfter([&] { push("CHAT #me/$bob;1 TOPIC DIALOG"); }).empty());
}

TEST_F(CommandTest, CallSomebodyAsksBeforeEndingAVoiceMail)
{
    link.setTransferActive(true);
    EXPECT_TRUE(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 0u); }).empty());
    ASSERT_EQ(prompt.messages().size(), 1u);
    EXPECT_EQ(prompt.messages()[0].text,
              "Please hand up the current conference call first before making a new call.");
    link.setTransferActive(false);

    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 1u); }), Texts{"CALL ann"});
    EXPECT_EQ(host.skypeWindowShows, 1);

    call12().set(CF_VOICEMAIL | CF_CAPTURING);
    link.setCurrentCall(&call12());
    prompt.queueAnswer(Prompt::Answer::No);
    EXPECT_TRUE(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 0u); }).empty());
    EXPECT_EQ(prompt.messages().back().text, "Do you want to stop the video mail recording?");
    EXPECT_EQ(prompt.messages().back().buttons, Prompt::Buttons::YesNo);
    prompt.queueAnswer(Prompt::Answer::Yes);
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 1u); }),
              (Texts{"SET CALL 12 STATUS FINISHED", "CALL ann"}));
}

TEST_F(CommandTest, VoiceMailStartAndStop)
{
    const auto started =
        sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_START_LEAVE_MESSAGE, call12()), 1u); });
    EXPECT_EQ(started,
              (Texts{"ALTER CALL 12 SET_INPUT FILE=\"/greet/default.wav\"",
                     "ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"/rec/ti12-1o.wav\"",
                     "SET CALL 12 STATUS INPROGRESS", "SET USERSTATUS DND"}));
    EXPECT_TRUE(call12().hasAll(CF_VOICEMAIL | CF_CAPTURING));
    EXPECT_EQ(call12().recordType, RECORD_VOICEMAIL);
    EXPECT_EQ(call12().recordStart, loop.wallTime());
    EXPECT_EQ(call12().outputSegment, "/rec/ti12-1o.wav");
    EXPECT_FALSE(link.userStatusTracking());
    EXPECT_EQ(handler.voiceMailsStarted, 1);
    loop.runPending(); // the echo of SET USERSTATUS DND is not taken as the user's own
    EXPECT_EQ(link.userStatus(), "AWAY");

    loop.advance(30000ms);
    const auto stopped =
        sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_STOP_LEAVE_MESSAGE, call12()), 1u); });
    EXPECT_EQ(stopped, (Texts{"ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\"",
                              "ALTER CALL 12 SET_INPUT SOUNDCARD=\"default\"",
                              "ALTER CALL 12 SET_CAPTURE_MIC", "SET USERSTATUS AWAY"}));
    EXPECT_EQ(call12().flags & (CF_VOICEMAIL | CF_CAPTURING | CF_STOP_PENDING), CF_STOP_PENDING);
    EXPECT_EQ(call12().recordEnd, call12().recordStart + 30);
    EXPECT_TRUE(link.userStatusTracking());
}

TEST_F(CommandTest, VoiceMailVariants)
{
    link.setMuteCaller(true);
    EXPECT_EQ(sentAfter([&] { link.StartVoiceMail(call12(), true); }),
              (Texts{"ALTER CALL 12 SET_INPUT FILE=\"/greet/default.wav\"",
                     "ALTER CALL 12 SET_OUTPUT FILE=\"/rec/ti12-1o.wav\"", "SET USERSTATUS DND"}));

    handler.freeSpace = false;
    push("CALL 14 STATUS RINGING");
    transport.clearSent();
    EXPECT_EQ(link.StartVoiceMail(*link.FindCall("14"), false), 1u);
    EXPECT_EQ(link.StartRecording(*link.FindCall("14")), 0u);
    EXPECT_TRUE(transport.sent().empty());
    EXPECT_EQ(link.FindCall("14")->flags, CF_RINGING);
    EXPECT_EQ(prompt.messages().back().text,
              "Storage space is not enough!  Please remove some unused data from the storage.");
}

TEST_F(CommandTest, WithoutCallHandlingNoCaptureStarts)
{
    link.setCallHandler(nullptr);
    EXPECT_EQ(link.StartVoiceMail(call12(), false), 0u);
    EXPECT_EQ(link.StartRecording(call12()), 0u);
    EXPECT_TRUE(transport.sent().empty());
    EXPECT_EQ(call12().flags, CF_RINGING);
}

TEST_F(CommandTest, RecordingStartPauseResumeStop)
{
    link.setConversationRecord(true, true);
    call12().addParticipant("13", 0, "carol");
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_START_RECORDING, call12()), 1u); }),
              (Texts{"ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"/rec/ti12-1o.wav\"",
                     "ALTER CALL 12 SET_CAPTURE_MIC FILE=\"/rec/ti12-2m.wav\"",
                     "CHAT CREATE bob DIALOG", "CHAT CREATE carol DIALOG"}));
    EXPECT_EQ(call12().recordType, RECORD_CONVERSATION);
    const auto start = call12().recordStart;

    loop.advance(20000ms);
    EXPECT_EQ(
        sentAfter([&] { link.StopRecording(call12(), true); }),
        (Texts{"ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\"", "ALTER CALL 12 SET_CAPTURE_MIC"}));
    EXPECT_EQ(call12().flags & (CF_RECORDING | CF_ONHOLD | CF_STOP_PENDING | CF_CAPTURING),
              CF_RECORDING | CF_ONHOLD | CF_STOP_PENDING);

    // A resume keeps the recording's start; the notices are not asked for twice.
    call12().clear(CF_ONHOLD);
    EXPECT_EQ(sentAfter([&] { link.StartRecording(call12()); }).size(), 2u);
    EXPECT_EQ(call12().recordStart, start);
    EXPECT_EQ(link.Dispatch(CMD_STOP_RECORDING, call12()), 1u);
    EXPECT_FALSE(call12().has(CF_RECORDING | CF_CAPTURING));
    EXPECT_EQ(call12().recordEnd, start + 20);
}

TEST_F(CommandTest, RecordingDuringATransferMutesTheUser)
{
    link.setTransferActive(true);
    EXPECT_EQ(sentAfter([&] { link.StartRecording(call12()); }),
              (Texts{"ALTER CALL 12 SET_OUTPUT FILE=\"/rec/ti12-1o.wav\"", "Set MUTE ON"}));
    EXPECT_TRUE(call12().micSegment.empty());
    EXPECT_EQ(sentAfter([&] { link.StopRecording(call12(), false); }),
              (Texts{"ALTER CALL 12 SET_CAPTURE_MIC", "SET MUTE ON", "ALTER CALL 12 SET_OUTPUT"}));
    EXPECT_EQ(sentAfter([&] { link.Mute(call12(), false); }),
              (Texts{"SET MUTE OFF", "ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\""}));
}

} // namespace
} // namespace tw::test
