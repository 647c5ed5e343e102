// The connection: attach, keep-alive, sending texts, the orderly exit, shutdown.
#include "skype/skype_link.h"

#include <algorithm>
#include <utility>

#include "app/trace.h"
#include "skype/skype_text.h"

namespace tw {

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
