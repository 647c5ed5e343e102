#include "skype/basic_call_tracking.h"

#include "skype/skype_link.h"

namespace tw {

void BasicCallTracking::onCallStatus(CSkypeCall& call, CallStatus status,
                                     const std::string& notifiedId)
{
    switch (status) {
    case CallStatus::Routing:
    case CallStatus::Ringing:
        return;
    case CallStatus::InProgress:
        m_link.stopAnswerTimer(call);
        call.clear(CF_ROUTING | CF_RINGING | CF_FOUND_AT_ATTACH | CF_ONHOLD);
        call.set(CF_INPROGRESS);
        m_link.setCurrentCall(&call);
        break;
    case CallStatus::LocalHold:
    case CallStatus::RemoteHold:
        if (call.has(CF_FOUND_AT_ATTACH))
            return;
        call.clear(CF_INPROGRESS);
        call.set(CF_ONHOLD);
        break;
    case CallStatus::Finished:
        // One party of a conference leaves: the call goes on with the others.
        if (!call.participants.empty()) {
            if (!call.removeParticipant(notifiedId))
                call.promoteFirstParticipant();
            break;
        }
        [[fallthrough]];
    case CallStatus::Refused:
    case CallStatus::Missed:
    case CallStatus::Failed:
    case CallStatus::Cancelled:
    case CallStatus::Busy: {
        call.flags = CF_FINISHED;
        const std::string id = call.callId;
        m_link.RemoveCall(id);
        break;
    }
    }
    m_link.notifyCallStateChanged();
}

} // namespace tw
