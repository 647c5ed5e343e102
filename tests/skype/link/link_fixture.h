#pragma once

#include <gtest/gtest.h>

#include "fake_skype_transport.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/skype_link.h"

namespace tw::test {

using Texts = std::vector<std::string>;

/// Records what the link tells the application.
struct RecordingHost : SkypeLinkHost
{
    int exits = 0;
    int attaches = 0;
    int skypeWindowShows = 0;

    void requestExit() override { ++exits; }
    void skypeAttached() override { ++attaches; }
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

/// Call handling as far as the call operations need it.
struct SegmentHandler : CallHandler
{
    int segments = 0;
    std::optional<std::string> forcedPath; ///< what every segment is called instead

    std::string makeSegmentPath(CSkypeCall& call, SegmentSide side) override
    {
        if (forcedPath)
            return *forcedPath;
        return "/rec/ti" + call.callId + "-" + std::to_string(++segments) +
               (side == SegmentSide::Output ? "o" : "m") + ".wav";
    }
};

/// Attached, with call 12 from bob ringing and call handling that names segments.
class CallTest : public LinkTest
{
protected:
    SegmentHandler handler;

    void SetUp() override
    {
        link.setCallHandler(&handler);
        link.setGreeting("/greet/default.wav", 500);
        attach();
        push("CURRENTUSERHANDLE me");
        push("USERSTATUS ONLINE");
        push("CALL 12 STATUS RINGING");
        push("CALL 12 PARTNER_HANDLE bob");
        push("CALL 12 OUTPUT SOUNDCARD=\"default\"");
        loop.runPending();
        transport.clearSent();
    }
    void TearDown() override { link.setCallHandler(nullptr); }
    CSkypeCall& call12() { return *link.FindCall("12"); }
};

} // namespace tw::test
