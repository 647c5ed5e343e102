// skype-sim on its own against a tiny D-Bus client: attach policies, replies, notifications.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "sim/redirect_value.h"
#include "sim/sim_script.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;

namespace {

// Each command with the exact reply it must get.
void expectReplies(TestClient& c, const std::vector<std::pair<QString, QString>>& table)
{
    for (const auto& [command, reply] : table)
        EXPECT_EQ(c.invoke(command), reply) << command.toStdString();
}

// Each command with the error number its reply must start with.
void expectErrors(TestClient& c, const std::vector<std::pair<QString, QString>>& table)
{
    for (const auto& [command, error] : table)
        EXPECT_TRUE(c.invoke(command).startsWith(error)) << command.toStdString();
}

} // namespace

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
    expectReplies(refused, {{"NAME Tellwick", "ERROR 68"}, {"GET USERSTATUS", "ERROR 68"}});
    EXPECT_EQ(control("SetAuthPolicy", {"maybe"}).type(), QDBusMessage::ErrorMessage);
    // The offline and pending policies are followed through the transport's own test.
}

TEST(SkypeSim, AnswersQueriesLikeTheRealClient)
{
    SimProcess sim({"--protocol", "8"});
    TestClient c("queries");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    // The answers to the link's initial queries are checked by the link's own test.
    expectReplies(c, {{"PROTOCOL 99", "PROTOCOL 8"},    // the lower of asked and supported
                      {"SEARCH ACTIVECALLS", "CALLS "}, // an empty list keeps its space
                      {"GET USER nobody ONLINESTATUS", "USER nobody ONLINESTATUS UNKNOWN"},
                      {"#17 GET USERSTATUS", "#17 USERSTATUS ONLINE"},
                      {"get userstatus", "USERSTATUS ONLINE"}, // keywords in any case
                      {"SET MUTE ON", "MUTE OFF"}});           // nothing to mute without a call
    expectErrors(c, {{"FROBNICATE", "ERROR 2 "},
                     {"GET NOTHING", "ERROR 7 "},
                     {"GET CALL x TYPE", "ERROR 11 "},
                     {"GET CALL 999 TYPE", "ERROR 12 "},
                     {"#3 SET USERSTATUS SLEEPY", "#3 ERROR 28 "}});

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

    const QStringList log = controlList("CommandLog"); // every command, exactly as received
    EXPECT_EQ(log.first(), "NAME Tellwick");
    EXPECT_TRUE(log.contains("#17 GET USERSTATUS"));
}

TEST(SkypeSim, ChatsGetDialogNamesAndMessagesAreLogged)
{
    SimProcess sim;
    TestClient c("chats");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    const QString reply = c.invoke("CHAT CREATE bob DIALOG");
    const auto m =
        QRegularExpression("^CHAT (#alice/\\$bob;[0-9a-f]{16}) STATUS DIALOG$").match(reply);
    ASSERT_TRUE(m.hasMatch()) << reply.toStdString();

    const QString sending = c.invoke("CHATMESSAGE " + m.captured(1) + " Hello, bob: two  spaces");
    const auto sm = QRegularExpression("^CHATMESSAGE (\\d+) STATUS SENDING$").match(sending);
    ASSERT_TRUE(sm.hasMatch()) << sending.toStdString();
    EXPECT_TRUE(c.waitForNote("CHATMESSAGE " + sm.captured(1) + " STATUS SENT"));
    EXPECT_EQ(controlList("ChatLog"), QStringList({m.captured(1) + " Hello, bob: two  spaces"}));

    // Somebody else writes to us from the command line: the chat's name starts with their
    // handle, and the message can be read.
    QProcess ctl;
    ctl.start(QStringLiteral(SKYPE_SIM_PATH), {"ctl", "chat", "carol"});
    ASSERT_TRUE(ctl.waitForFinished(10000));
    const QString theirs = QString::fromUtf8(ctl.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(theirs.startsWith("#carol/$alice;")) << theirs.toStdString();
    EXPECT_TRUE(c.waitForNote("CHAT " + theirs + " STATUS DIALOG"));
    const QString received =
        QString("CHATMESSAGE %1 STATUS RECEIVED").arg(sm.captured(1).toInt() + 1);
    ASSERT_TRUE(c.waitForNote(received));
    const QString id = received.section(' ', 1, 1);
    EXPECT_EQ(c.invoke("GET CHATMESSAGE " + id + " BODY"), "CHATMESSAGE " + id + " BODY Hello");
    EXPECT_EQ(c.invoke("GET CHATMESSAGE " + id + " CHATNAME"),
              "CHATMESSAGE " + id + " CHATNAME " + theirs);
}

TEST(SkypeSim, IncomingCallGoesThroughItsStates)
{
    SimProcess sim({"--first-call-id", "212"});
    TestClient c("calls");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    ASSERT_EQ(control("Ring", {"bob", "", ""}).arguments().value(0).toInt(), 212);
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS RINGING"));
    EXPECT_LT(c.notes.indexOf("CALL 212 CONF_ID 0"), c.notes.indexOf("CALL 212 STATUS RINGING"));
    expectReplies(c, {{"SEARCH ACTIVECALLS", "CALLS 212"},
                      {"GET CALL 212 OUTPUT", "CALL 212 OUTPUT SOUNDCARD=\"default\""},
                      {"GET CALL 212 CAPTURE_MIC", "CALL 212 CAPTURE_MIC "},
                      {"SET CALL 212 STATUS INPROGRESS", "CALL 212 STATUS INPROGRESS"}});
    expectErrors(c, {{"GET CALL 212 COLOUR", "ERROR 13 "}});
    ASSERT_TRUE(c.waitForNote("CALL 212 DURATION 2"));

    EXPECT_EQ(c.invoke("SET CALL 212 STATUS ONHOLD"), "CALL 212 STATUS INPROGRESS");
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS LOCALHOLD"));
    c.invoke("SET CALL 212 STATUS INPROGRESS");
    control("RemoteHold", {"bob"});
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS REMOTEHOLD"));
    control("HangUp", {"bob"});
    ASSERT_TRUE(c.waitForNote("CALL 212 STATUS FINISHED"));
    expectErrors(c, {{"SET CALL 212 STATUS FINISHED", "ERROR 24 "}});

    // Declined while ringing: REFUSED. Caller gives up: MISSED. A telephone number: PSTN.
    control("Ring", {"carol", "", ""});
    ASSERT_TRUE(c.waitForNote("CALL 213 STATUS RINGING"));
    EXPECT_EQ(c.invoke("SET CALL 213 STATUS FINISHED"), "CALL 213 STATUS REFUSED");
    control("Ring", {"+15551234567", "Pat Phone", ""});
    ASSERT_TRUE(c.waitForNote("CALL 214 STATUS RINGING"));
    EXPECT_EQ(c.invoke("GET CALL 214 TYPE"), "CALL 214 TYPE INCOMING_PSTN");
    control("HangUp", {"214"});
    EXPECT_TRUE(c.waitForNote("CALL 214 STATUS MISSED"));
    EXPECT_EQ(control("Answer", {"214"}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(c.invoke("SEARCH ACTIVECALLS"), "CALLS ");
}

TEST(SkypeSim, OutgoingCallsAndConferences)
{
    SimProcess sim({"--answer-after", "-1"});
    TestClient c("conference");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    EXPECT_EQ(c.invoke("CALL carol"), "CALL 100 STATUS UNPLACED");
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS RINGING"));
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
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS INPROGRESS")) << "the held leg resumes";
    EXPECT_TRUE(c.notes.contains("CALL 100 CONF_ID " + reply.section(' ', 3)));
    expectReplies(c,
                  {{"GET CALL 100 CONF_PARTICIPANTS_COUNT", "CALL 100 CONF_PARTICIPANTS_COUNT 2"},
                   {"GET CALL 101 CONF_PARTICIPANT 2",
                    "CALL 101 CONF_PARTICIPANT 2 bob INCOMING_P2P INPROGRESS Bob Brown"}});
    expectErrors(c, {{"SET CALL 101 JOIN_CONFERENCE 555", "ERROR"}});

    c.invoke("CALL dave"); // hanging up an outgoing call that still rings cancels it
    ASSERT_TRUE(c.waitForNote("CALL 102 STATUS RINGING"));
    EXPECT_EQ(c.invoke("SET CALL 102 STATUS FINISHED"), "CALL 102 STATUS CANCELLED");
}

TEST(RedirectValue, ParsesTargetsAndPathsWithCommasAndQuotes)
{
    std::vector<tw::sim::RedirectTarget> t;
    ASSERT_TRUE(tw::sim::parseRedirectValue("SOUNDCARD=\"default\", file=\"/a, b \"c\".wav\"", &t));
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].kind + "=" + t[1].value, "FILE=/a, b \"c\".wav");
    for (const char* bad : {"FILE=x", "FILE=\"unterminated", "DISK=\"x\"", "FILE=\"a\" junk"})
        EXPECT_FALSE(tw::sim::parseRedirectValue(bad, &t)) << bad;
}

TEST(SimScript, ParsesTimesAndRefusesBadLinesByNumber)
{
    tw::sim::SimScript s;
    QString error;
    ASSERT_TRUE(
        s.parse("# comment\n\n1.5 ring bob \"Bob B\" voice=/x.wav\n+2 answer bob\n", &error))
        << error.toStdString();
    ASSERT_EQ(s.steps().size(), 2u);
    EXPECT_EQ(s.steps()[0].atMs, 1500);
    EXPECT_EQ(s.steps()[0].words, QStringList({"ring", "bob", "Bob B", "voice=/x.wav"}));
    EXPECT_EQ(s.steps()[1].atMs, 3500);
    for (const char* bad : {"1 ring bob\n2 explode\n", "5 ring bob\n3 answer bob\n",
                            "1 ring bob\nsoon ring bob\n", "1 ring bob\n2 join bob\n"}) {
        EXPECT_FALSE(s.parse(bad, &error)) << bad;
        EXPECT_TRUE(error.startsWith("2:")) << bad << error.toStdString();
    }
}

TEST(SimScript, RunsFromTheFirstAttach)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("scenario.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0.2 ring carol\n+0.3 answer carol\n+0.3 status AWAY\n+0.2 hangup carol\n"
            "+0.1 chat bob \"Hi there\"\n");
    f.close();
    SimProcess sim({"--script", f.fileName()});
    TestClient c("scripted");
    spin(500ms);
    EXPECT_EQ(controlList("Calls"), QStringList()) << "nothing before somebody attaches";
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS FINISHED"));
    const QStringList order = {"CALL 100 STATUS RINGING", "CALL 100 STATUS INPROGRESS",
                               "USERSTATUS AWAY", "CALL 100 STATUS FINISHED"};
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(c.notes.indexOf(order[i - 1]), c.notes.indexOf(order[i]));
    ASSERT_TRUE(c.waitForNote("CHATMESSAGE 401 STATUS RECEIVED"));
    EXPECT_EQ(c.invoke("GET CHATMESSAGE 401 BODY"), "CHATMESSAGE 401 BODY Hi there");
}
