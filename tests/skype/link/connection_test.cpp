// Attach, keep-alive, sending and receiving, the protocol check and shutdown.
#include "link_fixture.h"

using namespace std::chrono_literals;

namespace tw::test {
namespace {

TEST_F(LinkTest, AttachRetriesEveryTenSecondsThenRunsTheInitialQueriesOnce)
{
    transport.answerDiscoverWith(std::nullopt); // nobody answers
    ASSERT_TRUE(link.Create());
    EXPECT_EQ(transport.startSkypeCount(), 1);
    loop.advance(29999ms);
    EXPECT_EQ(transport.discoverNames(), std::vector<std::string>(3, "Tellwick"));

    for (int status :
         {int(kAttachPendingAuthorization), int(kAttachRefused), int(kAttachNotAvailable), 42})
        transport.pushAttachStatus(status);
    EXPECT_FALSE(link.isAttached());
    EXPECT_TRUE(transport.sent().empty());

    transport.pushAttachStatus(kAttachSuccess);
    EXPECT_EQ(transport.sent(), (std::vector<std::string>{
                                    "GET SKYPEVERSION", "GET USERSTATUS", "GET CURRENTUSERHANDLE",
                                    "GET AUDIO_IN", "GET AUDIO_OUT", "GET AUTOAWAY", "PROTOCOL 7",
                                    "SEARCH FRIENDS", "SEARCH ACTIVECALLS"}));
    EXPECT_EQ(host.attaches, 1);
    loop.advance(60000ms); // the client answers every PING: no discover at all
    EXPECT_EQ(transport.discoverCount(), 3);
}

TEST_F(LinkTest, PingAfterFiveSecondsOfSilenceAndADiscoverAfterALostPong)
{
    attach(); // the replies to the initial queries restarted the keep-alive at t = 0
    loop.advance(4999ms);
    EXPECT_EQ(transport.countSent("PING"), 0);
    loop.advance(1ms);
    EXPECT_EQ(transport.countSent("PING"), 1);
    EXPECT_TRUE(link.pingOutstanding());
    // The PONG arrived at once (t = 5 s). The tick at 10 s only clears the state.
    loop.advance(9999ms);
    EXPECT_EQ(transport.countSent("PING"), 1);
    EXPECT_FALSE(link.pingOutstanding());
    transport.setSendModeFor(1, FakeSkypeTransport::SendMode::LoseReply);
    loop.advance(1ms);
    EXPECT_EQ(transport.countSent("PING"), 2);
    loop.advance(4999ms);
    EXPECT_EQ(transport.discoverCount(), 1);
    loop.advance(1ms);
    EXPECT_EQ(transport.discoverCount(), 2);
    // The client answers the discover: attached again, with the initial queries repeated.
    EXPECT_TRUE(link.isAttached());
    EXPECT_EQ(transport.countSent("SEARCH ACTIVECALLS"), 1);
    EXPECT_EQ(host.attaches, 2);
}

TEST_F(LinkTest, ALostClientIsSoughtEveryTenSeconds)
{
    attach();
    transport.loseClient(); // gone: sends fail, discovers go unanswered
    loop.advance(10000ms);
    EXPECT_FALSE(link.isAttached());
    const int lost = transport.discoverCount();
    loop.advance(30000ms);
    EXPECT_EQ(transport.discoverCount(), lost + 3);
    transport.answerDiscoverWith(kAttachSuccess);
    loop.advance(10000ms);
    EXPECT_TRUE(link.isAttached());
}

TEST_F(LinkTest, RefusedAndFailedSendsDetachTheLinkAndItsTextsAreIgnored)
{
    EXPECT_FALSE(link.SendText("GET USERSTATUS")) << "not attached: fails at once";
    EXPECT_TRUE(transport.sent().empty());

    attach();
    transport.setSendModeFor(1, FakeSkypeTransport::SendMode::Refuse);
    EXPECT_FALSE(link.SendText("GET USERSTATUS"));
    EXPECT_FALSE(link.isAttached());
    push("SKYPEVERSION 9.9");
    EXPECT_EQ(link.skypeVersion(), "8.0.0.1") << "nothing is parsed while not attached";

    transport.pushAttachStatus(kAttachApiAvailable);
    loop.runPending(); // discover at once, and the client answers
    EXPECT_TRUE(link.isAttached());
    transport.setSendModeFor(1, FakeSkypeTransport::SendMode::FailLater);
    EXPECT_TRUE(link.SendText("GET AUTOAWAY"));
    loop.advance(9999ms);
    EXPECT_TRUE(link.isAttached());
    loop.advance(1ms);
    EXPECT_FALSE(link.isAttached());
}

TEST_F(LinkTest, OnlyTheFirstProtocolNumberIsCheckedAndSixOrLessClosesTheProgram)
{
    transport.setReplyHook([](const std::string& command) {
        return command.starts_with("PROTOCOL") ? std::optional(std::vector<std::string>{})
                                               : std::nullopt;
    });
    attach();
    push("PROTOCOL"); // no number: says nothing, must not close the program
    push("PROTOCOL x7");
    EXPECT_EQ(link.protocolVersion(), -1);
    push("PROTOCOL 6");
    push("PROTOCOL 9");
    EXPECT_EQ(link.protocolVersion(), 6);
    ASSERT_EQ(prompt.messages().size(), 1u);
    EXPECT_EQ(prompt.messages()[0].text, "Your Skype version is not supported. Please upgrade "
                                         "Skype to version 3.0 or later version.");
    EXPECT_EQ(host.exits, 1);
}

TEST_F(LinkTest, TextsOverTenTwentyFourUtf16UnitsAreDroppedButCountAsLife)
{
    attach();
    const auto version = [&](const std::string& v) {
        push("SKYPEVERSION " + v); // 13 units
        return link.skypeVersion();
    };
    EXPECT_EQ(version(std::string(1011, 'a')), std::string(1011, 'a'));
    EXPECT_EQ(version(std::string(1012, 'b')), std::string(1011, 'a')) << "1025 units: dropped";
    // U+20AC is 3 UTF-8 bytes but one unit; U+1F600 is 4 bytes and two units.
    std::string euros, smileys;
    for (int i = 0; i < 1011; ++i)
        euros += "\xE2\x82\xAC";
    for (int i = 0; i < 505; ++i)
        smileys += "\xF0\x9F\x98\x80";
    EXPECT_EQ(version(euros), euros) << "3033 bytes, 1024 units: kept";
    EXPECT_EQ(version(smileys + "c"), smileys + "c") << "1024 units: kept";
    EXPECT_EQ(version(smileys + "\xF0\x9F\x98\x80"), smileys + "c")
        << "a pair that would be units 1024 and 1025: dropped";

    loop.advance(4000ms);
    push("SKYPEVERSION " + std::string(5000, 'x'));
    loop.advance(4000ms);
    EXPECT_EQ(transport.countSent("PING"), 0);
}

TEST_F(LinkTest, ContactListOfHundredsOfContactsIsOneTextAndIsKept)
{
    attach();
    // 400 contacts of 20 characters: about 8 800 units in one reply.
    std::string list = "USERS ";
    for (int i = 0; i < 400; ++i)
        list += (i ? ", " : "") + std::string("contact.number.") + std::to_string(10000 + i);
    push(list);
    EXPECT_EQ(link.users().size(), 400u);
    EXPECT_NE(link.findUser("contact.number.10399"), nullptr);
    // A hostile peer still cannot make one text of any size.
    push("USERS " + std::string(CSkypeLink::kMaxUsersListUnits, 'z'));
    EXPECT_EQ(link.users().size(), 400u);
}

TEST_F(LinkTest, ReceivedTextsEndAtTheirFirstZeroByteAndBadUtf8IsReplaced)
{
    attach();
    push(std::string("SKYPEVERSION 1.2\0 evil", 22));
    EXPECT_EQ(link.skypeVersion(), "1.2");
    push("SKYPEVERSION a\xFF"
         "b");
    EXPECT_EQ(link.skypeVersion(), "a\xEF\xBF\xBD"
                                   "b");
}

} // namespace
} // namespace tw::test
