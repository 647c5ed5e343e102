// Splitting, the dispatch by kind, and the call and user model.
#include <algorithm>

#include "link_fixture.h"
#include "skype/skype_notify.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

using Texts = std::vector<std::string>;

TEST(SplitNotification, FollowsTheWordRules)
{
    const std::vector<std::pair<std::string, Texts>> cases = {
        {"ALTER CALL 12 SET_INPUT FILE=x y", {"ALTER CALL", "12", "SET_INPUT", "FILE=x y"}},
        {"CALL 12 STATUS RINGING", {"CALL", "12", "STATUS", "RINGING"}},
        {"USER bob FULLNAME Bob  van B ", {"USER", "bob", "FULLNAME", "Bob  van B "}},
        {"CALL 12 CAPTURE_MIC ", {"CALL", "12", "CAPTURE_MIC", ""}},
        {"CALL 12", {"CALL", "12", "", ""}},
        {"USERS tim, joe, mike", {"USERS", "tim, joe, mike", "", ""}},
        {"CALLS ", {"CALLS", "", "", ""}},
        {"USERS", {"USERS", "", "", ""}},
        {"ALTER CALL", {"ALTER", "CALL", "", ""}}, // 10 characters only
        {"ALTER CALL 7 SET_CAPTURE_MIC", {"ALTER CALL", "7", "SET_CAPTURE_MIC", ""}}};
    for (const auto& [text, want] : cases) {
        const auto n = SplitNotification(text);
        EXPECT_EQ((Texts{std::string(n.kind), std::string(n.id), std::string(n.property),
                         std::string(n.rest)}),
                  want)
            << text;
    }
}

TEST_F(LinkTest, AnInitialAttachFillsTheModelAndMarksCallsFoundThere)
{
    transport.client.contacts = {{"alice", "Alice A", "AWAY"}, {"+4930123", "Berlin", "SKYPEOUT"}};
    transport.client.calls["25"] = {{"PARTNER_HANDLE", "alice"}, {"STATUS", "INPROGRESS"}};
    link.Create();
    loop.runPending();

    EXPECT_TRUE(link.userOnline());
    EXPECT_EQ(link.currentUserFullName(), "Me Myself");
    EXPECT_EQ(link.audioIn(), "Built-in Audio") << "device names keep their spaces";
    ASSERT_EQ(link.users().size(), 2u);
    EXPECT_EQ(link.users()[0].fullName, "Alice A");
    EXPECT_EQ(link.users()[0].onlineStatus, CONTACT_AWAY);
    EXPECT_EQ(link.users()[1].onlineStatus, CONTACT_SKYPEOUT);

    // Their details and then their STATUS came back.
    CSkypeCall* call = link.FindCall("25");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->partnerHandle, "alice");
    EXPECT_EQ(call->savedOutput, "SOUNDCARD=\"default\"");
    EXPECT_EQ(call->flags, CF_INPROGRESS);
    EXPECT_EQ(link.currentCall(), call);
    push("CALLS 25, 56, ");
    EXPECT_EQ(link.FindCall("56")->flags, CF_FOUND_AT_ATTACH);
    EXPECT_TRUE(sentAfter([&] { push("CALLS "); }).empty());
}

TEST_F(LinkTest, RingingCreatesAnIncomingCallAndAsksForItsDetails)
{
    attach();
    const auto sent = sentAfter([&] { push("CALL 12 STATUS RINGING"); });
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent.front(), "GET CALL 12 CONF_ID");
    EXPECT_EQ(sent.back(), "GET CALL 12 CAPTURE_MIC");
    EXPECT_EQ(link.FindCall("12")->flags, CF_RINGING);
    // Our own call: ROUTING asks, the RINGING that follows does not.
    EXPECT_EQ(sentAfter([&] { push("CALL 13 STATUS ROUTING"); }).size(), 9u);
    EXPECT_TRUE(sentAfter([&] { push("CALL 13 STATUS RINGING"); }).empty());
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
    push("CALL 12 TYPE OUTGOING_PSTN");
    EXPECT_EQ(std::pair(call.direction, call.network), std::pair(2u, 2u));
    push("CALL 12 TYPE VIDEO");
    EXPECT_EQ(std::pair(call.direction, call.network), std::pair(0u, 0u));
    push("CALL 12 PARTNER_HANDLE bob");
    push("CALL 12 PARTNER_HANDLE ");
    EXPECT_EQ(call.partnerHandle, "bob") << "an empty value is ignored";
    push("CALL 12 OUTPUT SOUNDCARD=\"default\", FILE=\"/tmp/a b.wav\"");
    EXPECT_EQ(call.savedOutput, "SOUNDCARD=\"default\", FILE=\"/tmp/a b.wav\"");
    push("CALL 12 OUTPUT ");
    EXPECT_EQ(call.savedOutput, "") << "but empty device values are stored";
}

TEST_F(LinkTest, ConferenceParticipantsAreAskedForBoundedAndListedOnce)
{
    attach();
    push("CALL 12 STATUS RINGING");
    EXPECT_EQ(sentAfter([&] { push("CALL 12 CONF_PARTICIPANTS_COUNT 3"); }),
              (Texts{"GET CALL 12 CONF_PARTICIPANT 1", "GET CALL 12 CONF_PARTICIPANT 2"}));
    EXPECT_EQ(sentAfter([&] { push("CALL 12 CONF_PARTICIPANTS_COUNT 2147483647"); }).size(), 32u);

    push("CALL 12 CONF_PARTICIPANT 1 bobby INCOMING_P2P INPROGRESS Bobby");
    push("CALL 12 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob B");
    push("CALL 12 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob B");
    push("CALL 12 CONF_PARTICIPANT 3 bobby INCOMING_P2P INPROGRESS Bobby");
    push("CALL 12 CONF_PARTICIPANT 4");
    EXPECT_EQ(link.FindCall("12")->participantsText, "bobby, bob");
}

TEST(CSkypeCallTest, TheThirtyThirdParticipantIsNotAdded)
{
    CSkypeCall call;
    for (int i = 1; i <= 32; ++i)
        EXPECT_TRUE(call.addParticipant(std::to_string(i), 0, "p" + std::to_string(i)));
    EXPECT_FALSE(call.addParticipant("33", 0, "p33"));
    EXPECT_EQ(call.participants.size(), 32u);
    EXPECT_EQ(call.findParticipant("33"), nullptr);
}

TEST_F(LinkTest, RemovingAConferenceHostKeepsTheRecordUnderTheNextCall)
{
    attach();
    push("CALL 12 STATUS RINGING");
    push("CALL 14 STATUS RINGING");
    CSkypeCall* host12 = link.FindCall("12");
    host12->addParticipant("13", CF_INPROGRESS, "carol");
    host12->addParticipant("15", CF_INPROGRESS, "dave");
    EXPECT_EQ(link.FindCall("15"), host12) << "found through its participant table";
    link.setCurrentCall(host12);

    link.RemoveCall("13"); // a participant id is not removed by itself
    EXPECT_EQ(link.calls().size(), 2u);
    link.RemoveCall("12");
    ASSERT_EQ(link.calls().size(), 2u);
    EXPECT_EQ(std::pair(host12->callId, host12->callNumber), std::pair(std::string("13"), 13));
    EXPECT_EQ(host12->participants.size(), 1u);
    EXPECT_EQ(link.currentCall(), nullptr);

    link.startAnswerTimer(*link.FindCall("14"), 10s);
    link.RemoveCall("14");
    EXPECT_EQ(loop.activeTimerCount(), 1) << "only the keep-alive is left";
}

TEST_F(LinkTest, ActiveCallStateFollowsTheCurrentCall)
{
    attach();
    int state = -1;
    CSkypeCall* call = nullptr;
    push("CALL 12 STATUS RINGING");
    EXPECT_FALSE(link.GetActiveCallState(state, &call)) << "no current call";
    push("CALL 12 STATUS INPROGRESS");
    ASSERT_TRUE(link.GetActiveCallState(state, &call));
    EXPECT_EQ(state, 1);
    call->set(CF_CAPTURING);
    EXPECT_TRUE(link.GetActiveCallState(state, &call));
    EXPECT_EQ(state, 2);
    push("CALL 12 STATUS LOCALHOLD");
    EXPECT_FALSE(link.GetActiveCallState(state, &call));
    EXPECT_FALSE(link.AnyCallInProgress());
    push("CALL 12 STATUS FINISHED");
    EXPECT_TRUE(link.calls().empty());
    EXPECT_EQ(link.currentCall(), nullptr);
}

TEST_F(LinkTest, ContactsAreListedOnceAndAskedForWhatIsNotKnown)
{
    attach();
    EXPECT_EQ(sentAfter([&] { push("USERS tim, joe, "); }),
              (Texts{"GET USER tim ONLINESTATUS", "GET USER tim FULLNAME",
                     "GET USER joe ONLINESTATUS", "GET USER joe FULLNAME"}));
    push("USERS tim");
    EXPECT_EQ(link.users().size(), 2u);
    EXPECT_EQ(sentAfter([&] { push("USER ann ONLINESTATUS DND"); }),
              Texts{"GET USER ann FULLNAME"});
    EXPECT_EQ(link.findUser("ann")->onlineStatus, CONTACT_DND);
    // The local user is not a contact.
    push("CURRENTUSERHANDLE me");
    push("USER me ONLINESTATUS ONLINE");
    EXPECT_EQ(link.findUser("me"), nullptr);
    push("CONNSTATUS OFFLINE");
    EXPECT_EQ(link.findUser("ann")->onlineStatus, CONTACT_OFFLINE);

    std::string name = "stale";
    std::uint32_t status = 9;
    EXPECT_FALSE(link.LookupUser("", &name, &status));
    EXPECT_EQ(sentAfter([&] { EXPECT_TRUE(link.LookupUser("zoe", &name, &status)); }),
              (Texts{"GET USER zoe ONLINESTATUS", "GET USER zoe FULLNAME"}));
    EXPECT_EQ(std::pair(name, status), std::pair(std::string(), 0u));
    push("USER zoe FULLNAME Zoe Z");
    EXPECT_TRUE(sentAfter([&] { EXPECT_TRUE(link.LookupUser("zoe", &name, &status)); }).empty());
    EXPECT_EQ(name, "Zoe Z");
}

/// Records every hook with the state the model was in.
struct RecordingHandler : CallHandler
{
    std::vector<std::string> events;
    CSkypeLink* link = nullptr;

    void onCallStatus(CSkypeCall& call, CallStatus status, const std::string& id) override
    {
        events.push_back("status " + call.callId + " " + std::to_string(int(status)) + " " + id);
    }
    void onCallDuration(CSkypeCall& call) override
    {
        events.push_back("duration " + std::to_string(call.durationSec));
    }
    void onCallConfId(CSkypeCall& call) override { events.push_back("conf " + call.confId); }
    void onAlterCallEcho(CSkypeCall& call, std::string_view p, std::string_view v) override
    {
        events.push_back("alter " + call.callId + " " + std::string(p) + " [" + std::string(v) +
                         "]");
    }
    void onAnswerTimer(CSkypeCall& call) override
    {
        events.push_back("timer " + call.callId);
        link->stopAnswerTimer(call);
    }
};

TEST_F(LinkTest, CallHandlingHooksRunWithTheValueAlreadyStored)
{
    RecordingHandler handler;
    link.setCallHandler(&handler);
    attach();
    push("CALL 12 STATUS RINGING");
    push("CALL 12 DURATION 3");
    push("CALL 12 CONF_ID 0");
    push("CALL 12 CONF_ID 77");
    push("ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\"");
    push("ALTER CALL 99 SET_CAPTURE_MIC");
    push("CALL 12 STATUS ONHOLD"); // not a state the machine knows
    link.FindCall("12")->addParticipant("13", 0, "x");
    push("CALL 13 STATUS FINISHED");
    EXPECT_EQ(handler.events,
              (Texts{"status 12 1 12", "duration 3", "conf 77",
                     "alter 12 SET_OUTPUT [SOUNDCARD=\"default\"]", "status 12 5 13"}));
    EXPECT_EQ(link.calls().size(), 1u) << "with a handler set, the handler decides on removal";
    link.setCallHandler(nullptr);
}

TEST_F(LinkTest, AnswerTimersOfCallsNeverMeetTheLinksOwnTimers)
{
    RecordingHandler handler;
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
    EXPECT_EQ(handler.events.back(), "timer 1005");
    EXPECT_EQ(std::count(handler.events.begin(), handler.events.end(), "timer 1002"), 1);
    link.setCallHandler(nullptr);
}

} // namespace
} // namespace tw::test
