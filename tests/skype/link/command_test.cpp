// Command codes, call operations and chat notices: the exact texts, in order.
#include "link_fixture.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

using CommandTest = CallTest;

TEST_F(CommandTest, CodesWithoutATextSendNothingAndCallingAsksFirst)
{
    EXPECT_TRUE(sentAfter([&] {
                    EXPECT_EQ(link.Dispatch(CMD_SEND_SKYPE_INIT_INFO, "x"), 0u);
                    EXPECT_EQ(link.Dispatch(CMD_SEND_SKYPE_CLOSE_INFO), 0u);
                    EXPECT_EQ(link.Dispatch(16, "bob"), 0u);
                    EXPECT_EQ(link.Dispatch(CMD_CHAT, call12()), 0u) << "wrong argument kind";
                }).empty());
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_TRANSFER_CALL, "+4930"), 1u); }),
              Texts{"CALL +4930"});
    call12().set(CF_VOICEMAIL | CF_CAPTURING);
    link.setCurrentCall(&call12());
    prompt.queueAnswer(Prompt::Answer::No);
    EXPECT_TRUE(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 0u); }).empty());
    EXPECT_EQ(prompt.messages().back().text, "Do you want to stop the video mail recording?");
    prompt.queueAnswer(Prompt::Answer::Yes);
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_CALL, "ann"), 1u); }),
              (Texts{"SET CALL 12 STATUS FINISHED", "CALL ann"}));
    EXPECT_EQ(host.skypeWindowShows, 1);
}

TEST_F(CommandTest, ChatNoticesAreSentWhenSkypeOpensTheChat)
{
    // Busy notice: the reply to CHAT CREATE is the chat in DIALOG status.
    EXPECT_EQ(link.Dispatch(CMD_BUSY_NOTICE, call12()), 1u);
    EXPECT_TRUE(call12().has(CF_BUSY_NOTICE));
    loop.runPending();
    ASSERT_EQ(transport.client.chatMessages.size(), 1u);
    EXPECT_EQ(transport.client.chatMessages[0].first, "#me/$bob;0000000000000001");
    EXPECT_FALSE(call12().has(CF_BUSY_NOTICE));

    // Recording notice (code 14) for a participant of the conference, then for nobody.
    call12().addParticipant("13", 0, "carol");
    EXPECT_EQ(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_RECORD_NOTICE, "13"), 1u); }),
              Texts{"CHAT CREATE carol DIALOG"});
    loop.runPending();
    ASSERT_EQ(transport.client.chatMessages.size(), 2u);
    EXPECT_EQ(transport.client.chatMessages[1].second,
              "This notification is to inform you that this call will be recorded. To decline "
              "the recording, please end the call.");
    EXPECT_TRUE(sentAfter([&] { EXPECT_EQ(link.Dispatch(CMD_RECORD_NOTICE, "404"), 1u); }).empty());

    // A chat opened by somebody else is shown.
    EXPECT_EQ(sentAfter([&] { push("CHAT #bob/$me;00ff STATUS DIALOG"); }),
              Texts{"OPEN CHAT #bob/$me;00ff"});
}

} // namespace
} // namespace tw::test
