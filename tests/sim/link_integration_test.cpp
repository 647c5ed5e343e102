// The whole Skype link (CSkypeLink on the Qt event loop, the D-Bus transport) against
// skype-sim in another process on a private session bus. The keep-alive and protocol rules
// are tested on the virtual clock in tests/skype.
#include <gtest/gtest.h>

#include "platform/qt/dbus_skype_transport.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/skype_commands.h"
#include "skype/skype_link.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;
using namespace tw;

namespace {

struct Host : SkypeLinkHost
{
    int attaches = 0;
    void requestExit() override { ADD_FAILURE() << "the link closed the program"; }
    void skypeAttached() override { ++attaches; }
};

/// The link as the application wires it.
struct Link
{
    QtEventLoop loop;
    DBusSkypeTransport transport{QDBusConnection::sessionBus()};
    Host host;
    ScriptedPrompt prompt;
    CSkypeLink link{loop, transport, host, prompt};

    Link() { link.Create(); }
    ~Link() { link.Shutdown(); }

    const CSkypeUser* user(const char* handle) const { return link.findUser(handle); }
};

bool hasFlag(const CSkypeCall* call, std::uint32_t flag)
{
    return call && (call->flags & flag);
}

} // namespace

TEST(SkypeLinkOverDBus, AttachesQueriesAndTracksContactsAndCalls)
{
    SimProcess sim;
    Link l;
    ASSERT_TRUE(waitFor([&] { return l.link.isAttached(); }));
    EXPECT_EQ(l.host.attaches, 1);

    // The initial queries, answered: Skype's facts and the contacts with names and states.
    ASSERT_TRUE(waitFor([&] {
        const CSkypeUser* dave = l.user("dave");
        return dave && dave->fullName == "Dave Dunn" && l.link.currentUserFullName() != "";
    }));
    EXPECT_EQ(l.link.skypeVersion(), "2.2.0.35");
    EXPECT_EQ(l.link.currentUserHandle(), "alice");
    EXPECT_EQ(l.link.currentUserFullName(), "Alice Anders");
    EXPECT_EQ(l.link.userStatus(), "ONLINE");
    EXPECT_EQ(l.link.protocolVersion(), 7);
    EXPECT_TRUE(l.link.connectionOnline());
    ASSERT_TRUE(waitFor([&] { return l.user("carol") && l.user("carol")->onlineStatus == 2; }));
    EXPECT_EQ(l.user("bob")->onlineStatus, 1u);
    EXPECT_TRUE(controlList("CommandLog").contains("SEARCH ACTIVECALLS")); // the last query

    // A contact changes; an incoming call is followed through its life.
    control("SetContact", {"bob", "", "DND"});
    EXPECT_TRUE(waitFor([&] { return l.user("bob")->onlineStatus == 4; }));

    control("Ring", {"bob", "", ""});
    ASSERT_TRUE(waitFor([&] {
        CSkypeCall* c = l.link.FindCall("100");
        return c && c->direction == 1 && c->partnerDispName == "Bob Brown";
    }));
    EXPECT_TRUE(hasFlag(l.link.FindCall("100"), CF_RINGING));
    control("Answer", {"100"});
    EXPECT_TRUE(waitFor([&] { return hasFlag(l.link.FindCall("100"), CF_INPROGRESS); }));
    EXPECT_TRUE(waitFor([&] { return l.link.FindCall("100")->durationSec >= 1; }));
    control("HangUp", {"100"});
    EXPECT_TRUE(waitFor([&] { return l.link.FindCall("100") == nullptr; }));
    EXPECT_TRUE(l.prompt.messages().empty());
}

TEST(SkypeLinkOverDBus, ReattachesWhenSkypeComesBack)
{
    auto sim = std::make_unique<SimProcess>();
    Link l;
    ASSERT_TRUE(waitFor([&] { return l.link.isAttached(); }));
    const QString first = l.transport.attachedPeer();

    sim.reset(); // killed: it never says goodbye
    ASSERT_TRUE(waitFor([&] { return l.transport.attachedPeer().isEmpty(); }));
    sim = std::make_unique<SimProcess>();
    ASSERT_TRUE(sim->running());
    ASSERT_TRUE(waitFor(
        [&] {
            return !l.transport.attachedPeer().isEmpty() && l.transport.attachedPeer() != first;
        },
        30s));
    EXPECT_TRUE(l.link.isAttached());
    EXPECT_TRUE(waitFor([] { return controlList("CommandLog").contains("SEARCH ACTIVECALLS"); }));
    EXPECT_GE(l.host.attaches, 2);
}

TEST(SkypeLinkOverDBus, TheBusyNoticeReadsBackAsSent)
{
    SimProcess sim;
    Link l;
    ASSERT_TRUE(waitFor([&] { return l.link.isAttached(); }));
    control("Ring", {"carol", "", ""});
    ASSERT_TRUE(waitFor([&] {
        const CSkypeCall* c = l.link.FindCall("100");
        return c && c->partnerHandle == "carol" && l.link.currentUserHandle() == "alice";
    }));
    l.link.Dispatch(CMD_BUSY_NOTICE, *l.link.FindCall("100"));
    ASSERT_TRUE(waitFor([] { return !controlList("ChatLog").isEmpty(); }));

    // Any other client of the API reads the message as Tellwick sent it.
    TestClient reader("reader");
    ASSERT_EQ(reader.invoke("NAME Reader"), "OK");
    ASSERT_EQ(reader.invoke("SEARCH CHATMESSAGES carol"), "CHATMESSAGES 401");
    EXPECT_EQ(reader.invoke("GET CHATMESSAGE 401 BODY"),
              QString("CHATMESSAGE 401 BODY ") + kTextBusyNotice);
    EXPECT_EQ(reader.invoke("GET CHATMESSAGE 401 FROM_HANDLE"),
              "CHATMESSAGE 401 FROM_HANDLE alice");
    EXPECT_TRUE(reader.invoke("GET CHATMESSAGE 401 CHATNAME")
                    .startsWith("CHATMESSAGE 401 CHATNAME #alice/$carol;"));
    EXPECT_TRUE(waitFor([&] {
        return reader.invoke("GET CHATMESSAGE 401 STATUS") == "CHATMESSAGE 401 STATUS SENT";
    }));
    EXPECT_TRUE(l.prompt.messages().empty());
}
