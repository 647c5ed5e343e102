// The Qt D-Bus transport in this process against skype-sim in another one (a blocking call
// to an object served by our own thread would deadlock, so the peer is never in-process).
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusReply>

#include "platform/qt/dbus_skype_transport.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;

namespace {

template <typename T> bool contains(const std::vector<T>& list, const T& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The transport with a short reply time-out (1.5 s instead of 10 s), recording what it reports.
struct Transport : tw::SkypeTransport::Listener
{
    std::vector<std::string> texts, failed, replies;
    std::vector<int> statuses;
    int gone = 0;
    tw::DBusSkypeTransport t{QDBusConnection::sessionBus(),
                             {.reply = 1500ms, .pendingNotice = 200ms}};

    Transport() { t.setListener(this); }
    void onSkypeText(const std::string& text) override { texts.push_back(text); }
    void onAttachStatus(int status) override { statuses.push_back(status); }
    void onSendFailed(const std::string& command) override { failed.push_back(command); }
    void onSkypeReply(const std::string& command, const std::string& reply) override
    {
        replies.push_back(command + " -> " + reply);
        texts.push_back(reply);
    }
    void onClientGone() override { ++gone; }
    bool saw(const std::string& text) const { return contains(texts, text); }
    // Discovers afresh and waits for the status.
    bool discover(int expected)
    {
        statuses.clear();
        t.discover("Tellwick");
        return waitFor([&] { return contains(statuses, expected); });
    }
};

} // namespace

TEST(DBusSkypeTransport, AttachesTalksAndRefusesNotifyFromAnyoneButTheAttachedSkype)
{
    SimProcess sim;
    Transport r;
    ASSERT_TRUE(r.t.isRegistered());
    EXPECT_FALSE(r.t.send("PING")) << "nothing to send to before attaching";
    ASSERT_TRUE(r.discover(0));
    EXPECT_FALSE(contains(r.statuses, 1)) << "an immediate OK is never reported pending";
    const QDBusReply<QString> owner =
        QDBusConnection::sessionBus().interface()->serviceOwner("com.Skype.API");
    EXPECT_EQ(r.t.attachedPeer(), owner.value());
    ASSERT_TRUE(waitFor([&] { return r.saw("USERSTATUS ONLINE"); }));
    EXPECT_EQ(controlList("CommandLog").value(0), "NAME Tellwick");

    // Replies come back through the same path as notifications, in the order sent.
    r.texts.clear();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(r.t.send("#" + std::to_string(i) + " PING"));
    ASSERT_TRUE(waitFor([&] { return r.texts.size() >= 50; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(r.texts[size_t(i)], "#" + std::to_string(i) + " PONG");
    control("SendNotification", {QString::fromUtf8("USER bob FULLNAME Björn Åberg")});
    EXPECT_TRUE(waitFor([&] { return r.saw("USER bob FULLNAME Björn Åberg"); }));

    TestClient intruder("intruder");
    QDBusMessage notify =
        QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                       "/com/Skype/Client", "com.Skype.API.Client", "Notify");
    notify << QStringLiteral("CALL 1 STATUS RINGING");
    // The transport is served by this very thread: call asynchronously and spin.
    QDBusPendingCall pending = intruder.bus().asyncCall(notify, 10000);
    ASSERT_TRUE(waitFor([&] { return pending.isFinished(); }));
    EXPECT_EQ(pending.error().type(), QDBusError::AccessDenied);
    spin(200ms);
    EXPECT_FALSE(r.saw("CALL 1 STATUS RINGING"));
    EXPECT_TRUE(r.failed.empty());

    // After detach even the former Skype is a stranger, and nothing is reported any more.
    r.t.detach();
    r.texts.clear();
    r.statuses.clear();
    control("SendNotification", {"CONNSTATUS ONLINE"});
    control("Ring", {"bob", "", ""});
    spin(500ms);
    EXPECT_TRUE(r.texts.empty());
    EXPECT_FALSE(r.t.send("PING"));
    EXPECT_TRUE(r.statuses.empty());
}

TEST(DBusSkypeTransport, ALostReplyFailsTheSend)
{
    SimProcess sim;
    Transport r;
    ASSERT_TRUE(r.discover(0));
    control("SetSilent", {true});
    ASSERT_TRUE(r.t.send("PING"));
    ASSERT_TRUE(waitFor([&] { return !r.failed.empty(); }));
    EXPECT_EQ(r.failed, std::vector<std::string>{"PING"});
    EXPECT_TRUE(r.t.attachedPeer().isEmpty());
    EXPECT_FALSE(r.t.send("PING")) << "not attached any more";

    control("SetSilent", {false}); // a new handshake brings it back
    ASSERT_TRUE(r.discover(0));
    r.texts.clear();
    ASSERT_TRUE(r.t.send("PING"));
    EXPECT_TRUE(waitFor([&] { return r.saw("PONG"); }));
}

TEST(DBusSkypeTransport, MapsEveryNameAnswerToItsStatus)
{
    Transport r;
    EXPECT_TRUE(r.discover(3)); // nobody owns the name
    EXPECT_EQ(r.statuses, std::vector<int>{3});
    {
        SimProcess sim({"--auth", "refuse"});
        ASSERT_TRUE(waitFor([&] { return contains(r.statuses, 0x8001); })) << "new owner";
        EXPECT_TRUE(r.discover(2));
        EXPECT_EQ(r.statuses, std::vector<int>{2});
        EXPECT_TRUE(r.t.attachedPeer().isEmpty());
        control("SetAuthPolicy", {"offline"});
        EXPECT_TRUE(r.discover(3));
        EXPECT_EQ(r.statuses, std::vector<int>{3});

        // The user takes two seconds: pending once, then success. A discover while the
        // prompt is open asks nothing new.
        control("SetAuthPolicy", {"pending:2"});
        ASSERT_TRUE(r.discover(1));
        r.t.discover("Tellwick");
        ASSERT_TRUE(waitFor([&] { return contains(r.statuses, 0); }));
        EXPECT_EQ(r.statuses, (std::vector<int>{1, 1, 0}));
        EXPECT_EQ(controlList("CommandLog").count("NAME Tellwick"), 3);
        EXPECT_FALSE(r.t.attachedPeer().isEmpty());
    }
    // The sim is gone: the transport forgets it at once.
    ASSERT_TRUE(waitFor([&] { return r.t.attachedPeer().isEmpty(); }));
    EXPECT_FALSE(r.t.send("PING"));
}

TEST(DBusSkypeTransport, StartsSkypeThroughBusActivation)
{
    ASSERT_FALSE(skypeNameOwned());
    Transport r;
    ASSERT_TRUE(r.discover(3));
    r.t.startSkype(); // the service file in the build tree names the built skype-sim
    ASSERT_TRUE(waitFor([&] { return contains(r.statuses, 0x8001); }, 30s));
    EXPECT_TRUE(r.discover(0));
    control("Quit");
    EXPECT_TRUE(waitFor([] { return !skypeNameOwned(); }));
}

TEST(DBusSkypeTransport, LateRepliesFollowTheirNotificationsSurviveAReattachAndARestartIsReported)
{
    SimProcess sim;
    Transport r;
    ASSERT_TRUE(r.discover(0));
    ASSERT_TRUE(waitFor([&] { return r.saw("USERSTATUS ONLINE"); }));

    // The reply leaves 400 ms after the command ran; what it changed is notified at once.
    control("SetReplyDelay", {400, 400});
    r.texts.clear();
    ASSERT_TRUE(r.t.send("SET USERSTATUS DND"));
    ASSERT_TRUE(waitFor([&] { return !r.replies.empty(); }));
    EXPECT_EQ(r.replies, std::vector<std::string>{"SET USERSTATUS DND -> USERSTATUS DND"});
    EXPECT_EQ(r.texts.front(), "USERSTATUS DND") << "the notification came first";

    // The same Skype says OK again while a reply is due: it still comes.
    r.replies.clear();
    ASSERT_TRUE(r.t.send("GET SKYPEVERSION"));
    ASSERT_TRUE(r.discover(0));
    ASSERT_TRUE(waitFor([&] { return !r.replies.empty(); }));
    EXPECT_EQ(r.replies, std::vector<std::string>{"GET SKYPEVERSION -> SKYPEVERSION 2.2.0.35"});

    // Skype crashes and comes back: the transport says it left, then that the API is there.
    control("SetReplyDelay", {0, 0});
    r.statuses.clear();
    control("Restart", {300});
    ASSERT_TRUE(waitFor([&] { return r.gone == 1; }));
    EXPECT_TRUE(r.t.attachedPeer().isEmpty());
    EXPECT_TRUE(waitFor([&] { return contains(r.statuses, int(tw::kAttachApiAvailable)); }));
    ASSERT_TRUE(r.discover(0));
    EXPECT_FALSE(r.t.attachedPeer().isEmpty());
}
