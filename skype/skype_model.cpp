// The call list and the user list.
#include "app/trace.h"
#include "skype/skype_link.h"
#include "skype/skype_text.h"

namespace tw {

CSkypeCall* CSkypeLink::FindCall(std::string_view callId)
{
    for (auto& call : m_calls) {
        if (call.callId == callId)
            return &call;
        if (!call.participants.empty() && call.findParticipant(callId))
            return &call;
    }
    return nullptr;
}

CSkypeCall* CSkypeLink::FindOrAddCall(std::string_view callId)
{
    if (CSkypeCall* call = FindCall(callId))
        return call;
    if (!isValidCallId(callId))
        return nullptr;
    if (m_calls.size() >= kMaxCalls) {
        trace(2, "FindOrAddCall: too many calls, ignored");
        return nullptr;
    }
    CSkypeCall& call = m_calls.emplace_back();
    call.callId = callId;
    parseDecimal(callId, call.callNumber);
    return &call;
}

void CSkypeLink::RemoveCall(std::string_view callId)
{
    auto it = m_calls.begin();
    while (it != m_calls.end() && it->callId != callId)
        ++it;
    if (it == m_calls.end())
        return;
    CSkypeCall& call = *it;
    if (m_currentCall == &call)
        m_currentCall = nullptr;
    if (!call.participants.empty()) {
        // The timer id follows the call number, which changes with the id.
        stopAnswerTimer(call);
        call.promoteFirstParticipant();
        return;
    }
    stopAnswerTimer(call);
    call.clear(CF_VOICEMAIL | CF_RECORDING);
    m_handler->onCallRemoving(call);
    m_statusNoteSeq.erase(call.callId);
    m_calls.erase(it);
}

bool CSkypeLink::AnyCallInProgress() const
{
    for (const auto& call : m_calls)
        if (call.has(CF_INPROGRESS))
            return true;
    return false;
}

bool CSkypeLink::GetActiveCallState(int& state, CSkypeCall** call) const
{
    if (m_calls.empty() || !m_currentCall || m_currentCall->has(CF_ONHOLD))
        return false;
    state = m_currentCall->has(CF_CAPTURING) ? 2 : 1;
    if (call)
        *call = m_currentCall;
    return true;
}

const CSkypeUser* CSkypeLink::findUser(std::string_view handle) const
{
    const auto it = m_userIndex.find(handle);
    return it == m_userIndex.end() ? nullptr : &m_users[it->second];
}

CSkypeUser* CSkypeLink::findUserMutable(std::string_view handle)
{
    return const_cast<CSkypeUser*>(findUser(handle));
}

CSkypeUser* CSkypeLink::addUser(std::string_view handle)
{
    // A handle that could not be sent back in a command is no contact of ours.
    if (!isCommandToken(handle))
        return nullptr;
    if (m_users.size() >= kMaxUsers) {
        trace(2, "Too many contacts, ignored");
        return nullptr;
    }
    m_userIndex.emplace(std::string(handle), m_users.size());
    CSkypeUser& user = m_users.emplace_back();
    user.handle = handle;
    return &user;
}

bool CSkypeLink::LookupUser(std::string_view handle, std::string* fullName, std::uint32_t* status)
{
    if (handle.empty())
        return false;
    if (const CSkypeUser* user = findUser(handle)) {
        if (fullName)
            *fullName = user->fullName;
        if (status)
            *status = user->onlineStatus;
        return true;
    }
    if (fullName)
        fullName->clear();
    if (status)
        *status = CONTACT_OFFLINE;
    if (!addUser(handle))
        return false;
    SendFormat("GET USER %s ONLINESTATUS", handle);
    SendFormat("GET USER %s FULLNAME", handle);
    return true;
}

} // namespace tw
