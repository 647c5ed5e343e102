// A hostile or broken peer: values that try to become command syntax, and a fuzz run of
// random and malformed notifications.
#include <random>

#include "link_fixture.h"
#include "skype/skype_text.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

Texts split(const std::string& list)
{
    Texts out(1);
    for (char c : list)
        if (c == '|')
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

using HostileTest = CallTest;

TEST_F(HostileTest, HandlesThatAreNotOneWordNeverReachACommand)
{
    const Texts sent = sentAfter([&] {
        push("USERS bob ONLINESTATUS, ok1, ev\"il, a\rSET USERSTATUS DND");
        push("USER x\nCALL ONLINESTATUS ONLINE");
        push("CURRENTUSERHANDLE me\rCALL");
    });
    EXPECT_EQ(sent, (Texts{"GET USER ok1 ONLINESTATUS", "GET USER ok1 FULLNAME"}));
    // Call ids are canonical numbers that fit a timer id; the call list is bounded.
    for (const char* id : {"1;2", "007", "2147483648", "-3", "12\r"})
        push(std::string("CALL ") + id + " STATUS RINGING");
    EXPECT_EQ(link.calls().size(), 1u);
    for (int i = 0; i < 400; ++i)
        push("CALL " + std::to_string(1000 + i) + " STATUS RINGING");
    EXPECT_EQ(link.calls().size(), CSkypeLink::kMaxCalls);
    EXPECT_EQ(link.users().size(), 1u);
    EXPECT_EQ(link.currentUserHandle(), "me");
    EXPECT_FALSE(link.LookupUser("a b", nullptr, nullptr));
}

TEST_F(HostileTest, PartnerHandlesAndChatNamesStayData)
{
    for (const char* partner :
         {"bob SET USERSTATUS DND", "bob\nSET USERSTATUS DND", "bo\"b", "bob\r"}) {
        push(std::string("CALL 12 PARTNER_HANDLE ") + partner);
        EXPECT_EQ(call12().partnerHandle, partner) << "stored as the peer said it";
        EXPECT_TRUE(sentAfter([&] { link.Dispatch(CMD_BUSY_NOTICE, call12()); }).empty());
        EXPECT_TRUE(sentAfter([&] { link.Dispatch(CMD_RECORD_NOTICE, "12"); }).empty());
        EXPECT_TRUE(sentAfter([&] { link.Dispatch(CMD_CALL, partner); }).empty());
        EXPECT_TRUE(sentAfter([&] { link.Dispatch(CMD_CHAT, partner); }).empty());
    }
    EXPECT_TRUE(prompt.messages().empty()) << "nobody is asked about a call that cannot be made";
    EXPECT_TRUE(sentAfter([&] { push("CHAT #me/$x;1\x01 STATUS DIALOG"); }).empty());
    EXPECT_FALSE(link.SendChatMessage("#me/$x;1 OPEN", "hi"));
    EXPECT_FALSE(link.SendChatMessage("#me/$x;1", "hi\nSET USERSTATUS DND"));
}

TEST_F(HostileTest, MalformedDeviceValuesAreNotKeptForTheRestore)
{
    push("CALL 12 OUTPUT SOUNDCARD=\"default\"\nALTER CALL 12 SET_OUTPUT FILE=\"/etc/x\"");
    push("CALL 12 OUTPUT SOUNDCARD=\"a\" FILE=\"b\"");
    push("CALL 12 INPUT FILE=\"unterminated");
    EXPECT_EQ(call12().savedOutput, "SOUNDCARD=\"default\"");
    EXPECT_EQ(call12().savedInput, "");
    EXPECT_EQ(sentAfter([&] { link.StopVoiceMail(call12()); }),
              (Texts{"ALTER CALL 12 SET_OUTPUT SOUNDCARD=\"default\"", "ALTER CALL 12 SET_INPUT",
                     "ALTER CALL 12 SET_CAPTURE_MIC", "SET USERSTATUS ONLINE"}));
}

TEST_F(HostileTest, PathsThatWouldBreakTheQuotesRefuseTheCapture)
{
    for (const char* path : {"/rec/a\".wav", "/rec/a\n.wav", ""}) {
        handler.forcedPath = path;
        EXPECT_EQ(link.StartVoiceMail(call12(), false), 0u);
        EXPECT_EQ(link.StartRecording(call12()), 0u);
    }
    handler.forcedPath.reset();
    link.setGreeting("/greet/\"quoted\".wav", 500);
    EXPECT_EQ(link.StartVoiceMail(call12(), false), 0u);
    EXPECT_TRUE(transport.sent().empty());
    EXPECT_EQ(call12().flags, CF_RINGING);
}

/// Random and malformed texts through the whole receiving path, with call handling that
/// starts and stops captures to exercise the command layer too.
TEST_F(HostileTest, FuzzedNotificationsNeverBreakTheLinkOrLeakIntoCommands)
{
    struct Busy : CallHandler
    {
        CSkypeLink* link = nullptr;
        std::mt19937* rng = nullptr;
        std::string makeSegmentPath(CSkypeCall& call, SegmentSide) override
        {
            return "/rec/" + call.callId + ".wav";
        }
        void onCallStatus(CSkypeCall& call, CallStatus status, const std::string&) override
        {
            link->setCurrentCall(&call);
            const unsigned dice = (*rng)() % 4;
            if (dice == 0)
                link->StartVoiceMail(call, status == CallStatus::InProgress);
            else if (dice == 1)
                link->StartRecording(call);
            else if (dice == 2) // a conference that later notifications must not break
                call.addParticipant(std::to_string((*rng)() % 50), CF_BUSY_NOTICE, "p");
            if (status == CallStatus::Finished) {
                const std::string id = call.callId;
                link->RemoveCall(id); // the call may be gone after this
            }
        }
        void onCallType(CSkypeCall& call) override { link->startAnswerTimer(call, 1000ms); }
        void onAnswerTimer(CSkypeCall& call) override
        {
            link->stopAnswerTimer(call);
            link->Dispatch(CMD_BUSY_NOTICE, call);
        }
    } handler;
    std::mt19937 rng(20070720);
    handler.link = &link;
    handler.rng = &rng;
    link.setCallHandler(&handler);

    const auto kinds = split("CALL|USER|CONNSTATUS|SKYPEVERSION|USERSTATUS|CURRENTUSERHANDLE|"
                             "AUDIO_IN|AUTOAWAY|CHAT|ALTER CALL|ALTER|USERS|CALLS|PROTOCOL|PONG|"
                             "MENU_ITEM|CHATMESSAGE|ERROR|");
    const auto properties =
        split("STATUS|DURATION|TIMESTAMP|PARTNER_HANDLE|PARTNER_DISPNAME|CONF_ID|TYPE|INPUT|"
              "OUTPUT|CAPTURE_MIC|CONF_PARTICIPANTS_COUNT|CONF_PARTICIPANT|FULLNAME|ONLINESTATUS|"
              "SET_CAPTURE_MIC|SET_OUTPUT|FAILUREREASON|");
    const auto values = split("RINGING|ROUTING|INPROGRESS|LOCALHOLD|REMOTEHOLD|FINISHED|REFUSED|"
                              "MISSED|CANCELLED|BUSY|DIALOG|0|7|-1|4294967296|"
                              "99999999999999999999999|INCOMING_P2P|SOUNDCARD=\"default\"|"
                              "FILE=\"a\"b\"|1 bob INCOMING_P2P INPROGRESS Bob|a, b, , c|| |\r\n|"
                              "ONLINE");
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[rng() % from.size()];
    };
    const auto randomBytes = [&](std::size_t n) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(rng() % 256);
        return s;
    };
    const auto randomId = [&]() -> std::string {
        const unsigned k = rng() % 5;
        return k == 0   ? std::to_string(rng() % 20)
               : k == 1 ? std::to_string(rng())
               : k == 2 ? randomBytes(rng() % 6)
               : k == 3 ? "#me/$" + std::to_string(rng() % 5) + ";1"
                        : "12";
    };

    for (int i = 0; i < 20000; ++i) {
        const unsigned k = rng() % 8;
        std::string text = k == 0 ? randomBytes(rng() % 64) : pick(kinds);
        if (k == 1)
            text += " " + randomBytes(rng() % 3000);
        else if (k > 2)
            text += " " + randomId() + " " + pick(properties) + " " + pick(values) +
                    (rng() % 4 == 0 ? randomBytes(rng() % 8) : "");
        transport.pushText(text);
        if (rng() % 64 == 0)
            loop.advance(std::chrono::milliseconds(rng() % 6000));
        if (!link.isAttached())
            transport.pushAttachStatus(kAttachSuccess);

        ASSERT_LE(link.calls().size(), CSkypeLink::kMaxCalls);
        bool currentFound = link.currentCall() == nullptr;
        for (const auto& call : link.calls()) {
            ASSERT_TRUE(isValidCallId(call.callId)) << call.callId;
            ASSERT_LE(call.participants.size(), CSkypeCall::kMaxParticipants);
            currentFound |= &call == link.currentCall();
        }
        ASSERT_TRUE(currentFound) << "the current call must be one of the list";
    }
    loop.advance(20000ms);
    // Every command is one line, and every command that names a call names a valid one.
    for (const auto& command : transport.sent()) {
        ASSERT_TRUE(isSingleLine(command)) << command;
        for (const std::string prefix : {"GET CALL ", "SET CALL ", "ALTER CALL "}) {
            const std::string rest = command.substr(std::min(prefix.size(), command.size()));
            if (command.starts_with(prefix)) {
                ASSERT_TRUE(isValidCallId(rest.substr(0, rest.find(' ')))) << command;
            }
        }
    }
    EXPECT_EQ(host.exits, 0) << "no number ever came in a PROTOCOL reply below 7";
    link.setCallHandler(nullptr);
}

} // namespace
} // namespace tw::test
