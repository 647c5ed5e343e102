// The connection: attach, keep-alive, sending and receiving texts, shutdown.
#include "skype/skype_link.h"

#include "app/trace.h"
#include "platform/utf.h"
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

void CSkypeLink::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
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
        Dispatch(CMD_SEND_SKYPE_INIT_INFO, std::string_view());
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

void CSkypeLink::onSkypeText(const std::string& utf8)
{
    // Texts that arrive while not attached come from a client the link has given up on.
    if (!m_attached || m_shutDown)
        return;
    // The text ends at its first zero byte, as the wire format always had it.
    std::string_view text = utf8;
    if (const auto zero = text.find('\0'); zero != std::string_view::npos)
        text = text.substr(0, zero);

    // A UTF-16 unit needs at least one and at most three UTF-8 bytes (invalid bytes become one
    // replacement unit each), so short texts pass and long ones fail without counting.
    std::string normalised;
    bool dropped = false;
    if (text.size() > 3 * kMaxTextUnits) {
        dropped = true;
    } else if (isAscii(text)) {
        dropped = text.size() > kMaxTextUnits;
    } else {
        const std::u16string wide = toUtf16(text);
        if (wide.size() > kMaxTextUnits)
            dropped = true;
        else
            normalised = toUtf8(wide);
    }
    if (dropped) {
        text = {};
    } else if (!normalised.empty()) {
        text = normalised;
    }
    trace(1, text);
    OnNotification(text);
    if (!m_shutDown)
        m_loop.startTimer(this, TIMER_ID_PING, kPingPeriod);
}

void CSkypeLink::onTimer(int id)
{
    if (id == TIMER_ID_PING)
        keepAliveTick();
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
