// The command layer: command codes, call operations and chat notices.
#include "skype/skype_commands.h"

#include "app/trace.h"
#include "platform/file_util.h"
#include "skype/skype_link.h"
#include "skype/skype_text.h"

namespace tw {

const char* commandLabel(int code)
{
    switch (code) {
    case CMD_GET_SKYPE_INFO:
        return "System:CMD_GET_SKYPE_INFO";
    case CMD_GET_USER_FULLNAME:
        return "System:CMD_GET_USER_FULLNAME";
    case CMD_GET_CALL_INFO:
        return "System:CMD_GET_CALL_INFO";
    case CMD_START_LEAVE_MESSAGE:
        return "System:CMD_START_LEAVE_MESSAGE";
    case CMD_STOP_LEAVE_MESSAGE:
        return "System:CMD_STOP_LEAVE_MESSAGE";
    case CMD_START_RECORDING:
        return "System:CMD_START_RECORDING";
    case CMD_STOP_RECORDING:
        return "System:CMD_STOP_RECORDING";
    case CMD_CALL:
        return "System:CMD_CALL";
    case CMD_HANDUP:
        return "System:CMD_HANDUP";
    case CMD_SEND_SKYPE_INIT_INFO:
        return "System:CMD_SEND_SKYPE_INIT_INFO";
    case CMD_SEND_SKYPE_CLOSE_INFO:
        return "System:CMD_SEND_SKYPE_CLOSE_INFO";
    case CMD_CHAT:
        return "System:CMD_CHAT";
    case CMD_TRANSFER_CALL:
        return "Call transfer (transfer)";
    default:
        return nullptr;
    }
}

void CSkypeLink::traceLabel(int code) const
{
    if (const char* label = commandLabel(code))
        trace(2, label);
}

std::uint32_t CSkypeLink::Dispatch(int code)
{
    switch (code) {
    case CMD_GET_SKYPE_INFO:
        traceLabel(code);
        for (const char* command : {"GET SKYPEVERSION", "GET USERSTATUS", "GET CURRENTUSERHANDLE",
                                    "GET AUDIO_IN", "GET AUDIO_OUT", "GET AUTOAWAY", "PROTOCOL 7",
                                    "SEARCH FRIENDS", "SEARCH ACTIVECALLS"})
            SendText(command);
        return 1;
    case CMD_SEND_SKYPE_CLOSE_INFO:
        traceLabel(code);
        return 0;
    default:
        return 0;
    }
}

std::uint32_t CSkypeLink::Dispatch(int code, CSkypeCall& call)
{
    switch (code) {
    case CMD_GET_CALL_INFO:
        sendCallInfoQueries(call.callId);
        return 1;
    case CMD_START_LEAVE_MESSAGE:
        traceLabel(code);
        return StartVoiceMail(call, false);
    case CMD_STOP_LEAVE_MESSAGE:
        traceLabel(code);
        return StopVoiceMail(call);
    case CMD_START_RECORDING:
        traceLabel(code);
        return StartRecording(call);
    case CMD_STOP_RECORDING:
        traceLabel(code);
        return StopRecording(call, false);
    case CMD_HANDUP:
        traceLabel(code);
        HangUp(call);
        return 1;
    case CMD_BUSY_NOTICE:
        call.set(CF_BUSY_NOTICE);
        SendFormat("CHAT CREATE %s DIALOG", call.partnerHandle);
        return 1;
    default:
        return 0;
    }
}

std::uint32_t CSkypeLink::Dispatch(int code, std::string_view text)
{
    switch (code) {
    case CMD_GET_USER_FULLNAME:
        traceLabel(code);
        SendFormat("GET USER %s FULLNAME", text);
        return 1;
    case CMD_CALL:
        traceLabel(code);
        return callSomebody(text);
    case CMD_SEND_SKYPE_INIT_INFO:
    case CMD_SEND_SKYPE_CLOSE_INFO:
        traceLabel(code);
        return 0;
    case CMD_CHAT:
        traceLabel(code);
        SendFormat("CHAT CREATE %s DIALOG", text);
        return 1;
    case CMD_RECORD_NOTICE:
        return recordNotice(text);
    case CMD_TRANSFER_CALL:
        traceLabel(code);
        SendFormat("CALL %s", text);
        return 1;
    default:
        return Dispatch(code);
    }
}

void CSkypeLink::sendCallInfoQueries(std::string_view callId)
{
    traceLabel(CMD_GET_CALL_INFO);
    const std::string id(callId);
    for (const char* format :
         {"GET CALL %s CONF_ID", "GET CALL %s TYPE", "GET CALL %s PARTNER_HANDLE",
          "GET CALL %s PARTNER_DISPNAME", "GET CALL %s TIMESTAMP",
          "GET CALL %s CONF_PARTICIPANTS_COUNT", "GET CALL %s INPUT", "GET CALL %s OUTPUT",
          "GET CALL %s CAPTURE_MIC"})
        SendFormat(format, id);
}

std::uint32_t CSkypeLink::callSomebody(std::string_view nameOrNumber)
{
    if (m_transferActive) {
        m_prompt.message(kTextHangUpConferenceFirst, Prompt::Icon::Information);
        return 0;
    }
    // Refuse before asking: a name that cannot be called must not cost the voice mail.
    if (!isCommandToken(nameOrNumber)) {
        trace(2, "CMD_CALL: refused a name that is not one word");
        return 0;
    }
    if (m_currentCall && m_currentCall->hasAll(CF_VOICEMAIL | CF_CAPTURING)) {
        const auto answer =
            m_prompt.message(kTextStopVoiceMail, Prompt::Icon::Question, Prompt::Buttons::YesNo);
        if (answer != Prompt::Answer::Yes)
            return 0;
        if (m_currentCall)
            Dispatch(CMD_HANDUP, *m_currentCall);
    }
    SendFormat("CALL %s", nameOrNumber);
    m_host.showSkypeMainWindow();
    return 1;
}

std::uint32_t CSkypeLink::recordNotice(std::string_view callId)
{
    for (auto& call : m_calls) {
        if (call.callId == callId) {
            call.set(CF_RECORD_NOTICE);
            const std::string handle = call.partnerHandle;
            SendFormat("CHAT CREATE %s DIALOG", handle);
            return 1;
        }
    }
    for (auto& call : m_calls) {
        if (CallParticipant* p = call.findParticipant(callId)) {
            p->flags |= CF_RECORD_NOTICE;
            const std::string handle = p->partnerHandle;
            SendFormat("CHAT CREATE %s DIALOG", handle);
            return 1;
        }
    }
    return 1;
}

void CSkypeLink::RequestRecordNotices(CSkypeCall& call, bool all)
{
    // Ids first: code 14 looks the parties up again by id.
    std::vector<std::string> ids;
    if (!call.has(CF_NOTICE_DONE)) {
        call.set(CF_NOTICE_DONE);
        ids.push_back(call.callId);
    }
    if (all) {
        for (auto& p : call.participants) {
            if (!(p.flags & CF_NOTICE_DONE)) {
                p.flags |= CF_NOTICE_DONE;
                ids.push_back(p.callId);
            }
        }
    }
    for (const auto& id : ids)
        Dispatch(CMD_RECORD_NOTICE, id);
}

bool CSkypeLink::SendChatMessage(std::string_view chatName, std::string_view message)
{
    if (!isCommandToken(chatName)) {
        trace(2, "CHATMESSAGE: refused a chat name that is not one word");
        return false;
    }
    std::string text = "CHATMESSAGE ";
    text += chatName;
    text += ' ';
    text += message;
    return SendText(text);
}

void CSkypeLink::chatNotice(std::string_view chatName)
{
    // A chat the link created is named "#<me>/$<partner>;<suffix>".
    std::string_view partner;
    bool ours = false;
    if (!m_currentUserHandle.empty()) {
        const std::string prefix = "#" + m_currentUserHandle + "/$";
        if (chatName.starts_with(prefix)) {
            const std::string_view rest = chatName.substr(prefix.size());
            const auto semicolon = rest.find(';');
            if (semicolon != std::string_view::npos) {
                partner = rest.substr(0, semicolon);
                ours = !partner.empty();
            }
        }
    }
    std::uint32_t* flags = nullptr;
    if (ours) {
        for (auto& call : m_calls) {
            if (call.partnerHandle == partner) {
                flags = &call.flags;
                break;
            }
            if (CallParticipant* p = call.findParticipantByHandle(partner)) {
                flags = &p->flags;
                break;
            }
        }
    }
    if (flags && (*flags & CF_BUSY_NOTICE)) {
        *flags &= ~CF_BUSY_NOTICE;
        SendChatMessage(chatName, kTextBusyNotice);
    } else if (flags && (*flags & CF_RECORD_NOTICE)) {
        *flags &= ~CF_RECORD_NOTICE;
        SendChatMessage(chatName, kTextRecordNotice);
    } else {
        SendFormat("OPEN CHAT %s", chatName);
    }
}

// ---- call operations ----

void CSkypeLink::HangUp(CSkypeCall& call)
{
    SendFormat("SET CALL %s STATUS FINISHED", call.callId);
}

bool CSkypeLink::restoreDevice(const CSkypeCall& call, std::string_view property,
                               const std::string& value)
{
    // An empty saved value means nothing was redirected: the command then carries none.
    std::string format = "ALTER CALL %s ";
    format += property;
    if (value.empty())
        return SendFormat(format, call.callId);
    format += " %s";
    return SendFormat(format, call.callId, value);
}

void CSkypeLink::ResendStop(CSkypeCall& call)
{
    // The echo of the stop was lost with the connection; the commands may have been too.
    restoreDevice(call, "SET_OUTPUT", call.savedOutput);
    if (call.recordType == RECORD_VOICEMAIL)
        restoreDevice(call, "SET_INPUT", call.savedInput);
    if (restoreDevice(call, "SET_CAPTURE_MIC", call.savedCaptureMic))
        ++call.stopEchoesDue;
}

bool CSkypeLink::captureToFile(CSkypeCall& call, std::string_view path, bool keepSpeakers)
{
    // Keeping the speakers means naming the saved output beside the file; without a saved
    // output there is nothing to name, and ", FILE=" alone is no valid value.
    if (keepSpeakers && !call.savedOutput.empty())
        return SendFormat("ALTER CALL %s SET_OUTPUT %s, FILE=\"%s\"", call.callId, call.savedOutput,
                          path);
    return SendFormat("ALTER CALL %s SET_OUTPUT FILE=\"%s\"", call.callId, path);
}

std::uint32_t CSkypeLink::StartVoiceMail(CSkypeCall& call, bool answered)
{
    if (!m_handler->ensureFreeSpace()) {
        m_prompt.message(kTextStorageLow, Prompt::Icon::Information);
        return 1;
    }
    std::string segment = m_handler->makeSegmentPath(call, SegmentSide::Output);
    if (!isQuotableText(segment) || !isQuotableText(m_settings.greetingFile)) {
        trace(2, "StartVoiceMail: no usable greeting or segment path");
        return 0;
    }
    call.set(CF_VOICEMAIL | CF_CAPTURING);
    call.recordStart = call.recordEnd = m_loop.wallTime();
    call.voiceMailStartSec = call.durationSec;
    // Skype says whether it plays the greeting (VAA_INPUT_STATUS); a file that is not there
    // cannot be played at all.
    call.greeting = FileExists(m_settings.greetingFile) ? CSkypeCall::Greeting::Unknown
                                                        : CSkypeCall::Greeting::Unplayable;
    SendFormat("ALTER CALL %s SET_INPUT FILE=\"%s\"", call.callId, m_settings.greetingFile);
    call.outputSegment = std::move(segment);
    captureToFile(call, call.outputSegment, !m_settings.muteCaller);
    if (!answered)
        SendFormat("SET CALL %s STATUS INPROGRESS", call.callId);
    m_userStatusTracking = false;
    SendText("SET USERSTATUS DND");
    call.recordType = RECORD_VOICEMAIL;
    m_handler->onVoiceMailStarted(call);
    notifyCallStateChanged();
    return 1;
}

std::uint32_t CSkypeLink::StopVoiceMail(CSkypeCall& call)
{
    call.clear(CF_VOICEMAIL | CF_CAPTURING);
    call.set(CF_STOP_PENDING);
    restoreDevice(call, "SET_OUTPUT", call.savedOutput);
    restoreDevice(call, "SET_INPUT", call.savedInput);
    if (SendFormat("ALTER CALL %s SET_CAPTURE_MIC", call.callId))
        ++call.stopEchoesDue;
    call.recordEnd = m_loop.wallTime();
    RestoreUserStatus();
    notifyCallStateChanged();
    return 1;
}

std::uint32_t CSkypeLink::StartRecording(CSkypeCall& call)
{
    if (!m_handler->ensureFreeSpace()) {
        m_prompt.message(kTextStorageLow, Prompt::Icon::Information);
        return 0;
    }
    std::string output = m_handler->makeSegmentPath(call, SegmentSide::Output);
    std::string mic;
    if (!m_transferActive)
        mic = m_handler->makeSegmentPath(call, SegmentSide::Microphone);
    if (!isQuotableText(output) || (!m_transferActive && !isQuotableText(mic))) {
        trace(2, "StartRecording: no usable segment path");
        return 0;
    }
    if (!call.has(CF_RECORDING)) {
        call.recordStart = call.recordEnd = m_loop.wallTime();
        call.recordType = RECORD_CONVERSATION;
        call.set(CF_RECORDING);
    }
    call.outputSegment = std::move(output);
    if (!m_transferActive)
        call.micSegment = std::move(mic);
    if (m_transferActive) {
        captureToFile(call, call.outputSegment, false);
        SendText("Set MUTE ON");
    } else {
        captureToFile(call, call.outputSegment, true);
        SendFormat("ALTER CALL %s SET_CAPTURE_MIC FILE=\"%s\"", call.callId, call.micSegment);
    }
    call.set(CF_CAPTURING);
    if (m_settings.recordWarn)
        RequestRecordNotices(call, true);
    notifyCallStateChanged();
    return 1;
}

std::uint32_t CSkypeLink::StopRecording(CSkypeCall& call, bool pause)
{
    call.clear(CF_CAPTURING);
    call.set(CF_STOP_PENDING);
    if (pause)
        call.set(CF_ONHOLD);
    else
        call.clear(CF_RECORDING);
    // The microphone comes last: Skype runs commands in order, so its echo completes the stop
    // only once the output file has been let go too.
    if (m_transferActive)
        Mute(call, true);
    else
        restoreDevice(call, "SET_OUTPUT", call.savedOutput);
    if (restoreDevice(call, "SET_CAPTURE_MIC", call.savedCaptureMic))
        ++call.stopEchoesDue;
    call.recordEnd = m_loop.wallTime();
    notifyCallStateChanged();
    return 1;
}

void CSkypeLink::Mute(CSkypeCall& call, bool on)
{
    if (on) {
        SendText("SET MUTE ON");
        SendFormat("ALTER CALL %s SET_OUTPUT", call.callId);
    } else {
        SendText("SET MUTE OFF");
        restoreDevice(call, "SET_OUTPUT", call.savedOutput);
    }
}

} // namespace tw
