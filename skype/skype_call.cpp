#include "skype/skype_call.h"

#include <algorithm>

#include "skype/skype_text.h"

namespace tw {

bool CSkypeCall::addParticipant(std::string_view id, std::uint32_t participantFlags,
                                std::string_view handle)
{
    if (participants.size() >= kMaxParticipants)
        return false;
    participants.push_back(CallParticipant{std::string(id), participantFlags, std::string(handle)});
    return true;
}

CallParticipant* CSkypeCall::findParticipant(std::string_view id)
{
    for (auto& p : participants)
        if (p.callId == id)
            return &p;
    return nullptr;
}

CallParticipant* CSkypeCall::findParticipantByHandle(std::string_view handle)
{
    for (auto& p : participants)
        if (p.partnerHandle == handle)
            return &p;
    return nullptr;
}

bool CSkypeCall::promoteFirstParticipant()
{
    if (participants.empty())
        return false;
    callId = std::move(participants.front().callId);
    std::int32_t number = 0;
    if (parseDecimal(callId, number))
        callNumber = number;
    participants.erase(participants.begin());
    return true;
}

bool CSkypeCall::removeParticipant(std::string_view id)
{
    auto it = std::find_if(participants.begin(), participants.end(),
                           [id](const CallParticipant& p) { return p.callId == id; });
    if (it == participants.end())
        return false;
    participants.erase(it);
    return true;
}

void CSkypeCall::addParticipantText(std::string_view handle)
{
    if (handle.empty())
        return;
    if (participantsText.empty()) {
        participantsText = handle;
        return;
    }
    // Whole entries are compared: "bob" is not already present in "bobby".
    std::string_view rest = participantsText;
    for (;;) {
        const auto comma = rest.find(", ");
        if (rest.substr(0, comma) == handle)
            return;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 2);
    }
    participantsText += ", ";
    participantsText += handle;
}

bool isValidCallId(std::string_view id)
{
    if (id.empty() || id.size() > 10 || (id.size() > 1 && id[0] == '0'))
        return false;
    if (!std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    std::int32_t value = 0;
    return parseDecimal(id, value);
}

} // namespace tw
