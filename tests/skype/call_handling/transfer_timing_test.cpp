// The call transfer against a Skype whose replies come late and in any relation to its
// notifications: whatever the timing, the caller is never left on hold.
#include <random>

#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

/// The part of Skype a transfer uses, with notifications sent a little after each change and
/// every reply held back for a random time (never overtaking an earlier one).
class TimedSkype
{
public:
    TimedSkype(FakeSkypeTransport& transport, ManualEventLoop& loop, unsigned seed)
        : m_transport(transport), m_loop(loop), m_random(seed)
    {
        m_targetAnswers = m_random() % 3 != 0;
        transport.setReplyDelay([this] { return milliseconds(m_random() % 1500); });
    }

    /// The reply lines to a command, or nullopt for the fake's built-in answer.
    std::optional<std::vector<std::string>> answer(const std::string& command)
    {
        auto& calls = m_transport.client.calls;
        if (command == "SET CALL 400 STATUS INPROGRESS" && status("400") != "FINISHED") {
            change("400", "INPROGRESS");
            return std::vector<std::string>{"CALL 400 STATUS INPROGRESS"};
        }
        if (command == "SET CALL 400 STATUS ONHOLD") {
            // Answered with the state at that moment; the hold follows as a notification.
            change("400", "LOCALHOLD");
            return std::vector<std::string>{"CALL 400 STATUS INPROGRESS"};
        }
        if (command == "CALL boss") {
            calls["500"] = {{"PARTNER_HANDLE", "boss"}, {"TYPE", "OUTGOING_P2P"}};
            change("500", "ROUTING");
            change("500", "RINGING", milliseconds(300));
            change("500", m_targetAnswers ? "INPROGRESS" : "REFUSED",
                   milliseconds(1000 + m_random() % 4000));
            return std::vector<std::string>{"CALL 500 STATUS ROUTING"};
        }
        if (command == "SET CALL 400 JOIN_CONFERENCE 500") {
            calls["400"]["CONF_ID"] = calls["500"]["CONF_ID"] = "17930";
            notify("CALL 400 CONF_ID 17930");
            notify("CALL 500 CONF_ID 17930");
            ++m_joins;
            if (status("400") == "LOCALHOLD")
                change("400", "INPROGRESS");
            return std::vector<std::string>{"CALL 400 CONF_ID 17930"};
        }
        return std::nullopt;
    }

    std::string status(const std::string& id) { return m_transport.client.calls[id]["STATUS"]; }
    bool targetAnswers() const { return m_targetAnswers; }
    int joins() const { return m_joins; }

private:
    void notify(const std::string& text, milliseconds after = milliseconds(0))
    {
        // Notifications leave in the order of the changes, each soon after its change.
        m_lastNote = std::max(m_lastNote, m_loop.now() + after + milliseconds(m_random() % 60));
        m_transport.pushTextAfter(m_lastNote - m_loop.now(), text);
    }
    void change(const std::string& id, const std::string& status,
                milliseconds after = milliseconds(0))
    {
        notify("CALL " + id + " STATUS " + status, after);
        // Skype's own state moves when it says so.
        if (after == milliseconds(0))
            m_transport.client.calls[id]["STATUS"] = status;
        else
            m_later.push_back({m_lastNote, id, status});
    }

public:
    /// Applies the delayed changes that are due by now (called as the clock moves).
    void catchUp()
    {
        std::erase_if(m_later, [this](const Later& l) {
            if (l.due > m_loop.now())
                return false;
            m_transport.client.calls[l.id]["STATUS"] = l.status;
            return true;
        });
    }

private:
    struct Later
    {
        milliseconds due;
        std::string id, status;
    };
    FakeSkypeTransport& m_transport;
    ManualEventLoop& m_loop;
    std::mt19937 m_random;
    bool m_targetAnswers = true;
    int m_joins = 0;
    milliseconds m_lastNote{0};
    std::vector<Later> m_later;
};

using TransferTiming = CallHandlingTest;

TEST_F(TransferTiming, CallerIsNeverLeftOnHoldWhateverTheReplyDelays)
{
    link.setCallTransfer(true, "boss");
    // A caller taken back is hung up, a joined transfer is not recorded: no files to write.
    link.setVoiceMailEnable(false);
    link.setConversationRecord(false, false);
    int joined = 0;
    for (unsigned seed = 1; seed <= 1000; ++seed) {
        transport.client.calls.clear();
        transport.client.nextCallId = 500;
        TimedSkype skype(transport, loop, seed);
        transport.setReplyHook([&](const std::string& command) {
            skype.catchUp();
            return skype.answer(command);
        });
        ring("400", "caller1");
        for (int step = 0; step < 200; ++step) {
            loop.advance(50ms);
            skype.catchUp();
        }
        const std::string caller = skype.status("400");
        ASSERT_NE(caller, "LOCALHOLD") << "seed " << seed;
        if (skype.targetAnswers()) {
            ASSERT_EQ(skype.joins(), 1) << "seed " << seed;
            ++joined;
        } else {
            ASSERT_TRUE(transport.wasSent("SET CALL 400 STATUS FINISHED")) << "seed " << seed;
        }
        // Both sides hang up; the next run starts from nothing.
        for (const std::string id : {"400", "500"})
            if (link.FindCall(id))
                push("CALL " + id + " STATUS FINISHED");
        loop.advance(5000ms);
        ASSERT_TRUE(link.calls().empty()) << "seed " << seed;
        ASSERT_FALSE(link.transferActive()) << "seed " << seed;
        transport.clearSent();
    }
    EXPECT_GT(joined, 500);
}

} // namespace
} // namespace tw::test
