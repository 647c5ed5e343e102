// Texts from Skype: notifications and replies made fit for the parser, replies kept from
// undoing newer notifications, and the calls that went away with Skype or while we were away.
#include <algorithm>

#include "app/trace.h"
#include "platform/utf.h"
#include "skype/skype_link.h"
#include "skype/skype_notify.h"

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

} // namespace tw
