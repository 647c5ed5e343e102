#pragma once

// The words of the text protocol that the substitute answers. The protocol code refuses
// any word that is not in these lists (with the error the real client gives) before it
// looks further, so the lists are exactly what the substitute speaks, and commandForms()
// spells them out for the help text and for the conformance test.

#include <span>
#include <string_view>

#include <QString>
#include <QStringList>

namespace tw::sim {

/// One keyword and what follows it in a command (empty if nothing).
struct Keyword
{
    std::string_view word;
    std::string_view args;
};

/// An object kind named after GET, SET or ALTER: its id placeholder and its properties (or
/// actions).
struct ObjectKind
{
    std::string_view word;
    std::string_view id; // "<id>", "<handle>", "<chat>"; empty when the object has no id
    std::span<const Keyword> props;
};

// Verbs that take their arguments directly. GET, SET, ALTER, SEARCH and CLEAR follow.
inline constexpr Keyword kCommandVerbs[] = {
    {"NAME", "<application>"},
    {"PING", ""},
    {"PROTOCOL", "<n>"},
    {"CALL", "<handle>"},
    {"CHAT", "CREATE <handle>"},
    {"CHATMESSAGE", "<chat> <text>"},
    {"MESSAGE", "<handle> <text>"},
    {"OPEN", "<window> [<target>]"},
};

inline constexpr Keyword kGetWhats[] = {
    {"SKYPEVERSION", ""}, {"USERSTATUS", ""}, {"CURRENTUSERHANDLE", ""},
    {"AUDIO_IN", ""},     {"AUDIO_OUT", ""},  {"RINGER", ""},
    {"AUTOAWAY", ""},     {"CONNSTATUS", ""}, {"MUTE", ""},
};

inline constexpr Keyword kUserProps[] = {
    {"FULLNAME", ""},    {"ONLINESTATUS", ""}, {"HANDLE", ""},
    {"DISPLAYNAME", ""}, {"BUDDYSTATUS", ""},  {"MOOD_TEXT", ""},
};

inline constexpr Keyword kCallProps[] = {
    {"STATUS", ""},
    {"TYPE", ""},
    {"PARTNER_HANDLE", ""},
    {"PARTNER_DISPNAME", ""},
    {"TIMESTAMP", ""},
    {"DURATION", ""},
    {"CONF_ID", ""},
    {"CONF_PARTICIPANTS_COUNT", ""},
    {"CONF_PARTICIPANT", "<n>"},
    {"INPUT", ""},
    {"OUTPUT", ""},
    {"CAPTURE_MIC", ""},
    {"VAA_INPUT_STATUS", ""},
    {"FAILUREREASON", ""},
    {"SUBJECT", ""},
    {"PSTN_NUMBER", ""},
    {"PSTN_STATUS", ""},
    {"VIDEO_STATUS", ""},
    {"SEEN", ""},
};

inline constexpr Keyword kChatProps[] = {
    {"NAME", ""},
    {"TIMESTAMP", ""},
    {"ADDER", ""},
    {"STATUS", ""},
    {"TYPE", ""},
    {"POSTERS", ""},
    {"MEMBERS", ""},
    {"ACTIVEMEMBERS", ""},
    {"TOPIC", ""},
    {"FRIENDLYNAME", ""},
    {"DIALOG_PARTNER", ""},
    {"CHATMESSAGES", ""},
    {"BOOKMARKED", ""},
    {"RECENTCHATMESSAGES", ""},
    {"ACTIVITY_TIMESTAMP", ""},
};

inline constexpr Keyword kChatMessageProps[] = {
    {"CHATNAME", ""}, {"TIMESTAMP", ""},   {"FROM_HANDLE", ""}, {"FROM_DISPNAME", ""}, {"TYPE", ""},
    {"USERS", ""},    {"LEAVEREASON", ""}, {"BODY", ""},        {"STATUS", ""},
};

inline constexpr Keyword kProfileProps[] = {{"FULLNAME", ""}, {"MOOD_TEXT", ""}};

inline constexpr ObjectKind kGetObjects[] = {
    {"USER", "<handle>", kUserProps}, {"CALL", "<id>", kCallProps},
    {"CHAT", "<chat>", kChatProps},   {"CHATMESSAGE", "<id>", kChatMessageProps},
    {"PROFILE", "", kProfileProps},
};

inline constexpr Keyword kSetWhats[] = {
    {"USERSTATUS", "<status>"}, {"MUTE", "ON|OFF"},        {"AUTOAWAY", "ON|OFF"},
    {"AUDIO_IN", "<device>"},   {"AUDIO_OUT", "<device>"}, {"RINGER", "<device>"},
};

inline constexpr Keyword kCallSetProps[] = {
    {"STATUS", "INPROGRESS|ONHOLD|FINISHED"},
    {"SEEN", "[TRUE]"},
    {"JOIN_CONFERENCE", "<id>"},
};

inline constexpr Keyword kChatMessageSetProps[] = {{"SEEN", ""}};

inline constexpr Keyword kProfileSetProps[] = {{"FULLNAME", "<text>"}, {"MOOD_TEXT", "<text>"}};

inline constexpr ObjectKind kSetObjects[] = {
    {"CALL", "<id>", kCallSetProps},
    {"CHATMESSAGE", "<id>", kChatMessageSetProps},
    {"PROFILE", "", kProfileSetProps},
};

inline constexpr Keyword kCallActions[] = {
    {"ANSWER", ""},
    {"HOLD", ""},
    {"RESUME", ""},
    {"HANGUP", ""},
    {"END", "HANGUP|REDIRECT_TO_VOICEMAIL|FORWARD_CALL"},
    {"DTMF", "<digits>"},
    {"JOIN_CONFERENCE", "<id>"},
    {"SET_INPUT", "[SOUNDCARD=\"default\"][, PORT=\"<n>\"][, FILE=\"<path>\"]"},
    {"SET_OUTPUT", "[SOUNDCARD=\"default\"][, PORT=\"<n>\"][, FILE=\"<path>\"]"},
    {"SET_CAPTURE_MIC", "[PORT=\"<n>\"][, FILE=\"<path>\"]"},
};

inline constexpr ObjectKind kAlterObjects[] = {{"CALL", "<id>", kCallActions}};

inline constexpr Keyword kSearchWhats[] = {
    {"FRIENDS", ""},
    {"CALLS", "[<handle>]"},
    {"ACTIVECALLS", ""},
    {"MISSEDCALLS", ""},
    {"CHATS", ""},
    {"ACTIVECHATS", ""},
    {"MISSEDCHATS", ""},
    {"RECENTCHATS", ""},
    {"BOOKMARKEDCHATS", ""},
    {"CHATMESSAGES", "[<handle>]"},
    {"MISSEDCHATMESSAGES", ""},
};

inline constexpr Keyword kClearWhats[] = {
    {"CALLHISTORY", "ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]"},
    {"CHATHISTORY", ""},
};

/// The keyword of the list that is this word in any case; nullptr if there is none.
const Keyword* findKeyword(std::span<const Keyword> list, const QString& word);
const ObjectKind* findObject(std::span<const ObjectKind> list, const QString& word);

/// Every command form the substitute answers, one a line ("GET CALL <id> SEEN").
QStringList commandForms();

/// What --help says the substitute answers and what it does not play.
QString helpText();

/// "ERROR <code> <text>": how the client refuses a command.
QString errorReply(int code, const char* text);

} // namespace tw::sim
