#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "skype/skype_transport.h"

namespace tw::test {

/// What the fake client knows and answers from (auto-reply). Tests change it freely.
struct FakeSkypeClient
{
    struct Contact
    {
        std::string handle, fullName, onlineStatus = "ONLINE";
    };

    int protocol = 7;
    std::string userStatus = "ONLINE";
    std::string handle = "me", fullName = "Me Myself";
    std::vector<Contact> contacts;
    /// call id -> property -> value, as "GET CALL" answers it. Missing properties of a known
    /// call get the usual defaults (CONF_ID 0, OUTPUT SOUNDCARD="default", CAPTURE_MIC empty).
    std::map<std::string, std::map<std::string, std::string>> calls;
    int nextCallId = 100;
    /// Whether the client says VAA_INPUT_STATUS when it starts playing an input file.
    bool greetingStatus = true;
    /// Chat messages the link posted: {chat name, text}.
    std::vector<std::pair<std::string, std::string>> chatMessages;
};

/// An in-memory SkypeTransport on the test's event loop (normally a ManualEventLoop).
///
/// Everything the link sends is recorded. The test pushes notifications and attach statuses,
/// which reach the link at once; replies to commands arrive later through the loop, as on the
/// bus (posted), in the order the commands were sent. The fake answers like a client from
/// `client`. Lost replies, refused sends and delivery failures after the bus timeout can be
/// simulated, and so can what a real bus does to a long call: replies held back behind slow
/// ones while notifications pass them, a re-attach mid-call, the client vanishing and a new
/// one appearing.
class FakeSkypeTransport : public SkypeTransport, private TimerClient
{
public:
    /// What a send does besides being recorded. Normal: accepted, auto-reply if on. LoseReply:
    /// accepted, no reply ever comes. Refuse: send() returns false at once. FailLater: accepted,
    /// onSendFailed after the bus timeout (10 s), the client lost.
    enum class SendMode { Normal, LoseReply, Refuse, FailLater };

    explicit FakeSkypeTransport(EventLoop& loop) : m_loop(loop) {}
    ~FakeSkypeTransport() override;

    // SkypeTransport
    void setListener(Listener* listener) override { m_listener = listener; }
    void startSkype() override { ++m_startSkypeCount; }
    void discover(const std::string& clientName) override;
    bool send(const std::string& utf8) override;
    void detach() override;

    // ---- driving the link ----

    /// Delivers a notification now (whether or not attached: the link decides).
    void pushText(const std::string& text);
    /// Delivers an attach status now; success also makes the fake attached.
    void pushAttachStatus(int status);
    /// How discover() is answered (posted): a status, or nothing at all (nullopt).
    void answerDiscoverWith(std::optional<int> status) { m_discoverAnswer = status; }

    /// The next `count` sends use mode, then Normal returns.
    void setSendModeFor(int count, SendMode mode)
    {
        m_sendMode = mode;
        m_modeCount = count;
    }
    /// Consulted before the built-in answers: a list of reply lines (possibly empty, meaning
    /// no reply) or nullopt for the built-in answer.
    using ReplyHook = std::function<std::optional<std::vector<std::string>>(const std::string&)>;
    void setReplyHook(ReplyHook hook) { m_replyHook = std::move(hook); }
    /// The lost client: detached, every send refused, discover unanswered.
    void loseClient();

    /// Each reply is held back for delay() on the virtual clock, and never overtakes the reply
    /// of an earlier command (null: replies come with the next posted tasks).
    void setReplyDelay(std::function<std::chrono::milliseconds()> delay)
    {
        m_replyDelay = std::move(delay);
    }
    /// A notification that reaches the link after delay on the virtual clock.
    void pushTextAfter(std::chrono::milliseconds delay, const std::string& text);
    /// The same client answers a new attach while attached (as after a missed PONG): replies
    /// still due stay due.
    void reattach() { pushAttachStatus(kAttachSuccess); }
    /// The client quits or crashes: replies due are dropped, the link hears it left, sends are
    /// refused and discover finds nobody until newClientAppears().
    void clientVanishes();
    /// A client (a restarted one) takes the bus name: the link hears that the API is available
    /// and discover is answered with success again.
    void newClientAppears();

    FakeSkypeClient client;

    // ---- what happened ----

    const std::vector<std::string>& sent() const { return m_sent; }
    /// Sent commands from index `from` on (use sent().size() as a mark).
    std::vector<std::string> sentSince(std::size_t from) const;
    void clearSent() { m_sent.clear(); }
    int countSent(const std::string& text) const;
    bool wasSent(const std::string& text) const { return countSent(text) > 0; }
    int discoverCount() const { return static_cast<int>(m_discoverNames.size()); }
    const std::vector<std::string>& discoverNames() const { return m_discoverNames; }
    int startSkypeCount() const { return m_startSkypeCount; }

private:
    /// The built-in client's reply lines to one command (empty: no reply).
    std::vector<std::string> builtInReply(const std::string& command);
    std::vector<std::string> alterReply(const std::string& command);
    /// "CALL id VAA_INPUT_STATUS TRUE|FALSE" once an input file plays into an answered call.
    std::optional<std::string> greetingStatus(const std::string& id);
    void onTimer(int id) override;
    SendMode currentMode();
    void deliverDue();
    void armDeliveryTimer();

    struct Delivery
    {
        std::chrono::milliseconds due;
        std::uint64_t generation;
        std::string command; ///< empty: a notification
        std::vector<std::string> texts;
    };
    /// Replies in send order, then notifications in due order: what the delivery timer runs.
    std::deque<Delivery> m_replies;
    std::multimap<std::chrono::milliseconds, Delivery> m_notes;
    std::function<std::chrono::milliseconds()> m_replyDelay;

    EventLoop& m_loop;
    Listener* m_listener = nullptr;
    bool m_attached = false;
    std::uint64_t m_generation = 0; ///< bumps when the client is lost; stale deliveries drop
    std::optional<int> m_discoverAnswer = kAttachSuccess;
    SendMode m_sendMode = SendMode::Normal;
    int m_modeCount = 0;
    ReplyHook m_replyHook;
    std::vector<std::string> m_sent;
    std::vector<std::string> m_discoverNames;
    int m_startSkypeCount = 0;
    std::pair<std::uint64_t, std::string> m_failing; ///< the FailLater send and its generation
    int m_chatCounter = 0;
    std::map<std::string, std::string> m_inputFiles; ///< call id -> input file not yet played
};

} // namespace tw::test
