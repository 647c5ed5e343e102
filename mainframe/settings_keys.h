#pragma once

// Sections and keys of the configuration file ("Tellwick.Ini") and the side-panel list
// ("splist.ini"). These names are the files' own: users and older files rely on them.

namespace tw::keys {

inline constexpr char kConfigFileName[] = "Tellwick.Ini";
inline constexpr char kPanelListFileName[] = "splist.ini";

inline constexpr char kPreference[] = "Preference";
inline constexpr char kNotification[] = "Notification";
inline constexpr char kCallTransfer[] = "CallTransfer";
inline constexpr char kCallOutSave[] = "CallOutSave";
inline constexpr char kSPanel[] = "SPanel";
inline constexpr char kUrl[] = "URL";
inline constexpr char kMp3[] = "MP3";
inline constexpr char kSPList[] = "SPList";

// "Preference"
inline constexpr char kRecordStorageMinFreeSpace[] = "nRecordStorageMinFreeSpace";
inline constexpr char kRecordStorageFolder[] = "sRecordStorageFolder";
inline constexpr char kRecordStorageRecycle[] = "fRecordStorageRecycle";
inline constexpr char kVoiceMailEnable[] = "fVoiceMailEnable";
inline constexpr char kVoiceMailWaitingPeriod[] = "nVoiceMailWaitingPeriod";
inline constexpr char kVoiceMailMaxLength[] = "nVoiceMailMaxLength";
inline constexpr char kVoiceMailEmail[] = "fVoiceMailEmail";
inline constexpr char kGreetingType[] = "nGreetingType";
inline constexpr char kDefaultGreetingIndex[] = "nDefaultGreetingIndex";
inline constexpr char kMuteCaller[] = "fMuteCaller";
inline constexpr char kConversationRecord[] = "fConversationRecord";
inline constexpr char kRecordWarn[] = "fRecordWarn";
inline constexpr char kACodec[] = "nACodec";
inline constexpr char kACodecForEmail[] = "nACodecForEmail";
inline constexpr char kAFormatMode[] = "nAFormatMode";
inline constexpr char kStickWithSkype[] = "fStickWithSkype";
inline constexpr char kAlwaysOnTop[] = "fAlwaysOnTop";
inline constexpr char kStartUp[] = "fStartUp";
inline constexpr char kDesktopNotify[] = "fDesktopNotify";
inline constexpr char kMainWndClassName[] = "MainWndClassName";

// "Notification"
inline constexpr char kEmailSize[] = "EmailSize";
inline constexpr char kEmailServer[] = "EmailServer";
inline constexpr char kEmailUserName[] = "EmailUserName";
inline constexpr char kEmailPW[] = "EmailPW";
inline constexpr char kEmailFrom[] = "EmailFrom";
inline constexpr char kEmailToCount[] = "EmailToCount";
inline constexpr char kEmailTo[] = "EmailTo";
inline constexpr char kEmailSubject[] = "EmailSubject";
inline constexpr char kEmailPicNum[] = "EmailPicNum";
inline constexpr char kEmailSecurity[] = "EmailSecurity";
inline constexpr char kEmailCAFile[] = "EmailCAFile";

// "CallTransfer" and "CallOutSave"
inline constexpr char kEnable[] = "fEnable";
inline constexpr char kSkypeName[] = "sSkypeName";
inline constexpr char kPassword[] = "sPassword";
inline constexpr char kSkypeNameFrom[] = "sSkypeNameFrom";
inline constexpr char kSkypeNameTo[] = "sSkypeNameTo";

// "SPanel", "URL", "MP3"
inline constexpr char kLeft[] = "left";
inline constexpr char kTop[] = "top";
inline constexpr char kReg[] = "REG";
inline constexpr char kOptions[] = "OPTIONS";

// "SPList"
inline constexpr char kCount[] = "nCount";
inline constexpr char kRecordCur[] = "nRecordCur";
inline constexpr char kRecordPrefix[] = "Record"; // Record1 .. Record<nCount>

} // namespace tw::keys
