#pragma once

#include <gtest/gtest.h>

#include "fake_skype_transport.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/skype_link.h"

namespace tw::test {

/// Records what the link tells the application.
struct RecordingHost : SkypeLinkHost
{
    int exits = 0;
    int attaches = 0;
    int callStateChanges = 0;
    int contactChanges = 0;
    int sidePanelShows = 0;
    int skypeWindowShows = 0;

    void requestExit() override { ++exits; }
    void skypeAttached() override { ++attaches; }
    void callStateChanged() override { ++callStateChanges; }
    void contactsChanged() override { ++contactChanges; }
    void showSidePanel() override { ++sidePanelShows; }
    void showSkypeMainWindow() override { ++skypeWindowShows; }
};

/// A link on the virtual clock over the fake transport.
class LinkTest : public ::testing::Test
{
protected:
    ManualEventLoop loop;
    FakeSkypeTransport transport{loop};
    RecordingHost host;
    ScriptedPrompt prompt;
    CSkypeLink link{loop, transport, host, prompt};

    /// Create, attach and let the initial queries be answered; the sent log is then cleared.
    void attach()
    {
        ASSERT_TRUE(link.Create());
        loop.runPending();
        ASSERT_TRUE(link.isAttached());
        transport.clearSent();
    }
    void push(const std::string& text) { transport.pushText(text); }
    std::vector<std::string> sentAfter(const std::function<void()>& action)
    {
        const std::size_t mark = transport.sent().size();
        action();
        return transport.sentSince(mark);
    }
};

} // namespace tw::test
