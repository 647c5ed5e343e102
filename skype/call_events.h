#pragma once

#include <string>
#include <string_view>

namespace tw {

class CSkypeLink;
struct CSkypeCall;

/// The values of a call's STATUS that drive the call state machine; other values are ignored.
enum class CallStatus {
    Routing,
    Ringing,
    InProgress,
    LocalHold,
    RemoteHold,
    Finished,
    Refused,
    Missed,
    Failed,
    Cancelled,
    Busy, ///< the far end was busy: an ending like Refused
};

enum class SegmentSide { Output, Microphone };

/// Call handling (voice mail, recording, transfer) plugs into the link through this
/// interface: CSkypeLink::setCallHandler. The link keeps the model (calls, flags, users) up
/// to date and then calls the hook, so a hook always sees the notification's value already
/// stored. All hooks run on the UI thread.
///
/// A hook may change the call list (RemoveCall, fold a call into a conference): the link never
/// touches the call again after a hook returns. The defaults do nothing; with no handler set
/// the link uses BasicCallTracking, which only follows the calls' states.
class CallHandler
{
public:
    virtual ~CallHandler() = default;

    /// STATUS. For ROUTING and RINGING the call has just been created or updated (flags set)
    /// and its information queries follow after the hook. notifiedId is the id Skype named,
    /// which for FINISHED may be a participant of the call found (a conference host).
    virtual void onCallStatus(CSkypeCall& call, CallStatus status, const std::string& notifiedId)
    {
        (void)call, (void)status, (void)notifiedId;
    }
    /// TYPE was stored (direction, network): the answer decision.
    virtual void onCallType(CSkypeCall& call) { (void)call; }
    /// DURATION was stored: the voice-mail length limit.
    virtual void onCallDuration(CSkypeCall& call) { (void)call; }
    /// PARTNER_HANDLE was stored: transfer leg recognition.
    virtual void onCallPartnerHandle(CSkypeCall& call) { (void)call; }
    /// A CONF_ID other than "0" was stored: conference folding.
    virtual void onCallConfId(CSkypeCall& call) { (void)call; }
    /// Skype echoed one of the link's ALTER CALL commands for a known call (property e.g.
    /// "SET_CAPTURE_MIC", value empty when the command carried none): the stop acknowledgement.
    virtual void onAlterCallEcho(CSkypeCall& call, std::string_view property,
                                 std::string_view value)
    {
        (void)call, (void)property, (void)value;
    }
    /// The call's answer timer (CSkypeLink::startAnswerTimer) fired. The timer keeps running
    /// until stopAnswerTimer.
    virtual void onAnswerTimer(CSkypeCall& call) { (void)call; }
    /// The call is about to be unlinked from the list and destroyed.
    virtual void onCallRemoving(CSkypeCall& call) { (void)call; }
    /// The program is about to exit: end what was started in Skype (captures, redirections,
    /// the status) so that only the acknowledgements are left to wait for.
    virtual void onExitRequested() {}
    /// The link shuts down (program exit): finish what is open, stop and join workers.
    virtual void onShutdown() {}

    // Services the link's call operations (StartVoiceMail, StartRecording) need.

    /// The storage check before a voice mail or recording starts.
    virtual bool ensureFreeSpace() { return true; }
    /// The path of the file Skype is to write a segment of the call to, stored by the caller
    /// into outputSegment or micSegment. Empty refuses the start.
    virtual std::string makeSegmentPath(CSkypeCall& call, SegmentSide side)
    {
        (void)call, (void)side;
        return {};
    }
    /// StartVoiceMail answered the call: run the in-progress bookkeeping (current call,
    /// conference). The link refreshes the side panel afterwards.
    virtual void onVoiceMailStarted(CSkypeCall& call) { (void)call; }
};

} // namespace tw
