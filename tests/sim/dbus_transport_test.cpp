// The Qt D-Bus transport in this process against skype-sim in another one (a blocking call
// to an object served by our own thread would deadlock, so the peer is never in-process).
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusReply>

#include "platform/qt/dbus_skype_transport.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;
using tw::DBusSkypeTransport;

namespace {

struct Recorder : tw::SkypeTransport::Listener
{
    std::vector<std::string> texts;
    std::vector<int> statuses;
    std::vector<std::string> failed;
    void onSkypeText(const std::string& t) override { texts.push_back(t); }
    void onAttachStatus(int s) override { statuses.push_back(s); }
    void onSendFailed(const std::string& c) override { failed.push_back(c); }
    bool saw(const std::string& t) const
    {
        return std::find(texts.begin(), texts.end(), t) != texts.end();
    }
    bool gotStatus(int s) const
    {
        return std::find(statuses.begin(), statuses.end(), s) != statuses.end();
    }
};

DBusSkypeTransport::Timeouts quick()
{
    DBusSkypeTransport::Timeouts t;
    t.pendingNotice = 200ms;
    t.reply = 1500ms;
    return t;
}

QString skypeOwner()
{
    QDBusReply<QString> owner =
        QDBusConnection::sessionBus().interface()->serviceOwner("com.Skype.API");
    return owner.isValid() ? owner.value() : QString();
}

} // namespace

TEST(DBusSkypeTransport, AttachesSendsInOrderAndReceivesNotifications)
{
    SimProcess sim;
    Recorder r;
    DBusSkypeTransport t(QDBusConnection::sessionBus(), quick());
    ASSERT_TRUE(t.isRegistered());
    t.setListener(&r);
    EXPECT_FALSE(t.send("PING")) << "nothing to send to before attaching";

    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));
    EXPECT_EQ(t.attachedPeer(), skypeOwner());
    EXPECT_FALSE(r.gotStatus(1)) << "an immediate OK is never reported pending";
    ASSERT_TRUE(waitFor([&] { return r.saw("USERSTATUS ONLINE"); }));
    EXPECT_EQ(controlList("CommandLog").value(0), "NAME Tellwick");

    // Replies come back through the same path as notifications, in the order sent.
    r.texts.clear();
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(t.send("#" + std::to_string(i) + " PING"));
    ASSERT_TRUE(waitFor([&] { return r.texts.size() >= 50; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(r.texts[size_t(i)], "#" + std::to_string(i) + " PONG");

    // Notifications of the sim's own making, non-ASCII text intact.
    control("SendNotification", {QString::fromUtf8("USER bob FULLNAME Björn Åberg")});
    EXPECT_TRUE(waitFor([&] { return r.saw("USER bob FULLNAME Björn Åberg"); }));
    EXPECT_TRUE(r.failed.empty());
}

TEST(DBusSkypeTransport, RefusesNotifyFromAnyoneButTheAttachedSkype)
{
    SimProcess sim;
    Recorder r;
    DBusSkypeTransport t(QDBusConnection::sessionBus(), quick());
    t.setListener(&r);
    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));

    TestClient intruder("intruder");
    QDBusMessage notify =
        QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                       "/com/Skype/Client", "com.Skype.API.Client", "Notify");
    notify << QStringLiteral("CALL 1 STATUS RINGING");
    // The transport is served by this very thread: call asynchronously and spin.
    QDBusPendingCall pending = intruder.bus().asyncCall(notify, 10000);
    ASSERT_TRUE(waitFor([&] { return pending.isFinished(); }));
    EXPECT_TRUE(pending.isError());
    EXPECT_EQ(pending.error().type(), QDBusError::AccessDenied);
    spin(200ms);
    EXPECT_FALSE(r.saw("CALL 1 STATUS RINGING"));

    // After detach even the former Skype is a stranger, and nothing is reported any more.
    t.detach();
    r.texts.clear();
    r.statuses.clear();
    control("SendNotification", {"CONNSTATUS ONLINE"});
    control("Ring", {"bob", "", ""});
    spin(500ms);
    EXPECT_TRUE(r.texts.empty());
    EXPECT_FALSE(t.send("PING"));
    EXPECT_TRUE(r.statuses.empty());
}

TEST(DBusSkypeTransport, MapsEveryNameAnswerToItsStatus)
{
    Recorder r;
    DBusSkypeTransport t(QDBusConnection::sessionBus(), quick());
    t.setListener(&r);

    t.discover("Tellwick"); // nobody owns the name
    ASSERT_TRUE(waitFor([&] { return !r.statuses.empty(); }));
    EXPECT_EQ(r.statuses, std::vector<int>{3});

    {
        SimProcess sim({"--auth", "refuse"});
        ASSERT_TRUE(waitFor([&] { return r.gotStatus(0x8001); })) << "a new owner is announced";
        r.statuses.clear();
        t.discover("Tellwick");
        ASSERT_TRUE(waitFor([&] { return !r.statuses.empty(); }));
        EXPECT_EQ(r.statuses, std::vector<int>{2});
        EXPECT_TRUE(t.attachedPeer().isEmpty());

        control("SetAuthPolicy", {"offline"});
        r.statuses.clear();
        t.discover("Tellwick");
        ASSERT_TRUE(waitFor([&] { return !r.statuses.empty(); }));
        EXPECT_EQ(r.statuses, std::vector<int>{3});

        // The user takes two seconds: pending once, then success. A discover while the
        // prompt is open asks nothing new.
        control("SetAuthPolicy", {"pending:2"});
        r.statuses.clear();
        t.discover("Tellwick");
        ASSERT_TRUE(waitFor([&] { return r.gotStatus(1); }));
        t.discover("Tellwick");
        ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));
        EXPECT_EQ(r.statuses, (std::vector<int>{1, 1, 0}));
        EXPECT_EQ(controlList("CommandLog").count("NAME Tellwick"), 3);
        EXPECT_FALSE(t.attachedPeer().isEmpty());
    }
    // The sim is gone: the transport forgets it at once.
    ASSERT_TRUE(waitFor([&] { return t.attachedPeer().isEmpty(); }));
    EXPECT_FALSE(t.send("PING"));
}

TEST(DBusSkypeTransport, ALostReplyFailsTheSend)
{
    SimProcess sim;
    Recorder r;
    DBusSkypeTransport t(QDBusConnection::sessionBus(), quick()); // 1.5 s instead of 10 s
    t.setListener(&r);
    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));

    control("SetSilent", {true});
    ASSERT_TRUE(t.send("PING"));
    ASSERT_TRUE(waitFor([&] { return !r.failed.empty(); }));
    EXPECT_EQ(r.failed, std::vector<std::string>{"PING"});
    EXPECT_TRUE(t.attachedPeer().isEmpty());
    EXPECT_FALSE(t.send("PING")) << "not attached any more";

    // A new handshake brings it back.
    control("SetSilent", {false});
    r.statuses.clear();
    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));
    r.texts.clear();
    ASSERT_TRUE(t.send("PING"));
    EXPECT_TRUE(waitFor([&] { return r.saw("PONG"); }));
}

TEST(DBusSkypeTransport, StartsSkypeThroughBusActivation)
{
    ASSERT_FALSE(skypeNameOwned());
    Recorder r;
    DBusSkypeTransport t(QDBusConnection::sessionBus(), quick());
    t.setListener(&r);
    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(3); }));
    t.startSkype(); // the service file in the build tree names the built skype-sim
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0x8001); }, 30s));
    t.discover("Tellwick");
    ASSERT_TRUE(waitFor([&] { return r.gotStatus(0); }));
    control("Quit");
    EXPECT_TRUE(waitFor([] { return !skypeNameOwned(); }));
}
