#pragma once

namespace tw {

/// Command codes run through CSkypeLink::Dispatch. The argument each takes is in brackets.
enum SkypeCommand : int {
    CMD_GET_SKYPE_INFO = 1,         ///< [none] the initial queries after attach
    CMD_GET_USER_FULLNAME = 2,      ///< [handle]
    CMD_GET_CALL_INFO = 3,          ///< [call]
    CMD_START_LEAVE_MESSAGE = 4,    ///< [call] StartVoiceMail(call, false)
    CMD_STOP_LEAVE_MESSAGE = 5,     ///< [call] StopVoiceMail
    CMD_START_RECORDING = 6,        ///< [call] StartRecording
    CMD_STOP_RECORDING = 7,         ///< [call] StopRecording(call, false)
    CMD_CALL = 8,                   ///< [name or number] call somebody, asking first if needed
    CMD_HANDUP = 9,                 ///< [call]
    CMD_SEND_SKYPE_INIT_INFO = 10,  ///< [text] sends nothing
    CMD_SEND_SKYPE_CLOSE_INFO = 11, ///< [none] sends nothing
    CMD_CHAT = 12,                  ///< [Skype name] open a chat with somebody
    CMD_BUSY_NOTICE = 13,           ///< [call] chat the busy notice to the caller
    CMD_RECORD_NOTICE = 14,         ///< [call id] chat the recording notice to that party
    CMD_TRANSFER_CALL = 15,         ///< [Skype name]
};

/// The trace label of a code, or null for codes without one.
const char* commandLabel(int code);

// Texts the link shows or sends (the application's string table entries).
inline constexpr const char* kTextStorageLow =
    "Storage space is not enough!  Please remove some unused data from the storage."; // 61211
inline constexpr const char* kTextBusyNotice =
    "/me is not available to take your call. Please kindly call later. Sorry for the "
    "inconvenience! "; // 61298
inline constexpr const char* kTextStopVoiceMail =
    "Do you want to stop the video mail recording?"; // 61299
inline constexpr const char* kTextOldSkype =
    "Your Skype version is not supported. Please "
    "upgrade Skype to version 3.0 or later version."; // 61300
inline constexpr const char* kTextRecordNotice =
    "This notification is to inform you that this call will be recorded. To decline the "
    "recording, please end the call."; // 61319
inline constexpr const char* kTextHangUpConferenceFirst =
    "Please hand up the current conference call first before making a new call."; // 61322

} // namespace tw
