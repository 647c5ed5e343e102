// The call-handling rules: answer decision, answer timer, in progress, hold, endings,
// transfer, conference folding, length limit and stop acknowledgement.
#include "skype/call_handling.h"

#include <algorithm>

#include "app/trace.h"
#include "skype/skype_link.h"

namespace tw {
namespace {

// A call the user (or the voice mail) is part of, in any of its live states.
constexpr std::uint32_t kLiveFlags =
    CF_INPROGRESS | CF_ONHOLD | CF_VOICEMAIL | CF_RECORDING | CF_CAPTURING | CF_STOP_PENDING;
constexpr std::uint32_t kFreshFlags = CF_ROUTING | CF_RINGING | CF_FOUND_AT_ATTACH;

CSkypeCall* firstHeldCall(CSkypeLink& link)
{
    for (auto& c : link.calls())
        if (c.has(CF_ONHOLD))
            return &c;
    return nullptr;
}

} // namespace

CallHandling::CallHandling(CSkypeLink& link, EventLoop& loop) : m_link(link), m_loop(loop)
{}

CallHandling::~CallHandling()
{
    m_queue.shutdown();
}

void CallHandling::onExitRequested()
{
    // Nothing of ours may stay in Skype after we are gone: no file keeps receiving the call,
    // no greeting plays, the user is not left in DND, nobody stays muted.
    for (auto& c : m_link.calls()) {
        m_link.stopAnswerTimer(c);
        if (c.has(CF_VOICEMAIL))
            m_link.StopVoiceMail(c);
        else if (c.has(CF_CAPTURING))
            m_link.StopRecording(c, false);
    }
    if (m_link.transferActive()) {
        for (auto& c : m_link.calls())
            if (c.has(CF_TRANSFER) && c.legIndex == 1)
                m_link.Mute(c, false);
        m_link.setTransferActive(false);
    }
}

void CallHandling::onShutdown()
{
    // Whatever is still open becomes a record from what was written: a stop Skype did not
    // acknowledge in time, a recording paused by hold, a capture nobody could stop.
    for (auto& c : m_link.calls()) {
        if (c.recordType == RECORD_NONE || (c.outputSegment.empty() && c.outputFile.empty()))
            continue;
        if (c.has(CF_CAPTURING))
            c.recordEnd = m_loop.wallTime();
        c.clear(CF_CAPTURING | CF_STOP_PENDING | CF_VOICEMAIL | CF_RECORDING);
        startRecordFinisher(c, false);
    }
    m_queue.shutdown();
    m_alive.reset(); // nothing posted by the worker reaches the link after this
}

// ---- answer decision and timer ----

void CallHandling::onCallType(CSkypeCall& call)
{
    if (call.direction != 1 || call.has(CF_FOUND_AT_ATTACH))
        return;
    // The decision belongs to a call that still rings; a TYPE repeated later (or arriving
    // after the user answered) must not arm a timer that would take a voice mail from a call
    // already in progress.
    if (!call.has(CF_RINGING) || call.has(CF_INPROGRESS) || call.answerTimer)
        return;
    const SkypeLinkSettings& s = m_link.settings();
    if (s.transferEnable && !s.transferSkypeName.empty() && !m_link.transferActive() &&
        !m_link.AnyCallInProgress()) {
        m_link.setTransferActive(true);
        call.set(CF_TRANSFER);
        call.legIndex = 0;
        call.transferTarget = s.transferSkypeName;
        m_link.SendFormat("SET CALL %s STATUS INPROGRESS", call.callId);
    } else if (s.voiceMailEnable) {
        m_link.startAnswerTimer(
            call, std::chrono::milliseconds(std::int64_t(std::max(0, s.waitingPeriodSec)) * 1000));
    }
}

void CallHandling::onAnswerTimer(CSkypeCall& call)
{
    m_link.stopAnswerTimer(call);
    call.answerTimer = false;
    if (!call.has(CF_RINGING) || call.has(CF_INPROGRESS | CF_FINISHED))
        return;
    if (m_link.AnyCallInProgress())
        m_link.Dispatch(CMD_BUSY_NOTICE, call);
    else
        m_link.Dispatch(CMD_START_LEAVE_MESSAGE, call);
}

// ---- status ----

void CallHandling::onCallStatus(CSkypeCall& call, CallStatus status, const std::string& notifiedId)
{
    switch (status) {
    case CallStatus::Routing:
        onRouting(call);
        break;
    case CallStatus::Ringing:
        if (m_link.transferActive())
            recognizeTransferLeg(call);
        break;
    case CallStatus::InProgress:
        onInProgress(call);
        break;
    case CallStatus::LocalHold:
    case CallStatus::RemoteHold:
        onHold(call);
        break;
    case CallStatus::Finished:
        onFinished(call, notifiedId);
        break;
    case CallStatus::Refused:
    case CallStatus::Missed:
    case CallStatus::Failed:
    case CallStatus::Cancelled:
    case CallStatus::Busy:
        onFailedEnd(call, notifiedId);
        break;
    }
}

void CallHandling::onCallRemoving(CSkypeCall& call)
{
    m_limitHangUp.erase(call.callNumber);
}

void CallHandling::onRouting(CSkypeCall& call)
{
    CSkypeCall* current = m_link.currentCall();
    if (current && current != &call && current->hasAll(CF_VOICEMAIL | CF_CAPTURING))
        m_link.Dispatch(CMD_HANDUP, *current);
    if (m_link.transferActive())
        recognizeTransferLeg(call);
}

void CallHandling::recognizeTransferLeg(CSkypeCall& call)
{
    const std::string& target = m_link.settings().transferSkypeName;
    if (target.empty() || call.partnerHandle != target || call.has(CF_TRANSFER))
        return;
    call.set(CF_TRANSFER);
    call.legIndex = 1;
    m_link.Mute(call, true);
    // The target may have answered before its partner handle told us who it is.
    if (call.has(CF_INPROGRESS))
        onTargetAnswered(call);
}

void CallHandling::onTargetAnswered(CSkypeCall& target)
{
    // Join the held caller to the target.
    if (CSkypeCall* held = firstHeldCall(m_link)) {
        m_link.SendFormat("SET CALL %s JOIN_CONFERENCE %s", held->callId, target.callId);
        m_link.SendFormat("GET CALL %s CONF_ID", target.callId);
    } else {
        m_link.Mute(target, false);
        m_link.setTransferActive(false);
    }
}

void CallHandling::onCallPartnerHandle(CSkypeCall& call)
{
    if (m_link.transferActive()) {
        recognizeTransferLeg(call);
    }
}

// ---- in progress ----

void CallHandling::foldIntoHost(CSkypeCall& call, CSkypeCall& host)
{
    if (host.has(CF_RECORDING) && m_link.settings().recordWarn)
        m_link.RequestRecordNotices(call, false);
    if (!host.findParticipant(call.callId))
        host.addParticipant(call.callId, call.flags, call.partnerHandle);
    host.addParticipantText(call.partnerHandle);
    if (m_link.currentCall() == &call)
        m_link.setCurrentCall(&host);
}

CSkypeCall* CallHandling::inProgressBookkeeping(CSkypeCall& call)
{
    m_link.stopAnswerTimer(call);
    call.answerTimer = false;
    if (call.has(CF_RINGING | CF_FOUND_AT_ATTACH)) {
        CSkypeCall* host = nullptr;
        if (!call.confId.empty())
            for (auto& c : m_link.calls())
                if (&c != &call && c.has(CF_INPROGRESS) && c.confId == call.confId) {
                    host = &c;
                    break;
                }
        if (!host) {
            m_link.setCurrentCall(&call);
            return &call;
        }
        foldIntoHost(call, *host);
        // A joining call that somehow carries a recording of its own keeps it as a record.
        if (call.has(CF_CAPTURING | CF_RECORDING | CF_STOP_PENDING) && call.recordType != 0) {
            call.recordEnd = m_loop.wallTime();
            startRecordFinisher(call, true);
        } else {
            const std::string id = call.callId;
            m_link.RemoveCall(id);
        }
        m_link.setCurrentCall(host);
        return host;
    }
    if (call.has(CF_ONHOLD) && !call.confId.empty()) {
        CSkypeCall* host = nullptr;
        for (auto& c : m_link.calls())
            if (&c != &call && c.has(CF_INPROGRESS) &&
                (c.confId.empty() || c.confId == call.confId)) {
                host = &c;
                break;
            }
        if (host) {
            if (host->confId != call.confId)
                host->confId = call.confId;
            foldIntoHost(call, *host);
            if (!call.has(CF_RECORDING)) {
                const std::string id = call.callId;
                m_link.RemoveCall(id);
            } else {
                call.recordEnd = m_loop.wallTime();
                startRecordFinisher(call, true);
            }
            m_link.setCurrentCall(host);
            return host;
        }
    }
    m_link.setCurrentCall(&call);
    return &call;
}

void CallHandling::onVoiceMailStarted(CSkypeCall& call)
{
    inProgressBookkeeping(call);
}

void CallHandling::onInProgress(CSkypeCall& notified)
{
    CSkypeCall* c = inProgressBookkeeping(notified);
    if (c->has(CF_RINGING | CF_FOUND_AT_ATTACH | CF_ROUTING)) {
        c->clear(CF_RINGING | CF_FOUND_AT_ATTACH | CF_ROUTING);
        c->set(CF_INPROGRESS);
        bool callerLeg = false;
        if (m_link.transferActive() && c->has(CF_TRANSFER)) {
            if (c->legIndex == 1) {
                onTargetAnswered(*c);
            } else {
                // The caller, answered for the transfer: hold it and call the target.
                callerLeg = true;
                m_link.SendFormat("SET CALL %s STATUS ONHOLD", c->callId);
                m_link.SendFormat("CALL %s", c->transferTarget);
            }
        }
        if (c->has(CF_CAPTURING))
            return; // a voice mail has just answered it
        if (m_link.settings().conversationRecord && !callerLeg) {
            completePendingStop(*c);
            m_link.Dispatch(CMD_START_RECORDING, *c);
        }
        m_link.notifyCallStateChanged();
    } else if (c->has(CF_ONHOLD)) {
        c->clear(CF_ONHOLD);
        c->set(CF_INPROGRESS);
        if (c->has(CF_RECORDING)) {
            completePendingStop(*c);
            m_link.Dispatch(CMD_START_RECORDING, *c);
        } else if (m_link.transferActive() && !c->has(CF_TRANSFER)) {
            // The held caller is back because the transfer did not happen.
            m_link.Mute(*c, false);
            m_link.setTransferActive(false);
            if (m_link.settings().voiceMailEnable) {
                completePendingStop(*c);
                m_link.StartVoiceMail(*c, true);
            } else {
                m_link.SendFormat("SET CALL %s STATUS FINISHED", c->callId);
            }
        } else {
            m_link.notifyCallStateChanged();
        }
    }
}

// ---- hold ----

void CallHandling::onHold(CSkypeCall& call)
{
    // A call found at attach ignores hold until it is in progress; a call already held hears
    // of its hold again (asked after a re-attach), which must not end another call's voice
    // mail nor pause twice.
    if (call.has(CF_FOUND_AT_ATTACH) || (call.has(CF_ONHOLD) && !call.has(CF_INPROGRESS)))
        return;
    // A voice mail is never put on hold: it ends there.
    CSkypeCall* current = m_link.currentCall();
    if (current && current->hasAll(CF_VOICEMAIL | CF_CAPTURING)) {
        m_link.Dispatch(CMD_HANDUP, *current);
        return;
    }
    if (call.hasAll(CF_VOICEMAIL | CF_CAPTURING)) {
        m_link.Dispatch(CMD_HANDUP, call);
        return;
    }
    // Pause only a running capture: a second hold notice must not stop it twice.
    if (call.has(CF_CAPTURING))
        m_link.StopRecording(call, true);
    call.clear(CF_INPROGRESS);
    call.set(CF_ONHOLD);
    m_link.notifyCallStateChanged();
}

// ---- endings ----

void CallHandling::onFailedEnd(CSkypeCall& call, const std::string& notifiedId)
{
    if (notifiedId != call.callId) {
        // A conference party that never connected: only its entry goes.
        call.removeParticipant(notifiedId);
        m_link.notifyCallStateChanged();
        return;
    }
    // The target may fail before its partner handle told us who it is: an outgoing call that
    // could be the target, while no call is known to be, is taken for it.
    const std::string& target = m_link.settings().transferSkypeName;
    const bool knownTarget =
        std::any_of(m_link.calls().begin(), m_link.calls().end(),
                    [](const CSkypeCall& c) { return c.has(CF_TRANSFER) && c.legIndex == 1; });
    const bool targetLeg =
        (call.has(CF_TRANSFER) && call.legIndex == 1) ||
        (m_link.transferActive() && !knownTarget && !call.has(CF_TRANSFER) && call.direction == 2 &&
         (call.partnerHandle.empty() || call.partnerHandle == target));
    // The link set DND for a voice mail; it must not stay when the call fails.
    if (call.has(CF_VOICEMAIL))
        m_link.RestoreUserStatus();
    call.flags = CF_FINISHED;
    const std::string id = call.callId;
    m_link.RemoveCall(id);
    if (m_link.transferActive() && targetLeg) {
        CSkypeCall* held = firstHeldCall(m_link);
        if (held && held->has(CF_TRANSFER) && held->legIndex == 0) {
            // Take the caller back: the resume then takes a voice mail or hangs up.
            held->clear(CF_TRANSFER);
            m_link.SendFormat("SET CALL %s STATUS INPROGRESS", held->callId);
        } else {
            m_link.setTransferActive(false);
        }
    }
    m_link.notifyCallStateChanged();
}

void CallHandling::onFinished(CSkypeCall& call, const std::string& notifiedId)
{
    auto takeOut = [&] {
        if (notifiedId != call.callId)
            call.removeParticipant(notifiedId);
        else
            call.promoteFirstParticipant();
    };
    if (!m_link.transferActive()) {
        if (!call.participants.empty()) {
            const bool hostLegRecorded =
                notifiedId == call.callId && call.hasAll(CF_RECORDING | CF_CAPTURING);
            takeOut();
            if (hostLegRecorded) {
                // Skype closed the files with the host's leg; the record goes on under the
                // participant, whose audio must now be written to files of its own.
                call.clear(CF_CAPTURING);
                startSegmentMerge(call);
                m_link.Dispatch(CMD_START_RECORDING, call);
            }
            m_link.notifyCallStateChanged();
            return;
        }
    } else if (call.has(CF_TRANSFER)) {
        if (!call.participants.empty()) {
            takeOut();
            m_link.SendFormat("SET CALL %s STATUS FINISHED", call.callId);
            return;
        }
        std::vector<std::string> targets;
        for (const auto& c : m_link.calls())
            if (&c != &call && c.has(CF_TRANSFER) && c.legIndex == 1)
                targets.push_back(c.callId);
        for (const auto& id : targets)
            m_link.SendFormat("SET CALL %s STATUS FINISHED", id);
        m_link.Mute(call, false);
        m_link.setTransferActive(false);
    }

    if (call.has(CF_CAPTURING)) {
        call.recordEnd = m_loop.wallTime();
        if (call.has(CF_VOICEMAIL))
            m_link.RestoreUserStatus();
        startRecordFinisher(call, true);
    } else if (call.hasAll(CF_ONHOLD | CF_RECORDING)) {
        call.recordEnd = m_loop.wallTime();
        startRecordFinisher(call, true);
    } else if (call.has(CF_STOP_PENDING) && call.recordType != 0 &&
               !(call.outputSegment.empty() && call.outputFile.empty())) {
        // Stopped by the user, but the call ended before Skype acknowledged the stop: the
        // acknowledgement would find no call, so the record is finished now.
        startRecordFinisher(call, true);
    } else {
        call.flags = CF_FINISHED;
        const std::string id = call.callId;
        m_link.RemoveCall(id);
    }
    m_link.notifyCallStateChanged();
}

// ---- properties ----

void CallHandling::onCallDuration(CSkypeCall& call)
{
    if (!call.has(CF_VOICEMAIL))
        return;
    // DURATION counts from the call's answer, which for a caller taken back from a transfer
    // lies long before the voice mail: the limit counts from the voice mail's own start.
    const SkypeLinkSettings& s = m_link.settings();
    const std::int64_t greeting =
        call.greeting == CSkypeCall::Greeting::Unplayable ? 0 : s.greetingLength / 100;
    const std::int64_t elapsed = std::int64_t(call.durationSec) - call.voiceMailStartSec;
    if (elapsed < greeting + s.maxLengthSec || m_limitHangUp.count(call.callNumber))
        return;
    m_limitHangUp.insert(call.callNumber);
    m_link.Dispatch(CMD_HANDUP, call);
}

void CallHandling::onCallConfId(CSkypeCall& call)
{
    std::vector<std::string> ask;
    for (const auto& c : m_link.calls())
        if (c.confId.empty())
            ask.push_back(c.callId);
    for (const auto& id : ask)
        m_link.SendFormat("GET CALL %s CONF_ID", id);
    if (!m_link.transferActive())
        return;
    // The caller's leg joined the target's conference: one record, the caller a participant.
    if (!call.has(CF_INPROGRESS) || call.confId.empty() || !call.participants.empty() ||
        !call.has(CF_TRANSFER) || call.legIndex != 0)
        return;
    CSkypeCall* target = nullptr;
    for (auto& c : m_link.calls())
        if (&c != &call && c.has(CF_INPROGRESS) && c.confId == call.confId && c.legIndex == 1) {
            target = &c;
            break;
        }
    if (!target)
        return;
    if (!call.has(CF_RECORDING) && target->has(CF_RECORDING) && m_link.settings().recordWarn)
        m_link.RequestRecordNotices(call, false);
    if (!target->findParticipant(call.callId))
        target->addParticipant(call.callId, call.flags, call.partnerHandle);
    target->addParticipantText(call.partnerHandle);
    if (m_link.currentCall() == &call)
        m_link.setCurrentCall(target);
    const std::string id = call.callId;
    m_link.RemoveCall(id);
}

void CallHandling::onAlterCallEcho(CSkypeCall& call, std::string_view property,
                                   std::string_view value)
{
    // The stop is complete when Skype has taken the microphone back to what it was: the echo
    // carries no value, or the saved value the stop restored. An echo of an earlier stop
    // (completed early by a resume) must not complete a newer one: only the last echo due does.
    if (property != "SET_CAPTURE_MIC" || (!value.empty() && value != call.savedCaptureMic))
        return;
    if (call.stopEchoesDue > 0)
        --call.stopEchoesDue;
    if (call.stopEchoesDue > 0 || !call.has(CF_STOP_PENDING))
        return;
    completePendingStop(call);
}

void CallHandling::ToggleRecord()
{
    CSkypeCall* call = m_link.currentCall();
    if (!call)
        return;
    if (call->has(CF_VOICEMAIL)) {
        m_link.Dispatch(CMD_STOP_LEAVE_MESSAGE, *call);
    } else if (call->has(CF_CAPTURING)) {
        m_link.Dispatch(CMD_STOP_RECORDING, *call);
    } else if (!call->has(CF_ONHOLD)) {
        completePendingStop(*call);
        m_link.Dispatch(CMD_START_RECORDING, *call);
    }
}

} // namespace tw
