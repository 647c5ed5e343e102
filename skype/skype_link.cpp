// The connection: attach, keep-alive, sending and receiving texts, shutdown.
#include "skype/skype_link.h"

#include <algorithm>
#include <utility>

#include "app/trace.h"
#include "platform/utf.h"
#include "skype/skype_notify.h"
#include "skype/skype_text.h"

namespace tw {
namespace {

bool isAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

CSkypeLink::CSkypeLink(EventLoop& loop, SkypeTransport& transport, SkypeLinkHost& host,
                       Prompt& prompt)
    : m_loop(loop), m_transport(transport), m_host(host), m_prompt(prompt)
{
    m_transport.setListener(this);
}

CSkypeLink::~CSkypeLink()
{
    m_loop.killTimers(this);
    m_loop.killTimers(&m_callTimers);
    m_transport.setListener(nullptr);
}

void CSkypeLink::setCallHandler(CallHandler* handler)
{
    m_handler = handler ? handler : &m_basicTracking;
}

bool CSkypeLink::Create()
{
    if (m_created)
        return true;
    m_created = true;
    m_shutDown = false;
    m_transport.startSkype();
    postDiscover();
    m_loop.startTimer(this, TIMER_ID_ATTACH_RETRY, kAttachRetryPeriod);
    m_attachRetryRunning = true;
    return true;
}

void CSkypeLink::PrepareShutdown(std::function<void()> done, std::chrono::milliseconds bound)
{
    if (m_shutDown) {
        if (done)
            done();
        return;
    }
    m_handler->onExitRequested();
    m_exitDone = std::move(done);
    m_exitDeadline = m_loop.now() + bound;
    m_loop.startTimer(this, TIMER_ID_EXIT_WAIT, kExitWaitTick);
    checkExitReady();
}

void CSkypeLink::checkExitReady()
{
    if (!m_exitDone)
        return;
    const bool waiting = m_attached && m_loop.now() < m_exitDeadline &&
                         std::any_of(m_calls.begin(), m_calls.end(), [](const CSkypeCall& c) {
                             return c.has(CF_STOP_PENDING) && c.stopEchoesDue;
                         });
    if (waiting)
        return;
    m_loop.killTimer(this, TIMER_ID_EXIT_WAIT);
    std::exchange(m_exitDone, {})();
}

void CSkypeLink::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_loop.killTimer(this, TIMER_ID_EXIT_WAIT);
    m_exitDone = {};
    m_loop.killTimer(this, TIMER_ID_ATTACH_RETRY);
    m_attachRetryRunning = false;
    m_loop.killTimer(this, TIMER_ID_PING);
    Dispatch(CMD_SEND_SKYPE_CLOSE_INFO);
    m_attached = false;
    m_transport.detach();
    trace(2, "Disconnect");
    m_loop.killTimers(&m_callTimers);
    for (auto& call : m_calls)
        call.answerTimer = false;
    m_handler->onShutdown();
}

void CSkypeLink::postDiscover()
{
    m_loop.post([this] { discoverNow(); });
}

void CSkypeLink::discoverNow()
{
    if (m_shutDown)
        return;
    trace(2, "Connect");
    m_transport.discover(kClientName);
}

void CSkypeLink::onAttachStatus(int status)
{
    if (m_shutDown)
        return;
    switch (status) {
    case kAttachSuccess:
        if (m_attachRetryRunning) {
            m_loop.killTimer(this, TIMER_ID_ATTACH_RETRY);
            m_attachRetryRunning = false;
        }
        m_attached = true;
        trace(1, "Connected");
        // The keep-alive runs from the attach on: a client that attaches and then dies
        // before saying anything is noticed too (the retry timer has stopped by now).
        m_pingOutstanding = false;
        m_pongReceived = false;
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
        // Whatever ended while we were away is no longer listed by this attach's query.
        m_callsAtAttach.clear();
        for (const auto& call : m_calls) {
            m_callsAtAttach.push_back(call.callId);
            for (const auto& p : call.participants)
                m_callsAtAttach.push_back(p.callId);
        }
        m_callSweepDue = true;
        Dispatch(CMD_SEND_SKYPE_INIT_INFO, std::string_view());
        if (m_statusRestoreDue) {
            // Before GET USERSTATUS, so that its answer is the user's status, not our DND.
            m_statusRestoreDue = false;
            RestoreUserStatus();
        }
        Dispatch(CMD_GET_SKYPE_INFO);
        m_host.skypeAttached();
        break;
    case kAttachPendingAuthorization:
        trace(1, "Pending authorization");
        break;
    case kAttachRefused:
    case kAttachNotAvailable:
        trace(1, "Skype API is not available");
        break;
    case kAttachApiAvailable:
        trace(1, "Skype API is available");
        postDiscover();
        break;
    default:
        break;
    }
}

void CSkypeLink::markNotAttached()
{
    m_attached = false;
    m_awaited.clear(); // the transport owes no reply any more
    for (auto& call : m_calls)
        call.stopEchoesDue = 0;
}

void CSkypeLink::onClientGone()
{
    if (m_shutDown)
        return;
    trace(1, "Skype left");
    markNotAttached();
    // Its calls went with it: each ends as a FINISHED would end it, keeping what was written.
    endCallsNotListed(nullptr);
}

void CSkypeLink::endCallsNotListed(const std::vector<std::string>* listed)
{
    std::vector<std::string> gone;
    if (listed) {
        for (const auto& id : m_callsAtAttach)
            if (std::find(listed->begin(), listed->end(), id) == listed->end())
                gone.push_back(id);
    } else {
        for (const auto& call : m_calls) {
            for (const auto& p : call.participants)
                gone.push_back(p.callId);
            gone.push_back(call.callId);
        }
    }
    m_callsAtAttach.clear();
    for (const auto& id : gone) {
        if (!FindCall(id))
            continue;
        tracef(2, "CALL %s: gone from Skype, ended", id.c_str());
        handleCallStatus(id, "FINISHED");
    }
}

void CSkypeLink::RestoreUserStatus()
{
    m_userStatusTracking = true;
    if (m_userStatus.empty())
        return;
    if (!m_attached || !SendFormat("SET USERSTATUS %s", m_userStatus))
        m_statusRestoreDue = true;
}

bool CSkypeLink::SendText(std::string_view text)
{
    trace(2, text);
    if (!isSingleLine(text)) {
        trace(2, "SendText: refused a command that is not a single line");
        return false;
    }
    if (!m_attached || !m_transport.send(std::string(text))) {
        markNotAttached();
        return false;
    }
    // A peer that never answers must not make this grow without end; a command forgotten
    // here only makes its reply count as older than every notification (see replyIsStale).
    if (m_awaited.size() >= 4096)
        m_awaited.pop_front();
    m_awaited.push_back({std::string(text), m_noteSeq});
    return true;
}

bool CSkypeLink::SendFormat(std::string_view format, std::string_view a, std::string_view b,
                            std::string_view c)
{
    const std::string_view args[3] = {a, b, c};
    if (!formatCommand(m_outText, format, args, 3)) {
        tracef(2, "SendFormat: refused a value for \"%.*s\"", static_cast<int>(format.size()),
               format.data());
        return false;
    }
    // SendText may run handlers that format again; send a copy of the shared buffer.
    const std::string text = m_outText;
    return SendText(text);
}

void CSkypeLink::onSendFailed(const std::string& command)
{
    tracef(2, "Send failed: %s", command.c_str());
    markNotAttached();
}

std::string_view CSkypeLink::normaliseText(std::string_view text, std::string& storage) const
{
    // The text ends at its first zero byte, as the wire format always had it.
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);
    const std::size_t limit = text.starts_with("USERS ") ? kMaxUsersListUnits : kMaxTextUnits;
    // A UTF-16 unit needs at least one and at most three UTF-8 bytes (invalid bytes become one
    // replacement unit each), so short texts pass and long ones fail without counting.
    if (text.size() > 3 * limit)
        return {};
    if (isAscii(text))
        return text.size() > limit ? std::string_view() : text;
    const std::u16string wide = toUtf16(text);
    if (wide.size() > limit)
        return {};
    storage = toUtf8(wide);
    return storage;
}

void CSkypeLink::parseReceived(std::string_view text)
{
    trace(1, text);
    OnNotification(text);
    if (!m_shutDown)
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
    checkExitReady(); // this may have been the last acknowledgement the exit waits for
}

void CSkypeLink::onSkypeText(const std::string& utf8)
{
    // Texts that arrive while not attached come from a client the link has given up on.
    if (!m_attached || m_shutDown)
        return;
    std::string storage;
    const std::string_view text = normaliseText(utf8, storage);
    const std::uint64_t seq = ++m_noteSeq;
    // Note which states this notification is the newest word on (a call it creates too).
    std::string statusOf;
    if (text.starts_with("CALL ")) {
        const SkypeNotification n = SplitNotification(text);
        if (n.property == "STATUS")
            statusOf = n.id;
    } else if (text.starts_with("USERSTATUS ")) {
        m_userStatusNoteSeq = seq;
    }
    parseReceived(text);
    if (!statusOf.empty() && FindCall(statusOf))
        m_statusNoteSeq[statusOf] = seq;
}

void CSkypeLink::onSkypeReply(const std::string& command, const std::string& reply)
{
    if (!m_attached || m_shutDown)
        return;
    // Replies come in the order the commands went out; commands before this one whose reply
    // never came are forgotten on the way.
    std::uint64_t sentAt = 0;
    while (!m_awaited.empty()) {
        Awaited front = std::move(m_awaited.front());
        m_awaited.pop_front();
        if (front.command == command) {
            sentAt = front.sentAt;
            break;
        }
    }
    std::string storage;
    const std::string_view text = normaliseText(reply, storage);
    if (text != command && command.starts_with("ALTER CALL ")) {
        // A stop answered with an error never echoes: its echo is no longer due.
        const SkypeNotification n = SplitNotification(command);
        CSkypeCall* call = FindCall(n.id);
        if (call && n.property == "SET_CAPTURE_MIC" && call->stopEchoesDue > 0)
            --call->stopEchoesDue;
    }
    if (replyIsStale(text, sentAt)) {
        tracef(1, "%.*s (an older state than the last notification: ignored)",
               static_cast<int>(text.size()), text.data());
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
        return;
    }
    parseReceived(text);
    if (m_callSweepDue && command == "SEARCH ACTIVECALLS" && text.starts_with("CALLS")) {
        m_callSweepDue = false;
        std::vector<std::string> listed;
        std::string_view list = text.size() > 6 ? text.substr(6) : std::string_view();
        while (!list.empty()) {
            const auto comma = list.find(", ");
            listed.emplace_back(list.substr(0, comma));
            if (comma == std::string_view::npos)
                break;
            list.remove_prefix(comma + 2);
        }
        endCallsNotListed(&listed);
    }
}

bool CSkypeLink::replyIsStale(std::string_view text, std::uint64_t sentAt)
{
    // Skype notifies every change of a call's STATUS and of USERSTATUS. A notification that
    // arrived after the command went out therefore says all the reply could, or more.
    if (text.starts_with("USERSTATUS "))
        return m_userStatusNoteSeq > sentAt;
    if (!text.starts_with("CALL "))
        return false;
    const SkypeNotification n = SplitNotification(text);
    if (n.property != "STATUS")
        return false;
    // Only notifications create calls: a reply naming a call we do not know (any more) is
    // about one that has ended since.
    if (!FindCall(n.id))
        return true;
    const auto it = m_statusNoteSeq.find(std::string(n.id));
    return it != m_statusNoteSeq.end() && it->second > sentAt;
}

void CSkypeLink::onTimer(int id)
{
    if (id == TIMER_ID_PING)
        keepAliveTick();
    else if (id == TIMER_ID_EXIT_WAIT)
        checkExitReady();
    else if (id == TIMER_ID_ATTACH_RETRY)
        postDiscover();
}

void CSkypeLink::keepAliveTick()
{
    if (!m_pingOutstanding) {
        SendText("PING");
        m_pongReceived = false;
        m_pingOutstanding = true;
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
    } else if (!m_pongReceived) {
        postDiscover();
        m_pingOutstanding = false;
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
    } else {
        m_pongReceived = false;
        m_pingOutstanding = false;
    }
}

void CSkypeLink::CallTimers::onTimer(int id)
{
    m_link.onCallTimer(id);
}

void CSkypeLink::onCallTimer(int id)
{
    for (auto& call : m_calls) {
        if (call.callNumber == id && call.answerTimer) {
            m_handler->onAnswerTimer(call);
            return;
        }
    }
    // No call owns this timer any more.
    m_loop.killTimer(&m_callTimers, id);
}

void CSkypeLink::startAnswerTimer(CSkypeCall& call, std::chrono::milliseconds period)
{
    m_loop.startTimer(&m_callTimers, call.callNumber, period);
    call.answerTimer = true;
}

void CSkypeLink::stopAnswerTimer(CSkypeCall& call)
{
    if (call.answerTimer)
        m_loop.killTimer(&m_callTimers, call.callNumber);
    call.answerTimer = false;
}

void CSkypeLink::setConversationRecord(bool record, bool warn)
{
    m_settings.conversationRecord = record;
    m_settings.recordWarn = warn;
}

void CSkypeLink::setCallTransfer(bool enable, std::string skypeName)
{
    m_settings.transferEnable = enable;
    m_settings.transferSkypeName = std::move(skypeName);
}

void CSkypeLink::setGreeting(std::string path, int lengthHundredths)
{
    m_settings.greetingFile = std::move(path);
    m_settings.greetingLength = lengthHundredths;
}

} // namespace tw
