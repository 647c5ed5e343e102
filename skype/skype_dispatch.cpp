// Notifications and replies from Skype: what each kind updates in the model, and where call
// handling is told.
#include <algorithm>

#include "app/trace.h"
#include "skype/skype_link.h"
#include "skype/skype_notify.h"
#include "skype/skype_text.h"

namespace tw {
namespace {

// Everything after the kind: device names and version texts may hold spaces.
std::string_view valueAfterKind(std::string_view text, const SkypeNotification& n)
{
    return text.size() > n.kind.size() ? text.substr(n.kind.size() + 1) : std::string_view();
}

bool parseCallStatus(std::string_view value, CallStatus& status)
{
    static constexpr std::pair<std::string_view, CallStatus> kStatuses[] = {
        {"ROUTING", CallStatus::Routing},
        {"RINGING", CallStatus::Ringing},
        {"INPROGRESS", CallStatus::InProgress},
        {"LOCALHOLD", CallStatus::LocalHold},
        {"REMOTEHOLD", CallStatus::RemoteHold},
        // What a client answering "SET CALL n STATUS ONHOLD" may notify: our own hold.
        {"ONHOLD", CallStatus::LocalHold},
        {"FINISHED", CallStatus::Finished},
        {"REFUSED", CallStatus::Refused},
        {"MISSED", CallStatus::Missed},
        {"FAILED", CallStatus::Failed},
        {"CANCELLED", CallStatus::Cancelled},
        {"BUSY", CallStatus::Busy},
    };
    for (const auto& [word, s] : kStatuses) {
        if (value == word) {
            status = s;
            return true;
        }
    }
    return false;
}

void setType(CSkypeCall& call, std::string_view value)
{
    call.direction = 0;
    call.network = 0;
    if (value == "INCOMING_PSTN") {
        call.direction = 1;
        call.network = 2;
    } else if (value == "OUTGOING_PSTN") {
        call.direction = 2;
        call.network = 2;
    } else if (value == "INCOMING_P2P") {
        call.direction = 1;
        call.network = 1;
    } else if (value == "OUTGOING_P2P") {
        call.direction = 2;
        call.network = 1;
    }
}

} // namespace

bool CSkypeLink::OnNotification(std::string_view text)
{
    if (text.empty())
        return false;
    const SkypeNotification n = SplitNotification(text);
    const std::string_view kind = n.kind;
    if (kind == "CALL") {
        handleCall(n);
    } else if (kind == "USER") {
        handleUser(n);
    } else if (kind == "CONNSTATUS") {
        handleConnStatus(n.id);
    } else if (kind == "SKYPEVERSION") {
        m_skypeVersion = valueAfterKind(text, n);
    } else if (kind == "USERSTATUS") {
        handleUserStatus(n.id);
    } else if (kind == "CURRENTUSERHANDLE") {
        if (!isCommandToken(n.id))
            return false;
        m_currentUserHandle = n.id;
        Dispatch(CMD_GET_USER_FULLNAME, n.id);
    } else if (kind == "AUDIO_IN") {
        m_audioIn = valueAfterKind(text, n);
    } else if (kind == "AUDIO_OUT") {
        m_audioOut = valueAfterKind(text, n);
    } else if (kind == "AUTOAWAY") {
        m_autoAway = n.id == "ON";
    } else if (kind == "CHAT") {
        handleChat(n);
    } else if (kind.starts_with("ALTER")) {
        handleAlter(n);
    } else if (kind == "USERS") {
        handleUsersList(n.id);
    } else if (kind == "CALLS") {
        handleCallsList(n.id);
    } else if (kind == "PROTOCOL") {
        handleProtocol(n.id);
    } else if (kind == "PONG") {
        m_pongReceived = true;
    } else if (kind == "MENU_ITEM") {
        if (n.id == "acc1" || n.id == "acc2")
            m_host.showSidePanel();
    } else {
        return false;
    }
    return true;
}

void CSkypeLink::handleCall(const SkypeNotification& n)
{
    const std::string_view property = n.property;
    const std::string_view value = n.rest;
    if (property.empty())
        return;
    if (property == "STATUS") {
        handleCallStatus(n.id, value);
        return;
    }
    CSkypeCall* call = FindCall(n.id);
    if (!call)
        return;
    const bool device = property == "INPUT" || property == "OUTPUT" || property == "CAPTURE_MIC";
    if (value.empty() && !device)
        return;

    if (property == "DURATION") {
        if (parseDecimal(value, call->durationSec))
            m_handler->onCallDuration(*call);
    } else if (property == "TIMESTAMP") {
        std::uint32_t seconds = 0;
        if (parseDecimal(value, seconds))
            call->timestamp = seconds;
        call->durationSec = 0;
    } else if (property == "PARTNER_HANDLE") {
        call->partnerHandle = value;
        m_handler->onCallPartnerHandle(*call);
    } else if (property == "PARTNER_DISPNAME") {
        call->partnerDispName = value;
    } else if (property == "CONF_ID") {
        if (value == "0")
            return;
        call->confId = value;
        m_handler->onCallConfId(*call);
    } else if (property == "TYPE") {
        setType(*call, value);
        m_handler->onCallType(*call);
    } else if (property == "VAA_INPUT_STATUS") {
        // TRUE: the greeting plays. FALSE before any TRUE: it could not be played.
        if (value == "TRUE")
            call->greeting = CSkypeCall::Greeting::Playing;
        else if (value == "FALSE" && call->greeting == CSkypeCall::Greeting::Unknown)
            call->greeting = CSkypeCall::Greeting::Unplayable;
    } else if (device) {
        // Asked while a capture runs (again after a re-attach, for example), Skype reports the
        // link's own redirection to a file, or the silenced output of a muted transfer leg:
        // not the devices to give back when the capture ends.
        const bool mutedLeg =
            value.empty() && property == "OUTPUT" && call->has(CF_TRANSFER) && call->legIndex == 1;
        if (mutedLeg || value.find("FILE=") != std::string_view::npos) {
            trace(2, "CALL: a redirection is not a device to give back; the saved one is kept");
            return;
        }
        // These values are sent back to Skype when a capture ends; keep only well-formed ones.
        if (!isDeviceValue(value)) {
            trace(2, "CALL: malformed device value ignored");
            return;
        }
        std::string& slot = property == "INPUT"    ? call->savedInput
                            : property == "OUTPUT" ? call->savedOutput
                                                   : call->savedCaptureMic;
        slot = value;
    } else if (property == "CONF_PARTICIPANTS_COUNT") {
        std::uint32_t count = 0;
        if (!parseDecimal(value, count))
            return;
        // Participants are numbered from 1 to the count; the table holds no more than this
        // many anyway.
        count = std::min<std::uint32_t>(count, CSkypeCall::kMaxParticipants + 1);
        const std::string id(n.id);
        for (std::uint32_t i = 1; i <= count; ++i)
            SendFormat("GET CALL %s CONF_PARTICIPANT %s", id, std::to_string(i));
    } else if (property == "CONF_PARTICIPANT") {
        // "<number> <handle> <type> <status> <display name>"
        const auto first = value.find(' ');
        if (first == std::string_view::npos)
            return;
        std::string_view handle = value.substr(first + 1);
        handle = handle.substr(0, handle.find(' '));
        call->addParticipantText(handle);
    }
}

void CSkypeLink::handleCallStatus(std::string_view idView, std::string_view value)
{
    CallStatus status;
    if (!parseCallStatus(value, status))
        return;
    const std::string id(idView);
    if (status == CallStatus::Routing || status == CallStatus::Ringing) {
        const bool known = FindCall(id) != nullptr;
        CSkypeCall* call = FindOrAddCall(id);
        if (!call)
            return;
        // A call already known has gone past this (answered, recording, found at an attach,
        // joined to a conference): a repeated or late ROUTING or RINGING must not make it new.
        // Only our own placed call moves on from ROUTING to RINGING.
        if (known && (call->callId != id || call->flags != 0) &&
            !(status == CallStatus::Ringing && call->flags == CF_ROUTING) &&
            !(call->callId == id && call->flags == CF_RINGING)) {
            tracef(2, "CALL %s: STATUS %.*s for a call already known ignored", id.c_str(),
                   static_cast<int>(value.size()), value.data());
            return;
        }
        bool query = true;
        if (status == CallStatus::Routing) {
            call->flags = CF_ROUTING;
            call->direction = 2; // placed from here; TYPE will say so too
        } else if (!call->has(CF_ROUTING)) {
            call->flags = CF_RINGING;
        } else {
            // Our own call now rings at the far end: its details were asked at ROUTING.
            call->clear(CF_ROUTING);
            call->set(CF_RINGING);
            query = false;
        }
        const std::string callId = call->callId;
        m_handler->onCallStatus(*call, status, id);
        if (query)
            sendCallInfoQueries(callId);
        return;
    }
    CSkypeCall* call = FindCall(id);
    if (!call)
        return;
    m_handler->onCallStatus(*call, status, id);
}

void CSkypeLink::handleUser(const SkypeNotification& n)
{
    const std::string_view handle = n.id;
    const std::string_view property = n.property;
    const std::string_view value = n.rest;
    if (property.empty() || value.empty())
        return;
    if (!m_currentUserHandle.empty() && handle == m_currentUserHandle) {
        if (property == "FULLNAME")
            m_currentUserFullName = value;
        return;
    }
    const bool status = property == "ONLINESTATUS";
    if (!status && property != "FULLNAME")
        return;
    CSkypeUser* user = findUserMutable(handle);
    const bool added = !user;
    if (added && !(user = addUser(handle)))
        return;
    if (status)
        user->onlineStatus = contactStatusCode(value);
    else
        user->fullName = value;
    if (added) {
        // The user list may grow in a send; copy the handle first.
        const std::string h(handle);
        SendFormat(status ? "GET USER %s FULLNAME" : "GET USER %s ONLINESTATUS", h);
    }
    m_host.contactsChanged();
}

void CSkypeLink::handleConnStatus(std::string_view value)
{
    m_connectionOnline = value == "ONLINE";
    if (m_connectionOnline || m_users.empty())
        return;
    for (auto& user : m_users)
        user.onlineStatus = CONTACT_OFFLINE;
    m_host.contactsChanged();
}

void CSkypeLink::handleUserStatus(std::string_view value)
{
    // While a voice mail runs the link itself has set DND; the user's own status is kept.
    if (!m_userStatusTracking || !isCommandToken(value))
        return;
    m_userOnline = value == "ONLINE" || value == "SKYPEME";
    m_userStatus = value;
}

void CSkypeLink::handleUsersList(std::string_view list)
{
    bool any = false;
    while (!list.empty()) {
        const auto comma = list.find(", ");
        const std::string_view handle = list.substr(0, comma);
        if (!handle.empty() && !findUser(handle))
            any |= addUser(handle) != nullptr;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 2);
    }
    if (m_users.empty())
        return;
    for (std::size_t i = 0; i < m_users.size(); ++i) {
        const std::string handle = m_users[i].handle;
        SendFormat("GET USER %s ONLINESTATUS", handle);
        SendFormat("GET USER %s FULLNAME", handle);
    }
    if (any)
        m_host.contactsChanged();
}

void CSkypeLink::handleCallsList(std::string_view list)
{
    while (!list.empty()) {
        const auto comma = list.find(", ");
        const std::string id(list.substr(0, comma));
        const bool known = !id.empty() && FindCall(id);
        if (CSkypeCall* call = id.empty() ? nullptr : FindOrAddCall(id)) {
            // A call we already follow keeps its state (a voice mail, a recording, a hold):
            // only its details and status are asked again. A new one is merely found.
            if (!known) {
                call->flags = CF_FOUND_AT_ATTACH;
            } else {
                tracef(2, "CALL %s: known call listed again at attach", id.c_str());
                if (call->has(CF_STOP_PENDING) && call->stopEchoesDue == 0)
                    ResendStop(*call);
            }
            sendCallInfoQueries(call->callId);
            SendFormat("GET CALL %s STATUS", id);
        }
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 2);
    }
}

void CSkypeLink::handleChat(const SkypeNotification& n)
{
    if (n.property == "STATUS" && n.rest == "DIALOG")
        chatNotice(n.id);
}

void CSkypeLink::handleAlter(const SkypeNotification& n)
{
    if (n.kind != "ALTER CALL")
        return;
    if (CSkypeCall* call = FindCall(n.id))
        m_handler->onAlterCallEcho(*call, n.property, n.rest);
}

void CSkypeLink::handleProtocol(std::string_view value)
{
    if (m_protocolVersion != -1)
        return;
    // A reply without a number says nothing about the version; it must not end the program.
    int version = 0;
    if (!parseDecimal(value, version))
        return;
    m_protocolVersion = version;
    if (version > 6)
        return;
    m_prompt.message(kTextOldSkype, Prompt::Icon::Information, Prompt::Buttons::Ok);
    m_host.requestExit();
}

} // namespace tw
