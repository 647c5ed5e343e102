#pragma once

#include <string>

namespace tw {

/// The settings the link holds for call handling, pushed in by the main frame (keys of the
/// configuration file in brackets). Call handling reads them; only the link's setters write.
struct SkypeLinkSettings
{
    bool voiceMailEnable = true;    ///< [fVoiceMailEnable] arm the answer timer
    int waitingPeriodSec = 10;      ///< [nVoiceMailWaitingPeriod] before a call is answered
    int maxLengthSec = 60;          ///< [nVoiceMailMaxLength] of the message after the greeting
    bool conversationRecord = true; ///< [fConversationRecord] record when a call goes in progress
    bool recordWarn = false;        ///< [fRecordWarn] send the recording notice chat
    bool muteCaller = false;        ///< [fMuteCaller] the user does not hear a voice-mail caller
    int formatMode = 1;             ///< [nAFormatMode] 1: conversations as two channels
    bool transferEnable = false;    ///< [CallTransfer fEnable]
    std::string transferSkypeName;  ///< [CallTransfer sSkypeName]
    bool callOutEnable = false;     ///< [CallOutSave fEnable] held, not used by call handling
    std::string greetingFile = "default.wav"; ///< the file Skype plays to the caller
    int greetingLength = 500;                 ///< in hundredths of a second
    std::string recordsFolder;                ///< [sRecordStorageFolder]
};

} // namespace tw
