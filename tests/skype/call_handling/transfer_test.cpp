#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;

class Transfer : public CallHandlingTest
{
protected:
    void SetUp() override
    {
        CallHandlingTest::SetUp();
        link.setCallTransfer(true, "boss");
        transport.client.contacts.push_back({"boss", "The Boss"});
        transport.client.nextCallId = 500;
    }
    /// Call 400 from caller1 is answered for the transfer, held, and boss is called (500).
    void startTransfer()
    {
        attach();
        const auto sent = sentAfter([&] { ring("400", "caller1"); });
        EXPECT_NE(std::find(sent.begin(), sent.end(), "SET CALL 400 STATUS INPROGRESS"),
                  sent.end());
        EXPECT_NE(std::find(sent.begin(), sent.end(), "SET CALL 400 STATUS ONHOLD"), sent.end());
        EXPECT_NE(std::find(sent.begin(), sent.end(), "CALL boss"), sent.end());
        EXPECT_TRUE(link.transferActive());
        // The caller's leg is never recorded.
        for (const auto& c : sent)
            EXPECT_EQ(c.find("ALTER CALL 400 SET_OUTPUT SOUNDCARD=\"default\", FILE="),
                      std::string::npos);
        push("CALL 400 STATUS LOCALHOLD");
        ASSERT_NE(link.FindCall("500"), nullptr);
        EXPECT_TRUE(link.FindCall("500")->has(CF_TRANSFER));
        EXPECT_EQ(link.FindCall("500")->legIndex, 1u);
        EXPECT_TRUE(transport.wasSent("SET MUTE ON"));
        EXPECT_TRUE(transport.wasSent("ALTER CALL 500 SET_OUTPUT"));
    }
};

TEST_F(Transfer, TargetRefusingTakesTheCallerBackToVoiceMail)
{
    startTransfer();
    const auto back = sentAfter([&] { push("CALL 500 STATUS REFUSED"); });
    EXPECT_EQ(back,
              (std::vector<std::string>{"SET CALL 400 STATUS INPROGRESS", "SET MUTE OFF",
                                        "ALTER CALL 400 SET_OUTPUT SOUNDCARD=\"default\"",
                                        "ALTER CALL 400 SET_INPUT FILE=\"" + greeting + "\"",
                                        "ALTER CALL 400 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"" +
                                            today() + "/ti145806145806o.wav\"",
                                        "SET USERSTATUS DND"}));
    EXPECT_FALSE(link.transferActive());
    EXPECT_EQ(link.FindCall("500"), nullptr);
    audio.speak("400", concat(ramp(80000, 0), ramp(16000, 3)));
    finish("400");
    settle();
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].path, today() + "/ti145806145807vcaller1.wav");
}

TEST_F(Transfer, AnsweredTargetIsJoinedAndTheTransferBecomesOneRecord)
{
    startTransfer();
    const auto joined = sentAfter([&] { push("CALL 500 STATUS INPROGRESS"); });
    ASSERT_GE(joined.size(), 2u);
    EXPECT_EQ(joined[0], "SET CALL 400 JOIN_CONFERENCE 500");
    EXPECT_EQ(joined[1], "GET CALL 500 CONF_ID");
    // The target's leg is recorded without the local microphone, which stays muted.
    EXPECT_NE(std::find(joined.begin(), joined.end(), "Set MUTE ON"), joined.end());
    push("CALL 500 CONF_ID 17930");
    push("CALL 400 CONF_ID 17930");
    push("CALL 400 STATUS INPROGRESS"); // the held caller resumes into the conference
    ASSERT_EQ(link.calls().size(), 1u);
    const CSkypeCall& target = link.calls().front();
    EXPECT_EQ(target.callId, "500");
    EXPECT_EQ(target.participantsText, "caller1");
    ASSERT_EQ(target.participants.size(), 1u);
    EXPECT_EQ(target.participants[0].callId, "400");

    audio.speak("500", ramp(20000, 7));
    // The caller hangs up: the target is hung up too, then its end finishes the record.
    const auto end = sentAfter([&] { push("CALL 400 STATUS FINISHED"); });
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end[0], "SET CALL 500 STATUS FINISHED");
    settle(); // Skype's FINISHED for 500 followed at once
    EXPECT_FALSE(link.transferActive());
    ASSERT_EQ(sink.records.size(), 1u);
    const RecordSeen& r = sink.records[0];
    EXPECT_EQ(r.skypeName, "caller1"); // the participant list names the caller
    EXPECT_EQ(r.secondText, "boss");
    EXPECT_EQ(r.fullName, "Caller One");
    EXPECT_EQ(readWav(r.path).samples, ramp(20000, 7));
}

} // namespace
} // namespace tw::test
