// skype-sim on its own against a tiny D-Bus client: attach policies, replies, notifications.
#include <gtest/gtest.h>

#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "sim/redirect_value.h"
#include "sim/sim_script.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;

TEST(SkypeSim, NameHandshakeFollowsThePolicy)
{
    SimProcess sim;
    ASSERT_TRUE(skypeNameOwned());

    TestClient client("attach");
    EXPECT_EQ(client.invoke("PING"), "ERROR 68") << "commands before NAME are refused";
    EXPECT_EQ(client.invoke("NAME Tellwick"), "OK");
    ASSERT_TRUE(client.waitForNote("USERSTATUS ONLINE"));
    EXPECT_EQ(client.notes.mid(0, 3),
              QStringList({"CONNSTATUS ONLINE", "CURRENTUSERHANDLE alice", "USERSTATUS ONLINE"}));
    EXPECT_EQ(client.invoke("PING"), "PONG");

    control("SetAuthPolicy", {"refuse"});
    TestClient refused("refused");
    EXPECT_EQ(refused.invoke("NAME Tellwick"), "ERROR 68");
    EXPECT_EQ(refused.invoke("GET USERSTATUS"), "ERROR 68");

    control("SetAuthPolicy", {"offline"});
    TestClient offline("offline");
    EXPECT_EQ(offline.invoke("NAME Tellwick"), "CONNSTATUS OFFLINE");

    EXPECT_EQ(control("SetAuthPolicy", {"maybe"}).type(), QDBusMessage::ErrorMessage);

    // Pending: the answer comes late, but it comes, with the command id kept.
    control("SetAuthPolicy", {"pending:2"});
    TestClient late("late");
    QDBusMessage call =
        QDBusMessage::createMethodCall("com.Skype.API", "/com/Skype", "com.Skype.API", "Invoke");
    call << QStringLiteral("#0 NAME Tellwick");
    QElapsedTimer clock;
    clock.start();
    QDBusPendingCall pending = late.bus().asyncCall(call, 20000);
    spin(500ms);
    EXPECT_FALSE(pending.isFinished()) << "answered before the user could decide";
    ASSERT_TRUE(waitFor([&] { return pending.isFinished(); }, 20s));
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_EQ(pending.reply().arguments().value(0).toString(), "#0 OK");
    EXPECT_TRUE(late.waitForNote("CONNSTATUS ONLINE"));
    EXPECT_EQ(controlList("Clients").size(), 2); // "attach" and "late"
}

TEST(SkypeSim, AnswersQueriesLikeTheRealClient)
{
    SimProcess sim({"--protocol", "8"});
    TestClient c("queries");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");

    EXPECT_EQ(c.invoke("GET SKYPEVERSION"), "SKYPEVERSION 2.2.0.35");
    EXPECT_EQ(c.invoke("GET CURRENTUSERHANDLE"), "CURRENTUSERHANDLE alice");
    EXPECT_EQ(c.invoke("GET AUDIO_IN"), "AUDIO_IN Built-in Audio Analog Stereo");
    EXPECT_EQ(c.invoke("GET AUTOAWAY"), "AUTOAWAY ON");
    EXPECT_EQ(c.invoke("PROTOCOL 7"), "PROTOCOL 7");
    EXPECT_EQ(c.invoke("PROTOCOL 99"), "PROTOCOL 8") << "the lower of asked and supported";
    EXPECT_EQ(c.invoke("SEARCH FRIENDS"), "USERS bob, carol, dave");
    EXPECT_EQ(c.invoke("SEARCH ACTIVECALLS"), "CALLS ") << "an empty list keeps its space";
    EXPECT_EQ(c.invoke("GET USER bob FULLNAME"), "USER bob FULLNAME Bob Brown");
    EXPECT_EQ(c.invoke("GET USER carol ONLINESTATUS"), "USER carol ONLINESTATUS AWAY");
    EXPECT_EQ(c.invoke("GET USER alice FULLNAME"), "USER alice FULLNAME Alice Anders");
    EXPECT_EQ(c.invoke("GET USER nobody ONLINESTATUS"), "USER nobody ONLINESTATUS UNKNOWN");
    EXPECT_EQ(c.invoke("#17 GET USERSTATUS"), "#17 USERSTATUS ONLINE");
    EXPECT_EQ(c.invoke("get userstatus"), "USERSTATUS ONLINE") << "keywords in any case";

    EXPECT_TRUE(c.invoke("FROBNICATE").startsWith("ERROR 2 "));
    EXPECT_TRUE(c.invoke("GET NOTHING").startsWith("ERROR 7 "));
    EXPECT_TRUE(c.invoke("GET CALL x TYPE").startsWith("ERROR 11 "));
    EXPECT_TRUE(c.invoke("GET CALL 999 TYPE").startsWith("ERROR 12 "));
    EXPECT_TRUE(c.invoke("#3 SET USERSTATUS SLEEPY").startsWith("#3 ERROR 28 "));
    EXPECT_EQ(c.invoke("SET MUTE ON"), "MUTE OFF") << "nothing to mute without a call";

    c.notes.clear();
    EXPECT_EQ(c.invoke("SET USERSTATUS DND"), "USERSTATUS DND");
    ASSERT_TRUE(c.waitForNote("USER alice ONLINESTATUS DND"));
    EXPECT_TRUE(c.notes.contains("USERSTATUS DND"));
    EXPECT_EQ(c.invoke("GET USERSTATUS"), "USERSTATUS DND");

    // Contacts coming and changing are notified; the friends list grows.
    control("SetContact", {"erin", "Erin Ek", "na"});
    ASSERT_TRUE(c.waitForNote("USER erin ONLINESTATUS NA"));
    EXPECT_TRUE(c.notes.contains("USER erin FULLNAME Erin Ek"));
    EXPECT_EQ(c.invoke("SEARCH FRIENDS"), "USERS bob, carol, dave, erin");
    EXPECT_EQ(control("SetContact", {"erin", "", "SLEEPY"}).type(), QDBusMessage::ErrorMessage);

    // Every command is in the log, exactly as received.
    const QStringList log = controlList("CommandLog");
    EXPECT_TRUE(log.contains("#17 GET USERSTATUS"));
    EXPECT_EQ(log.first(), "NAME Tellwick");
}

TEST(SkypeSim, ChatsGetDialogNamesAndMessagesAreLogged)
{
    SimProcess sim;
    TestClient c("chats");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");

    const QString reply = c.invoke("CHAT CREATE bob DIALOG");
    const QRegularExpression dialog("^CHAT (#alice/\\$bob;[0-9a-f]{16}) STATUS DIALOG$");
    const auto m = dialog.match(reply);
    ASSERT_TRUE(m.hasMatch()) << reply.toStdString();
    EXPECT_EQ(c.invoke("CHAT CREATE bob DIALOG"), reply) << "one dialog per partner";

    const QString sending = c.invoke("CHATMESSAGE " + m.captured(1) + " Hello, bob: two  spaces");
    const QRegularExpression sendingRe("^CHATMESSAGE (\\d+) STATUS SENDING$");
    const auto sm = sendingRe.match(sending);
    ASSERT_TRUE(sm.hasMatch()) << sending.toStdString();
    EXPECT_TRUE(c.waitForNote("CHATMESSAGE " + sm.captured(1) + " STATUS SENT"));
    EXPECT_EQ(controlList("ChatLog"), QStringList({m.captured(1) + " Hello, bob: two  spaces"}));
    EXPECT_EQ(c.invoke("OPEN CHAT " + m.captured(1)), "OPEN CHAT " + m.captured(1));

    // Somebody else opens a chat with us: its name starts with their handle.
    const QString theirs = control("IncomingChat", {"carol"}).arguments().value(0).toString();
    EXPECT_TRUE(theirs.startsWith("#carol/$alice;"));
    EXPECT_TRUE(c.waitForNote("CHAT " + theirs + " STATUS DIALOG"));
}

TEST(SkypeSim, IncomingCallGoesThroughItsStates)
{
    SimProcess sim({"--first-call-id", "212"});
    TestClient c("calls");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");

    const int id = control("Ring", {"bob", "", ""}).arguments().value(0).toInt();
    ASSERT_EQ(id, 212);
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS RINGING"));
    EXPECT_LT(c.notes.indexOf("CALL 212 CONF_ID 0"), c.notes.indexOf("CALL 212 STATUS RINGING"));

    EXPECT_EQ(c.invoke("SEARCH ACTIVECALLS"), "CALLS 212");
    EXPECT_EQ(c.invoke("GET CALL 212 TYPE"), "CALL 212 TYPE INCOMING_P2P");
    EXPECT_EQ(c.invoke("GET CALL 212 PARTNER_HANDLE"), "CALL 212 PARTNER_HANDLE bob");
    EXPECT_EQ(c.invoke("GET CALL 212 PARTNER_DISPNAME"), "CALL 212 PARTNER_DISPNAME Bob Brown");
    EXPECT_EQ(c.invoke("GET CALL 212 CONF_ID"), "CALL 212 CONF_ID 0");
    EXPECT_EQ(c.invoke("GET CALL 212 OUTPUT"), "CALL 212 OUTPUT SOUNDCARD=\"default\"");
    EXPECT_EQ(c.invoke("GET CALL 212 CAPTURE_MIC"), "CALL 212 CAPTURE_MIC ");
    EXPECT_EQ(c.invoke("GET CALL 212 STATUS"), "CALL 212 STATUS RINGING");
    EXPECT_TRUE(c.invoke("GET CALL 212 COLOUR").startsWith("ERROR 13 "));
    EXPECT_TRUE(c.invoke("SET CALL 212 STATUS ONHOLD").startsWith("ERROR 22 "));

    EXPECT_EQ(c.invoke("SET CALL 212 STATUS INPROGRESS"), "CALL 212 STATUS INPROGRESS");
    ASSERT_TRUE(c.waitForNote("CALL 212 DURATION 2"));
    EXPECT_TRUE(c.notes.contains("CALL 212 DURATION 1"));

    c.notes.clear();
    EXPECT_EQ(c.invoke("SET CALL 212 STATUS ONHOLD"), "CALL 212 STATUS INPROGRESS");
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS LOCALHOLD"));
    EXPECT_EQ(c.invoke("SET CALL 212 STATUS INPROGRESS"), "CALL 212 STATUS INPROGRESS");
    control("RemoteHold", {"bob"});
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS REMOTEHOLD"));
    control("Resume", {"212"});
    control("HangUp", {"bob"});
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS FINISHED"));
    EXPECT_TRUE(c.invoke("SET CALL 212 STATUS FINISHED").startsWith("ERROR 24 "));
    EXPECT_EQ(c.invoke("SEARCH ACTIVECALLS"), "CALLS ");

    // Declined while ringing: REFUSED. Caller gives up: MISSED. A telephone number: PSTN.
    control("Ring", {"carol", "", ""});
    ASSERT_TRUE(c.waitForNote("CALL 213 STATUS RINGING"));
    EXPECT_EQ(c.invoke("SET CALL 213 STATUS FINISHED"), "CALL 213 STATUS REFUSED");
    control("Ring", {"+15551234567", "Pat Phone", ""});
    ASSERT_TRUE(c.waitForNote("CALL 214 STATUS RINGING"));
    EXPECT_EQ(c.invoke("GET CALL 214 TYPE"), "CALL 214 TYPE INCOMING_PSTN");
    EXPECT_EQ(c.invoke("GET CALL 214 PARTNER_DISPNAME"), "CALL 214 PARTNER_DISPNAME Pat Phone");
    control("HangUp", {"214"});
    EXPECT_TRUE(c.waitForNote("CALL 214 STATUS MISSED"));
    EXPECT_EQ(control("Answer", {"214"}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(control("Answer", {"nobody"}).type(), QDBusMessage::ErrorMessage);
}

TEST(SkypeSim, OutgoingCallsAndConferences)
{
    SimProcess sim({"--answer-after", "-1"});
    TestClient c("conference");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");

    EXPECT_EQ(c.invoke("CALL carol"), "CALL 100 STATUS UNPLACED");
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS RINGING"));
    EXPECT_LT(c.notes.indexOf("CALL 100 STATUS ROUTING"),
              c.notes.indexOf("CALL 100 STATUS RINGING"));
    EXPECT_EQ(c.invoke("GET CALL 100 TYPE"), "CALL 100 TYPE OUTGOING_P2P");
    control("Answer", {"carol"}); // the far end takes it
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS INPROGRESS"));

    control("Ring", {"bob", "", ""});
    ASSERT_TRUE(c.waitForNote("CALL 101 STATUS RINGING"));
    c.invoke("SET CALL 101 STATUS INPROGRESS");
    c.invoke("SET CALL 100 STATUS ONHOLD");
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS LOCALHOLD"));

    c.notes.clear();
    const QString reply = c.invoke("SET CALL 101 JOIN_CONFERENCE 100");
    ASSERT_TRUE(reply.startsWith("CALL 101 CONF_ID ")) << reply.toStdString();
    const QString conf = reply.section(' ', 3);
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS INPROGRESS")) << "the held leg resumes";
    EXPECT_TRUE(c.notes.contains("CALL 100 CONF_ID " + conf));
    EXPECT_EQ(c.invoke("GET CALL 100 CONF_PARTICIPANTS_COUNT"),
              "CALL 100 CONF_PARTICIPANTS_COUNT 2");
    EXPECT_EQ(c.invoke("GET CALL 101 CONF_PARTICIPANT 2"),
              "CALL 101 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob Brown");
    EXPECT_TRUE(c.invoke("SET CALL 101 JOIN_CONFERENCE 555").startsWith("ERROR"));

    // Hanging up an outgoing call that still rings cancels it.
    c.invoke("CALL dave");
    ASSERT_TRUE(c.waitForNote("CALL 102 STATUS RINGING"));
    EXPECT_EQ(c.invoke("SET CALL 102 STATUS FINISHED"), "CALL 102 STATUS CANCELLED");
}

TEST(RedirectValue, ParsesTargetsAndPathsWithCommasAndQuotes)
{
    using tw::sim::parseRedirectValue;
    std::vector<tw::sim::RedirectTarget> t;
    ASSERT_TRUE(parseRedirectValue("", &t));
    EXPECT_TRUE(t.empty());
    ASSERT_TRUE(parseRedirectValue("SOUNDCARD=\"default\", FILE=\"/tmp/a, b \"c\".wav\"", &t));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].kind, "SOUNDCARD");
    EXPECT_EQ(t[1].value, "/tmp/a, b \"c\".wav");
    ASSERT_TRUE(parseRedirectValue("file=\"x\", PORT=\"7\"", &t));
    EXPECT_EQ(t[0].kind, "FILE");
    EXPECT_EQ(t[1].value, "7");
    EXPECT_FALSE(parseRedirectValue("FILE=x", &t));
    EXPECT_FALSE(parseRedirectValue("FILE=\"unterminated", &t));
    EXPECT_FALSE(parseRedirectValue("DISK=\"x\"", &t));
    EXPECT_FALSE(parseRedirectValue("FILE=\"a\" junk", &t));
}

TEST(SimScript, ParsesTimesAndRefusesBadLinesByNumber)
{
    tw::sim::SimScript s;
    QString error;
    ASSERT_TRUE(s.parse("# comment\n\n1.5 ring bob \"Bob B\" voice=/x.wav\n+2 answer bob\n"
                        "4 hangup 100\n",
                        &error))
        << error.toStdString();
    ASSERT_EQ(s.steps().size(), 3u);
    EXPECT_EQ(s.steps()[0].atMs, 1500);
    EXPECT_EQ(s.steps()[0].words, QStringList({"ring", "bob", "Bob B", "voice=/x.wav"}));
    EXPECT_EQ(s.steps()[1].atMs, 3500);
    EXPECT_EQ(s.steps()[2].atMs, 4000);

    EXPECT_FALSE(s.parse("1 ring bob\n2 explode\n", &error));
    EXPECT_TRUE(error.startsWith("2:"));
    EXPECT_FALSE(s.parse("5 ring bob\n3 answer bob\n", &error)) << "time order";
    EXPECT_FALSE(s.parse("soon ring bob\n", &error));
    EXPECT_FALSE(s.parse("1 join bob\n", &error)) << "join needs two calls";
}

TEST(SimScript, RunsFromTheFirstAttach)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("scenario.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0.2 ring carol\n+0.3 answer carol\n+0.3 status AWAY\n+0.2 hangup carol\n");
    f.close();

    SimProcess sim({"--script", path});
    TestClient c("scripted");
    spin(500ms);
    EXPECT_EQ(controlList("Calls"), QStringList()) << "nothing before somebody attaches";
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS FINISHED"));
    const QStringList order = {"CALL 100 STATUS RINGING", "CALL 100 STATUS INPROGRESS",
                               "USERSTATUS AWAY", "CALL 100 STATUS FINISHED"};
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(c.notes.indexOf(order[i - 1]), c.notes.indexOf(order[i]));
}
