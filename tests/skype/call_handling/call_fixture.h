#pragma once

// Call-handling scenarios on the virtual clock: the link over the in-memory transport, the
// call handling plugged in, and a stand-in for Skype's audio that writes the WAV files the
// link names in its ALTER CALL commands, with sample patterns the test chooses.

#include <map>
#include <sstream>

#include "../record_finishing/wav_util.h"
#include "collecting_sink.h"
#include "fake_skype_transport.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"

namespace tw::test {

namespace fs = std::filesystem;

struct QuietHost : SkypeLinkHost
{
    void requestExit() override {}
};

/// Skype's side of the audio: a capture opens when the link names a FILE for a call's output
/// or microphone and is written out when the link takes that side back (or the call ends).
class SkypeAudio
{
public:
    /// Watches one command; never answers it (the fake's built-in echo does).
    void observe(const std::string& command)
    {
        std::istringstream in(command);
        std::string alter, call, id, property;
        in >> alter >> call >> id >> property;
        if (alter != "ALTER" || call != "CALL" ||
            (property != "SET_OUTPUT" && property != "SET_CAPTURE_MIC"))
            return;
        Capture& side = m_captures[{id, property == "SET_OUTPUT"}];
        close(side);
        if (const auto file = command.find("FILE=\""); file != std::string::npos)
            side.path = command.substr(file + 6, command.find('"', file + 6) - file - 6);
    }
    /// The other parties (and, in a conversation, the local microphone) say something.
    void speak(const std::string& id, const std::vector<std::int16_t>& others,
               const std::vector<std::int16_t>& mic = {})
    {
        for (auto [side, samples] : {std::pair{true, &others}, std::pair{false, &mic}})
            if (Capture& c = m_captures[{id, side}]; !c.path.empty())
                c.samples.insert(c.samples.end(), samples->begin(), samples->end());
    }
    void hangUp(const std::string& id)
    {
        for (bool output : {true, false})
            close(m_captures[{id, output}]);
    }

private:
    struct Capture
    {
        std::string path; ///< empty while not capturing
        std::vector<std::int16_t> samples;
    };
    static void close(Capture& c)
    {
        EXPECT_TRUE(c.path.empty() || writeWav(c.path, c.samples)) << c.path;
        c = Capture{};
    }
    std::map<std::pair<std::string, bool>, Capture> m_captures; ///< by call id and output side
};

class CallHandlingTest : public ::testing::Test, protected TestFolder
{
protected:
    // 2007-07-20 14:58:06 UTC at virtual time 0.
    static constexpr std::time_t kWallStart = 1184943486;

    ManualEventLoop loop{kWallStart};
    FakeSkypeTransport transport{loop};
    QuietHost host;
    ScriptedPrompt prompt;
    CSkypeLink link{loop, transport, host, prompt};
    CallHandling handling{link, loop};
    CollectingSink sink;
    SkypeAudio audio;
    const std::string greeting = path("greeting.wav");

    void SetUp() override
    {
        ASSERT_TRUE(writeWav(greeting, ramp(80000, 0))); // 5 s: a length of 500
        link.setRecordsFolder((dir / "records").string());
        handling.setRecordSink(&sink);
        handling.SetGreetingFile(greeting);
        link.setCallHandler(&handling);
        transport.setReplyHook([this](const std::string& command) {
            audio.observe(command);
            return std::optional<std::vector<std::string>>();
        });
        transport.client.contacts = {{"caller1", "Caller One"}, {"caller2", "Caller Two"}};
        ASSERT_TRUE(link.Create());
        loop.runPending();
        ASSERT_TRUE(link.isAttached());
    }

    void TearDown() override { link.Shutdown(); }

    void push(const std::string& text)
    {
        transport.pushText(text);
        loop.runPending();
    }
    /// An incoming call from handle starts ringing; its details are answered at once.
    void ring(const std::string& id, const std::string& handle)
    {
        transport.client.calls[id] = {
            {"TYPE", "INCOMING_P2P"},
            {"PARTNER_HANDLE", handle},
            {"PARTNER_DISPNAME", handle == "caller1" ? "Caller One" : "Caller Two"},
            {"STATUS", "RINGING"}};
        push("CALL " + id + " STATUS RINGING");
    }
    /// The caller hangs up: Skype closes the files, then reports the end.
    void finish(const std::string& id)
    {
        audio.hangUp(id);
        transport.client.calls.erase(id);
        push("CALL " + id + " STATUS FINISHED");
    }
    /// Lets the record worker finish and its reports reach the loop.
    void settle()
    {
        handling.waitForRecordWork();
        loop.runPending();
    }
    using Texts = std::vector<std::string>;
    Texts sentAfter(const std::function<void()>& action)
    {
        const std::size_t mark = transport.sent().size();
        action();
        // The keep-alive's PING after 5 s of silence is the link's business, not a call's.
        auto sent = transport.sentSince(mark);
        std::erase(sent, std::string("PING"));
        return sent;
    }
    std::string today() const { return (dir / "records" / "2007-07-20").string(); }
    /// No greeting played and no DND set: nothing of a voice mail.
    static bool noVoiceMail(const Texts& sent)
    {
        return std::none_of(sent.begin(), sent.end(), [](const std::string& c) {
            return c.find("SET_INPUT") != std::string::npos || c == "SET USERSTATUS DND";
        });
    }
};

} // namespace tw::test
