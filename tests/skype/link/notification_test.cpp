// Splitting, the dispatch by kind, and the call and user model.
#include "link_fixture.h"
#include "skype/skype_notify.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

TEST(SplitNotification, FollowsTheWordRules)
{
    const std::vector<std::pair<std::string, Texts>> cases = {
        {"ALTER CALL 12 SET_INPUT FILE=x y", {"ALTER CALL", "12", "SET_INPUT", "FILE=x y"}},
        {"CALL 12 STATUS RINGING", {"CALL", "12", "STATUS", "RINGING"}},
        {"USER bob FULLNAME Bob  van B ", {"USER", "bob", "FULLNAME", "Bob  van B "}},
        {"CALL 12 CAPTURE_MIC ", {"CALL", "12", "CAPTURE_MIC", ""}},
        {"USERS tim, joe, mike", {"USERS", "tim, joe, mike", "", ""}},
        {"ALTER CALL", {"ALTER", "CALL", "", ""}}, // 10 characters only
        {"ALTER CALL 7 SET_CAPTURE_MIC", {"ALTER CALL", "7", "SET_CAPTURE_MIC", ""}}};
    for (const auto& [text, want] : cases) {
        const auto n = SplitNotification(text);
        EXPECT_EQ((Texts{Texts::value_type(n.kind), Texts::value_type(n.id),
                         Texts::value_type(n.property), Texts::value_type(n.rest)}),
                  want)
            << text;
    }
}

TEST_F(LinkTest, CallPropertiesAreStoredAndBadValuesChangeNothing)
{
    attach();
    push("CALL 12 STATUS RINGING");
    CSkypeCall& call = *link.FindCall("12");
    push("CALL 12 DURATION 7");
    push("CALL 12 DURATION x");
    push("CALL 12 DURATION 99999999999");
    EXPECT_EQ(call.durationSec, 7u);
    push("CALL 12 PARTNER_HANDLE bob");
    push("CALL 12 PARTNER_HANDLE ");
    EXPECT_EQ(call.partnerHandle, "bob") << "an empty value is ignored";

    // Conference participants are asked for within the table's bound, and listed once.
    EXPECT_EQ(sentAfter([&] { push("CALL 12 CONF_PARTICIPANTS_COUNT 3"); }),
              (Texts{"GET CALL 12 CONF_PARTICIPANT 1", "GET CALL 12 CONF_PARTICIPANT 2",
                     "GET CALL 12 CONF_PARTICIPANT 3"}));
    EXPECT_EQ(sentAfter([&] { push("CALL 12 CONF_PARTICIPANTS_COUNT 2147483647"); }).size(), 33u);

    push("CALL 12 CONF_PARTICIPANT 1 bobby INCOMING_P2P INPROGRESS Bobby");
    push("CALL 12 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob B");
    push("CALL 12 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob B");
    push("CALL 12 CONF_PARTICIPANT 3 bobby INCOMING_P2P INPROGRESS Bobby");
    push("CALL 12 CONF_PARTICIPANT 4");
    EXPECT_EQ(call.participantsText, "bobby, bob");
}

TEST(CSkypeCallTest, TheThirtyThirdParticipantIsNotAdded)
{
    CSkypeCall call;
    for (int i = 1; i <= 32; ++i)
        EXPECT_TRUE(call.addParticipant(std::to_string(i), 0, "p"));
    EXPECT_FALSE(call.addParticipant("33", 0, "p33"));
    EXPECT_EQ(call.findParticipant("33"), nullptr);
}

TEST_F(LinkTest, AnswerTimersOfCallsNeverMeetTheLinksOwnTimers)
{
    struct Timers : CallHandler
    {
        CSkypeLink* link = nullptr;
        std::vector<std::string> fired;
        void onAnswerTimer(CSkypeCall& call) override
        {
            fired.push_back(call.callId);
            link->stopAnswerTimer(call);
        }
    } handler;
    handler.link = &link;
    link.setCallHandler(&handler);
    attach();
    push("CALL 1005 STATUS RINGING");
    push("CALL 1002 STATUS RINGING");
    link.startAnswerTimer(*link.FindCall("1005"), 10000ms);
    link.startAnswerTimer(*link.FindCall("1002"), 3000ms);
    loop.advance(5000ms);
    EXPECT_EQ(transport.countSent("PING"), 1) << "the keep-alive still ticks";
    loop.advance(5000ms);
    EXPECT_EQ(handler.fired, (Texts{"1002", "1005"}));
    link.setCallHandler(nullptr);
}

} // namespace
} // namespace tw::test
