// The conformance table: every command form skype-sim answers, each with the reply and the
// notifications the real client gave for it, run in order against one skype-sim. The table
// is checked against the sim's own list of forms, so no command goes in without its row.
#include <gtest/gtest.h>

#include <QProcess>

#include "sim/sim_chats.h"
#include "sim/sim_vocabulary.h"
#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;

namespace {

struct Row
{
    QString form;           // the sim's command form this row shows; "" for a control step or junk
    QString command;        // what the client sends; "@Method a|b" calls the control object instead
    QString reply;          // the exact reply; "*" stands for any text (times)
    QStringList notes = {}; // notifications that must follow, in this order
};

const char* const kDevice = "Built-in Audio Analog Stereo";

// {mine}: the dialog alice opens with bob; {theirs}: the one carol opens with alice.
const std::vector<Row>& table()
{
    static const std::vector<Row> rows = {
        {"NAME <application>",
         "NAME Tellwick",
         "OK",
         {"CONNSTATUS ONLINE", "CURRENTUSERHANDLE alice", "USERSTATUS ONLINE"}},
        {"PING", "PING", "PONG"},
        {"PING", "#7 PING", "#7 PONG"},
        {"", "FROBNICATE", "ERROR 2 Unknown command"},
        {"PROTOCOL <n>", "PROTOCOL 99", "PROTOCOL 8"},
        {"PROTOCOL <n>", "PROTOCOL 7", "PROTOCOL 7"},
        {"PROTOCOL <n>", "PROTOCOL x", "ERROR 1 General syntax error"},

        // Facts about the client and the local user.
        {"GET SKYPEVERSION", "GET SKYPEVERSION", "SKYPEVERSION 2.2.0.35"},
        {"GET USERSTATUS", "get userstatus", "USERSTATUS ONLINE"},
        {"GET CURRENTUSERHANDLE", "GET CURRENTUSERHANDLE", "CURRENTUSERHANDLE alice"},
        {"GET AUDIO_IN", "GET AUDIO_IN", QStringLiteral("AUDIO_IN ") + kDevice},
        {"GET AUDIO_OUT", "GET AUDIO_OUT", QStringLiteral("AUDIO_OUT ") + kDevice},
        {"GET RINGER", "GET RINGER", QStringLiteral("RINGER ") + kDevice},
        {"GET AUTOAWAY", "GET AUTOAWAY", "AUTOAWAY ON"},
        {"GET CONNSTATUS", "GET CONNSTATUS", "CONNSTATUS ONLINE"},
        {"GET MUTE", "GET MUTE", "MUTE OFF"},
        {"", "GET NOTHING", "ERROR 7 GET: invalid WHAT"},
        {"SET USERSTATUS <status>",
         "SET USERSTATUS DND",
         "USERSTATUS DND",
         {"USERSTATUS DND", "USER alice ONLINESTATUS DND"}},
        {"SET USERSTATUS <status>",
         "SET USERSTATUS ONLINE",
         "USERSTATUS ONLINE",
         {"USERSTATUS ONLINE", "USER alice ONLINESTATUS ONLINE"}},
        {"SET USERSTATUS <status>", "#3 SET USERSTATUS SLEEPY", "#3 ERROR 28 Unknown userstatus"},
        {"SET AUTOAWAY ON|OFF", "SET AUTOAWAY OFF", "AUTOAWAY OFF"},
        {"SET MUTE ON|OFF", "SET MUTE ON", "MUTE OFF"}, // nothing to mute without a call
        {"SET MUTE ON|OFF", "SET MUTE MAYBE", "ERROR 53 invalid value"},
        {"SET AUDIO_IN <device>", "SET AUDIO_IN USB Headset", "AUDIO_IN USB Headset"},
        {"SET AUDIO_OUT <device>", "SET AUDIO_OUT USB Headset", "AUDIO_OUT USB Headset"},
        {"SET RINGER <device>", "SET RINGER Speakers", "RINGER Speakers"},
        {"SET RINGER <device>", "SET RINGER", "ERROR 50 cannot set device"},
        {"GET RINGER", "GET RINGER", "RINGER Speakers"},
        {"", "SET NOTHING 1", "ERROR 18 SET: invalid WHAT"},

        // Users and the profile.
        {"GET USER <handle> FULLNAME", "GET USER bob FULLNAME", "USER bob FULLNAME Bob Brown"},
        {"GET USER <handle> ONLINESTATUS", "GET USER carol ONLINESTATUS",
         "USER carol ONLINESTATUS AWAY"},
        {"GET USER <handle> ONLINESTATUS", "GET USER nobody ONLINESTATUS",
         "USER nobody ONLINESTATUS UNKNOWN"},
        {"GET USER <handle> HANDLE", "GET USER bob HANDLE", "USER bob HANDLE bob"},
        {"GET USER <handle> DISPLAYNAME", "GET USER bob DISPLAYNAME", "USER bob DISPLAYNAME "},
        {"GET USER <handle> BUDDYSTATUS", "GET USER bob BUDDYSTATUS", "USER bob BUDDYSTATUS 3"},
        {"GET USER <handle> MOOD_TEXT", "GET USER alice MOOD_TEXT", "USER alice MOOD_TEXT "},
        {"", "GET USER bob COLOUR", "ERROR 10 Invalid PROP"},
        {"GET PROFILE FULLNAME", "GET PROFILE FULLNAME", "PROFILE FULLNAME Alice Anders"},
        {"GET PROFILE MOOD_TEXT", "GET PROFILE MOOD_TEXT", "PROFILE MOOD_TEXT "},
        {"", "GET PROFILE COLOUR", "ERROR 7 GET: invalid WHAT"},
        {"SET PROFILE MOOD_TEXT <text>",
         "SET PROFILE MOOD_TEXT Out to lunch",
         "PROFILE MOOD_TEXT Out to lunch",
         {"PROFILE MOOD_TEXT Out to lunch"}},
        {"GET USER <handle> MOOD_TEXT", "GET USER alice MOOD_TEXT",
         "USER alice MOOD_TEXT Out to lunch"},
        {"SET PROFILE FULLNAME <text>",
         "SET PROFILE FULLNAME Alice A. Anders",
         "PROFILE FULLNAME Alice A. Anders",
         {"PROFILE FULLNAME Alice A. Anders"}},
        {"GET USER <handle> FULLNAME", "GET USER alice FULLNAME",
         "USER alice FULLNAME Alice A. Anders"},
        {"", "SET PROFILE COLOUR red", "ERROR 552 SET PROFILE : invalid property profile given"},
        {"SEARCH FRIENDS", "SEARCH FRIENDS", "USERS bob, carol, dave"},
        {"SEARCH FRIENDS", "SEARCH FRIENDS bob", "ERROR 67 Target not allowed with SEARCH FRIENDS"},
        {"", "SEARCH NOTHING", "ERROR 3 Search: unknown WHAT"},

        // An incoming call: its properties, SEEN, and refusing it the protocol 8 way.
        {"SEARCH ACTIVECALLS", "SEARCH ACTIVECALLS", "CALLS "},
        {"", "@Ring bob||", "100", {"CALL 100 CONF_ID 0", "CALL 100 STATUS RINGING"}},
        {"SEARCH ACTIVECALLS", "SEARCH ACTIVECALLS", "CALLS 100"},
        {"SEARCH ACTIVECALLS", "SEARCH ACTIVECALLS bob",
         "ERROR 29 SEARCH ACTIVECALLS: target not allowed"},
        {"GET CALL <id> STATUS", "GET CALL 100 STATUS", "CALL 100 STATUS RINGING"},
        {"GET CALL <id> TYPE", "GET CALL 100 TYPE", "CALL 100 TYPE INCOMING_P2P"},
        {"GET CALL <id> TYPE", "GET CALL x TYPE", "ERROR 11 Invalid call id"},
        {"GET CALL <id> TYPE", "GET CALL 999 TYPE", "ERROR 12 Unknown call"},
        {"", "GET CALL 100 COLOUR", "ERROR 13 Invalid PROP"},
        {"GET CALL <id> PARTNER_HANDLE", "GET CALL 100 PARTNER_HANDLE",
         "CALL 100 PARTNER_HANDLE bob"},
        {"GET CALL <id> PARTNER_DISPNAME", "GET CALL 100 PARTNER_DISPNAME",
         "CALL 100 PARTNER_DISPNAME Bob Brown"},
        {"GET CALL <id> TIMESTAMP", "GET CALL 100 TIMESTAMP", "CALL 100 TIMESTAMP *"},
        {"GET CALL <id> DURATION", "GET CALL 100 DURATION", "CALL 100 DURATION 0"},
        {"GET CALL <id> CONF_ID", "GET CALL 100 CONF_ID", "CALL 100 CONF_ID 0"},
        {"GET CALL <id> CONF_PARTICIPANTS_COUNT", "GET CALL 100 CONF_PARTICIPANTS_COUNT",
         "CALL 100 CONF_PARTICIPANTS_COUNT 0"},
        {"GET CALL <id> INPUT", "GET CALL 100 INPUT", "CALL 100 INPUT SOUNDCARD=\"default\""},
        {"GET CALL <id> OUTPUT", "GET CALL 100 OUTPUT", "CALL 100 OUTPUT SOUNDCARD=\"default\""},
        {"GET CALL <id> CAPTURE_MIC", "GET CALL 100 CAPTURE_MIC", "CALL 100 CAPTURE_MIC "},
        {"GET CALL <id> VAA_INPUT_STATUS", "GET CALL 100 VAA_INPUT_STATUS",
         "CALL 100 VAA_INPUT_STATUS FALSE"},
        {"GET CALL <id> FAILUREREASON", "GET CALL 100 FAILUREREASON", "CALL 100 FAILUREREASON 1"},
        {"GET CALL <id> SUBJECT", "GET CALL 100 SUBJECT", "CALL 100 SUBJECT "},
        {"GET CALL <id> PSTN_NUMBER", "GET CALL 100 PSTN_NUMBER", "CALL 100 PSTN_NUMBER "},
        {"GET CALL <id> PSTN_STATUS", "GET CALL 100 PSTN_STATUS", "CALL 100 PSTN_STATUS "},
        {"GET CALL <id> VIDEO_STATUS", "GET CALL 100 VIDEO_STATUS",
         "CALL 100 VIDEO_STATUS VIDEO_NONE"},
        {"GET CALL <id> SEEN", "GET CALL 100 SEEN", "CALL 100 SEEN FALSE"},
        {"SET CALL <id> SEEN [TRUE]",
         "SET CALL 100 SEEN",
         "CALL 100 SEEN TRUE",
         {"CALL 100 SEEN TRUE"}},
        {"SET CALL <id> SEEN [TRUE]", "SET CALL 100 SEEN TRUE", "CALL 100 SEEN TRUE"},
        {"SET CALL <id> SEEN [TRUE]", "SET CALL 100 SEEN FALSE",
         "ERROR 21 Unknown/disallowed call prop"},
        {"SET CALL <id> SEEN [TRUE]", "SET CALL x SEEN", "ERROR 19 Invalid call id"},
        {"SET CALL <id> SEEN [TRUE]", "SET CALL 999 SEEN", "ERROR 20 Unknown call"},
        {"GET CALL <id> SEEN", "GET CALL 100 SEEN", "CALL 100 SEEN TRUE"},
        {"", "SET CALL 100 COLOUR red", "ERROR 21 Unknown/disallowed call prop"},
        {"ALTER CALL <id> END HANGUP|REDIRECT_TO_VOICEMAIL|FORWARD_CALL", "ALTER CALL 100 END NOW",
         "ERROR 558 CALL: Missing or invalid arguments"},
        {"ALTER CALL <id> END HANGUP|REDIRECT_TO_VOICEMAIL|FORWARD_CALL",
         "ALTER CALL 100 END HANGUP",
         "ALTER CALL 100 END HANGUP",
         {"CALL 100 STATUS REFUSED"}},
        {"ALTER CALL <id> HANGUP", "ALTER CALL 100 HANGUP", "ERROR 24 Cannot hangup inactive call"},
        {"ALTER CALL <id> HOLD", "ALTER CALL 100 HOLD",
         "ERROR 22 Cannot hold this call at the moment"},
        {"ALTER CALL <id> RESUME", "ALTER CALL 100 RESUME",
         "ERROR 23 Cannot resume this call at the moment"},
        {"ALTER CALL <id> ANSWER", "ALTER CALL 100 ANSWER", "ERROR 559 CALL: Action failed"},
        {"ALTER CALL <id> DTMF <digits>", "ALTER CALL 100 DTMF 1", "ERROR 41 Call not active"},
        {"ALTER CALL <id> ANSWER", "ALTER CALL x ANSWER", "ERROR 11 Invalid call id"},
        {"ALTER CALL <id> ANSWER", "ALTER CALL 999 ANSWER", "ERROR 12 Unknown call"},
        {"", "ALTER CALL 100", "ERROR 557 CALL: No action given"},
        {"", "ALTER CALL 100 TRANSFER carol", "ERROR 560 CALL: Unknown action"},
        {"", "ALTER", "ERROR 526 ALTER: no object type given"},
        {"", "ALTER CHAT x LEAVE", "ERROR 527 ALTER: unknown object type given"},

        // A call taken, held, resumed, redirected, joined with an outgoing one, ended.
        {"", "@Ring carol||", "101", {"CALL 101 STATUS RINGING"}},
        {"ALTER CALL <id> ANSWER",
         "ALTER CALL 101 ANSWER",
         "ALTER CALL 101 ANSWER",
         {"CALL 101 STATUS INPROGRESS"}},
        {"ALTER CALL <id> DTMF <digits>", "ALTER CALL 101 DTMF 12#", "ALTER CALL 101 DTMF 12#"},
        {"ALTER CALL <id> DTMF <digits>", "ALTER CALL 101 DTMF x", "ERROR 42 Invalid DTMF code"},
        {"ALTER CALL <id> HOLD",
         "ALTER CALL 101 HOLD",
         "ALTER CALL 101 HOLD",
         {"CALL 101 STATUS LOCALHOLD"}},
        {"ALTER CALL <id> RESUME",
         "ALTER CALL 101 RESUME",
         "ALTER CALL 101 RESUME",
         {"CALL 101 STATUS INPROGRESS"}},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED",
         "SET CALL 101 STATUS ONHOLD",
         "CALL 101 STATUS INPROGRESS",
         {"CALL 101 STATUS LOCALHOLD"}},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED",
         "SET CALL 101 STATUS INPROGRESS",
         "CALL 101 STATUS INPROGRESS",
         {"CALL 101 STATUS INPROGRESS"}},
        {"SET MUTE ON|OFF", "SET MUTE ON", "MUTE ON"},
        {"SET MUTE ON|OFF", "SET MUTE OFF", "MUTE OFF"},
        {"ALTER CALL <id> SET_INPUT [SOUNDCARD=\"default\"][, PORT=\"<n>\"][, FILE=\"<path>\"]",
         "ALTER CALL 101 SET_INPUT SOUNDCARD=\"default\"",
         "ALTER CALL 101 SET_INPUT SOUNDCARD=\"default\""},
        {"ALTER CALL <id> SET_OUTPUT [SOUNDCARD=\"default\"][, PORT=\"<n>\"][, FILE=\"<path>\"]",
         "ALTER CALL 101 SET_OUTPUT SOUNDCARD=\"default\", PORT=\"7\"",
         "ALTER CALL 101 SET_OUTPUT SOUNDCARD=\"default\", PORT=\"7\""},
        {"ALTER CALL <id> SET_OUTPUT [SOUNDCARD=\"default\"][, PORT=\"<n>\"][, FILE=\"<path>\"]",
         "ALTER CALL 101 SET_OUTPUT FILE=x", "ERROR 558 CALL: Missing or invalid arguments"},
        {"ALTER CALL <id> SET_CAPTURE_MIC [PORT=\"<n>\"][, FILE=\"<path>\"]",
         "ALTER CALL 101 SET_CAPTURE_MIC", "ALTER CALL 101 SET_CAPTURE_MIC"},
        {"GET CALL <id> OUTPUT", "GET CALL 101 OUTPUT",
         "CALL 101 OUTPUT SOUNDCARD=\"default\", PORT=\"7\""},
        {"CALL <handle>",
         "CALL dave",
         "CALL 102 STATUS UNPLACED",
         {"CALL 102 STATUS ROUTING", "CALL 102 STATUS RINGING"}},
        {"CALL <handle>", "CALL", "ERROR 4 Empty target not allowed"},
        {"CALL <handle>", "CALL bob, carol", "ERROR 72 Cannot create conference"},
        {"", "@Answer 102", "", {"CALL 102 STATUS INPROGRESS"}},
        {"ALTER CALL <id> JOIN_CONFERENCE <id>",
         "ALTER CALL 101 JOIN_CONFERENCE 102",
         "ALTER CALL 101 JOIN_CONFERENCE 102",
         {"CALL 101 CONF_ID 17930", "CALL 102 CONF_ID 17930"}},
        {"ALTER CALL <id> JOIN_CONFERENCE <id>", "ALTER CALL 101 JOIN_CONFERENCE x",
         "ERROR 558 CALL: Missing or invalid arguments"},
        {"GET CALL <id> CONF_PARTICIPANTS_COUNT", "GET CALL 101 CONF_PARTICIPANTS_COUNT",
         "CALL 101 CONF_PARTICIPANTS_COUNT 2"},
        {"GET CALL <id> CONF_PARTICIPANT <n>", "GET CALL 101 CONF_PARTICIPANT 2",
         "CALL 101 CONF_PARTICIPANT 2 dave OUTGOING_P2P INPROGRESS Dave Dunn"},
        {"GET CALL <id> CONF_PARTICIPANT <n>", "GET CALL 101 CONF_PARTICIPANT 5",
         "ERROR 71 Invalid conference participant NO"},
        {"", "@Ring bob||", "103", {"CALL 103 STATUS RINGING"}},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED",
         "SET CALL 103 STATUS INPROGRESS",
         "CALL 103 STATUS INPROGRESS",
         {"CALL 103 STATUS INPROGRESS"}},
        {"SET CALL <id> JOIN_CONFERENCE <id>",
         "SET CALL 103 JOIN_CONFERENCE 101",
         "CALL 103 CONF_ID 17930",
         {"CALL 103 CONF_ID 17930", "CALL 101 CONF_ID 17930"}},
        {"SET CALL <id> JOIN_CONFERENCE <id>", "SET CALL 103 JOIN_CONFERENCE 999",
         "ERROR 20 Unknown call"},
        {"ALTER CALL <id> HANGUP",
         "ALTER CALL 103 HANGUP",
         "ALTER CALL 103 HANGUP",
         {"CALL 103 STATUS FINISHED"}},
        {"ALTER CALL <id> END HANGUP|REDIRECT_TO_VOICEMAIL|FORWARD_CALL",
         "ALTER CALL 102 END FORWARD_CALL",
         "ALTER CALL 102 END FORWARD_CALL",
         {"CALL 102 STATUS FINISHED"}},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED",
         "SET CALL 101 STATUS FINISHED",
         "CALL 101 STATUS FINISHED",
         {"CALL 101 STATUS FINISHED"}},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED", "SET CALL 101 STATUS FINISHED",
         "ERROR 24 Cannot hangup inactive call"},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED", "SET CALL 101 STATUS ONHOLD",
         "ERROR 22 Cannot hold this call at the moment"},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED", "SET CALL 101 STATUS INPROGRESS",
         "ERROR 23 Cannot resume this call at the moment"},
        {"SET CALL <id> STATUS INPROGRESS|ONHOLD|FINISHED", "SET CALL 101 STATUS SLEEPING",
         "ERROR 21 Unknown/disallowed call prop"},
        {"", "@Ring +15551234567|Pat Phone|", "104", {"CALL 104 STATUS RINGING"}},
        {"ALTER CALL <id> END HANGUP|REDIRECT_TO_VOICEMAIL|FORWARD_CALL",
         "ALTER CALL 104 END REDIRECT_TO_VOICEMAIL",
         "ALTER CALL 104 END REDIRECT_TO_VOICEMAIL",
         {"CALL 104 STATUS REFUSED"}},
        {"", "@Ring erin||", "105", {"CALL 105 STATUS RINGING"}},
        {"", "@HangUp 105", "", {"CALL 105 STATUS MISSED"}},

        // The call history, searched and cleared.
        {"SEARCH CALLS [<handle>]", "SEARCH CALLS", "CALLS 100, 101, 102, 103, 104, 105"},
        {"SEARCH CALLS [<handle>]", "SEARCH CALLS bob", "CALLS 100, 103"},
        {"SEARCH MISSEDCALLS", "SEARCH MISSEDCALLS", "CALLS 105"},
        {"SEARCH MISSEDCALLS", "SEARCH MISSEDCALLS bob",
         "ERROR 6 SEARCH MISSEDCALLS: target not allowed"},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]",
         "CLEAR CALLHISTORY MISSED ALL",
         "CLEAR CALLHISTORY MISSED ALL",
         {"CALLHISTORYCHANGED"}},
        {"SEARCH MISSEDCALLS", "SEARCH MISSEDCALLS", "CALLS "},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]",
         "CLEAR CALLHISTORY INCOMING bob",
         "CLEAR CALLHISTORY INCOMING bob",
         {"CALLHISTORYCHANGED"}},
        {"SEARCH CALLS [<handle>]", "SEARCH CALLS", "CALLS 101, 102, 104"},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]",
         "CLEAR CALLHISTORY OUTGOING",
         "CLEAR CALLHISTORY OUTGOING",
         {"CALLHISTORYCHANGED"}},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]",
         "CLEAR CALLHISTORY ALL ALL",
         "CLEAR CALLHISTORY ALL ALL",
         {"CALLHISTORYCHANGED"}},
        {"SEARCH CALLS [<handle>]", "SEARCH CALLS", "CALLS "},
        {"GET CALL <id> STATUS", "GET CALL 101 STATUS", "ERROR 12 Unknown call"},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]", "CLEAR CALLHISTORY",
         "ERROR 524 CLEAR CALLHISTORY: missing target argument"},
        {"CLEAR CALLHISTORY ALL|MISSED|INCOMING|OUTGOING [<handle>|ALL]",
         "CLEAR CALLHISTORY ALL bob carol", "ERROR 525 CLEAR CALLHISTORY: invalid handle argument"},
        {"", "CLEAR", "ERROR 520 CLEAR needs a target"},
        {"", "CLEAR EVERYTHING", "ERROR 521 Invalid/unknown CLEAR target"},

        // Chats: one the local user opens, one a contact opens; their messages.
        {"CHAT CREATE <handle>", "CHAT CREATE bob", "CHAT {mine} STATUS DIALOG"},
        {"CHAT CREATE <handle>", "CHAT CREATE bob DIALOG", "CHAT {mine} STATUS DIALOG"},
        {"CHAT CREATE <handle>", "CHAT CREATE bob, carol",
         "ERROR 507 CHAT: CREATE: invalid/missing user handle(s) as argument"},
        {"", "CHAT DISBAND", "ERROR 503 CHAT: Invalid or unknown action"},
        {"CHATMESSAGE <chat> <text>",
         "CHATMESSAGE {mine} Hello, bob",
         "CHATMESSAGE 401 STATUS SENDING",
         {"CHATMESSAGE 401 STATUS SENT"}},
        {"CHATMESSAGE <chat> <text>", "CHATMESSAGE {mine}", "ERROR 43 cannot send empty message"},
        {"CHATMESSAGE <chat> <text>", "CHATMESSAGE #nobody/$alice;00 hi",
         "ERROR 105 Invalid chat name"},
        {"MESSAGE <handle> <text>",
         "MESSAGE bob Still there?",
         "CHATMESSAGE 402 STATUS SENDING",
         {"CHATMESSAGE 402 STATUS SENT"}},
        {"",
         "@IncomingChat carol|Are you there?",
         "{theirs}",
         {"CHAT {theirs} STATUS DIALOG", "CHATMESSAGE 403 STATUS RECEIVED"}},
        {"GET CHATMESSAGE <id> CHATNAME", "GET CHATMESSAGE 401 CHATNAME",
         "CHATMESSAGE 401 CHATNAME {mine}"},
        {"GET CHATMESSAGE <id> TIMESTAMP", "GET CHATMESSAGE 401 TIMESTAMP",
         "CHATMESSAGE 401 TIMESTAMP *"},
        {"GET CHATMESSAGE <id> FROM_HANDLE", "GET CHATMESSAGE 401 FROM_HANDLE",
         "CHATMESSAGE 401 FROM_HANDLE alice"},
        {"GET CHATMESSAGE <id> FROM_DISPNAME", "GET CHATMESSAGE 401 FROM_DISPNAME",
         "CHATMESSAGE 401 FROM_DISPNAME Alice A. Anders"},
        {"GET CHATMESSAGE <id> TYPE", "GET CHATMESSAGE 401 TYPE", "CHATMESSAGE 401 TYPE SAID"},
        {"GET CHATMESSAGE <id> USERS", "GET CHATMESSAGE 401 USERS", "CHATMESSAGE 401 USERS "},
        {"GET CHATMESSAGE <id> LEAVEREASON", "GET CHATMESSAGE 401 LEAVEREASON",
         "CHATMESSAGE 401 LEAVEREASON "},
        {"GET CHATMESSAGE <id> BODY", "GET CHATMESSAGE 401 BODY",
         "CHATMESSAGE 401 BODY Hello, bob"},
        {"GET CHATMESSAGE <id> STATUS", "GET CHATMESSAGE 401 STATUS",
         "CHATMESSAGE 401 STATUS SENT"},
        {"GET CHATMESSAGE <id> FROM_HANDLE", "GET CHATMESSAGE 403 FROM_HANDLE",
         "CHATMESSAGE 403 FROM_HANDLE carol"},
        {"GET CHATMESSAGE <id> FROM_DISPNAME", "GET CHATMESSAGE 403 FROM_DISPNAME",
         "CHATMESSAGE 403 FROM_DISPNAME Carol Clark"},
        {"GET CHATMESSAGE <id> BODY", "GET CHATMESSAGE 403 BODY",
         "CHATMESSAGE 403 BODY Are you there?"},
        {"GET CHATMESSAGE <id> STATUS", "GET CHATMESSAGE 403 STATUS",
         "CHATMESSAGE 403 STATUS RECEIVED"},
        {"GET CHATMESSAGE <id> BODY", "GET CHATMESSAGE x BODY", "ERROR 14 Invalid message id"},
        {"GET CHATMESSAGE <id> BODY", "GET CHATMESSAGE 999 BODY", "ERROR 15 Unknown message"},
        {"", "GET CHATMESSAGE 401 COLOUR", "ERROR 16 Invalid PROP"},
        {"GET CHAT <chat> NAME", "GET CHAT {mine} NAME", "CHAT {mine} NAME {mine}"},
        {"GET CHAT <chat> TIMESTAMP", "GET CHAT {mine} TIMESTAMP", "CHAT {mine} TIMESTAMP *"},
        {"GET CHAT <chat> ADDER", "GET CHAT {mine} ADDER", "CHAT {mine} ADDER "},
        {"GET CHAT <chat> ADDER", "GET CHAT {theirs} ADDER", "CHAT {theirs} ADDER carol"},
        {"GET CHAT <chat> STATUS", "GET CHAT {mine} STATUS", "CHAT {mine} STATUS DIALOG"},
        {"GET CHAT <chat> TYPE", "GET CHAT {mine} TYPE", "CHAT {mine} TYPE DIALOG"},
        {"GET CHAT <chat> POSTERS", "GET CHAT {mine} POSTERS", "CHAT {mine} POSTERS alice"},
        {"GET CHAT <chat> MEMBERS", "GET CHAT {mine} MEMBERS", "CHAT {mine} MEMBERS alice bob"},
        {"GET CHAT <chat> MEMBERS", "GET CHAT {theirs} MEMBERS",
         "CHAT {theirs} MEMBERS carol alice"},
        {"GET CHAT <chat> ACTIVEMEMBERS", "GET CHAT {mine} ACTIVEMEMBERS",
         "CHAT {mine} ACTIVEMEMBERS alice bob"},
        {"GET CHAT <chat> TOPIC", "GET CHAT {mine} TOPIC", "CHAT {mine} TOPIC "},
        {"GET CHAT <chat> FRIENDLYNAME", "GET CHAT {mine} FRIENDLYNAME",
         "CHAT {mine} FRIENDLYNAME bob | Hello, bob"},
        {"GET CHAT <chat> DIALOG_PARTNER", "GET CHAT {theirs} DIALOG_PARTNER",
         "CHAT {theirs} DIALOG_PARTNER carol"},
        {"GET CHAT <chat> CHATMESSAGES", "GET CHAT {mine} CHATMESSAGES",
         "CHAT {mine} CHATMESSAGES 401, 402"},
        {"GET CHAT <chat> BOOKMARKED", "GET CHAT {mine} BOOKMARKED",
         "CHAT {mine} BOOKMARKED FALSE"},
        {"GET CHAT <chat> RECENTCHATMESSAGES", "GET CHAT {mine} RECENTCHATMESSAGES",
         "CHAT {mine} RECENTCHATMESSAGES 401, 402"},
        {"GET CHAT <chat> ACTIVITY_TIMESTAMP", "GET CHAT {mine} ACTIVITY_TIMESTAMP",
         "CHAT {mine} ACTIVITY_TIMESTAMP *"},
        {"GET CHAT <chat> NAME", "GET CHAT #nobody/$alice;00 NAME", "ERROR 105 Invalid chat name"},
        {"", "GET CHAT {mine} COLOUR", "ERROR 106 Invalid PROP"},
        {"SEARCH CHATS", "SEARCH CHATS", "CHATS {mine}, {theirs}"},
        {"SEARCH CHATS", "SEARCH CHATS bob", "ERROR 107 Target not allowed with CHATS"},
        {"SEARCH ACTIVECHATS", "SEARCH ACTIVECHATS", "CHATS {mine}, {theirs}"},
        {"SEARCH RECENTCHATS", "SEARCH RECENTCHATS", "CHATS {mine}, {theirs}"},
        {"SEARCH MISSEDCHATS", "SEARCH MISSEDCHATS", "CHATS {theirs}"},
        {"SEARCH BOOKMARKEDCHATS", "SEARCH BOOKMARKEDCHATS", "CHATS "},
        {"SEARCH CHATMESSAGES [<handle>]", "SEARCH CHATMESSAGES", "CHATMESSAGES 401, 402, 403"},
        {"SEARCH CHATMESSAGES [<handle>]", "SEARCH CHATMESSAGES carol", "CHATMESSAGES 403"},
        {"SEARCH MISSEDCHATMESSAGES", "SEARCH MISSEDCHATMESSAGES", "CHATMESSAGES 403"},
        {"SEARCH MISSEDCHATMESSAGES", "SEARCH MISSEDCHATMESSAGES carol",
         "ERROR 29 SEARCH MISSEDCHATMESSAGES: target not allowed"},
        {"SET CHATMESSAGE <id> SEEN",
         "SET CHATMESSAGE 403 SEEN",
         "CHATMESSAGE 403 STATUS READ",
         {"CHATMESSAGE 403 STATUS READ"}},
        {"SET CHATMESSAGE <id> SEEN", "SET CHATMESSAGE 401 SEEN", "CHATMESSAGE 401 STATUS SENT"},
        {"SET CHATMESSAGE <id> SEEN", "SET CHATMESSAGE x SEEN", "ERROR 30 Invalid message id"},
        {"SET CHATMESSAGE <id> SEEN", "SET CHATMESSAGE 999 SEEN", "ERROR 31 Unknown message id"},
        {"", "SET CHATMESSAGE 401 BODY edited", "ERROR 32 Invalid WHAT"},
        {"SEARCH MISSEDCHATMESSAGES", "SEARCH MISSEDCHATMESSAGES", "CHATMESSAGES "},
        {"SEARCH MISSEDCHATS", "SEARCH MISSEDCHATS", "CHATS "},
        {"OPEN <window> [<target>]", "OPEN CHAT {theirs}", "OPEN CHAT {theirs}"},
        {"CLEAR CHATHISTORY", "CLEAR CHATHISTORY now",
         "ERROR 522 CLEAR CHATHISTORY takes no arguments"},
        {"CLEAR CHATHISTORY", "CLEAR CHATHISTORY", "CLEAR CHATHISTORY", {"IMHISTORYCHANGED"}},
        {"SEARCH CHATMESSAGES [<handle>]", "SEARCH CHATMESSAGES", "CHATMESSAGES "},
    };
    return rows;
}

QString substitute(QString text)
{
    text.replace("{mine}", tw::sim::dialogChatName("alice", "bob"));
    text.replace("{theirs}", tw::sim::dialogChatName("carol", "alice"));
    return text;
}

/// The text is the pattern, where each "*" stands for any run of characters.
bool matches(const QString& pattern, const QString& text)
{
    const QStringList parts = pattern.split('*');
    if (parts.size() == 1)
        return text == pattern;
    if (!text.startsWith(parts.first()))
        return false;
    qsizetype pos = parts.first().size();
    for (qsizetype i = 1; i + 1 < parts.size(); ++i) {
        pos = text.indexOf(parts[i], pos);
        if (pos < 0)
            return false;
        pos += parts[i].size();
    }
    return text.size() - parts.last().size() >= pos && text.endsWith(parts.last());
}

/// The command has the form's keywords where the form has them. Placeholders (<id>) and
/// choices (ON|OFF) take any word, or none, since a row may show the refusal of a missing
/// or wrong argument; an optional [part] ends the comparison.
bool matchesForm(const QString& command, const QString& form)
{
    const QStringList c = command.section(' ', command.startsWith('#') ? 1 : 0).split(' ');
    const QStringList f = form.split(' ');
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i].startsWith('['))
            return true;
        if (f[i].startsWith('<') || f[i].contains('|'))
            continue;
        if (i >= c.size() || f[i] != c[i].toUpper())
            return false;
    }
    return true;
}

bool inOrder(const QStringList& got, const QStringList& want)
{
    qsizetype at = 0;
    for (const QString& w : want) {
        at = got.indexOf(w, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

/// "@Method a|b": the control method's first answer as text ("" if none).
QString runControl(const QString& step)
{
    const QString method = step.mid(1).section(' ', 0, 0);
    QVariantList args;
    for (const QString& a : step.section(' ', 1).split('|'))
        args << a;
    if (step.section(' ', 1).isEmpty())
        args.clear();
    const QDBusMessage reply = control(method, args);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return "<control error> " + reply.errorMessage();
    return reply.arguments().value(0).toString();
}

} // namespace

TEST(SimConformance, TheTableShowsEveryCommandFormOfTheSim)
{
    const QStringList forms = tw::sim::commandForms();
    QSet<QString> shown;
    for (const Row& row : table()) {
        if (row.form.isEmpty()) {
            EXPECT_TRUE(row.command.startsWith('@') || row.reply.startsWith("ERROR"))
                << "a row with no form is a control step or a refusal: "
                << row.command.toStdString();
            continue;
        }
        EXPECT_TRUE(forms.contains(row.form)) << "no such form: " << row.form.toStdString();
        EXPECT_TRUE(matchesForm(row.command, row.form))
            << row.command.toStdString() << " is not " << row.form.toStdString();
        shown.insert(row.form);
    }
    for (const QString& form : forms)
        EXPECT_TRUE(shown.contains(form)) << "the table has no row for " << form.toStdString();
}

TEST(SimConformance, EveryRowHoldsAgainstTheSim)
{
    SimProcess sim({"--answer-after", "-1"});
    TestClient client("conformance");
    for (const Row& row : table()) {
        const QString command = substitute(row.command);
        client.notes.clear();
        const QString reply =
            command.startsWith('@') ? runControl(command) : client.invoke(command);
        EXPECT_TRUE(matches(substitute(row.reply), reply))
            << command.toStdString() << "\n  got:  " << reply.toStdString()
            << "\n  want: " << substitute(row.reply).toStdString();
        QStringList want;
        for (const QString& note : row.notes)
            want << substitute(note);
        if (want.isEmpty())
            continue;
        EXPECT_TRUE(waitFor([&] { return inOrder(client.notes, want); }, 5s))
            << command.toStdString() << "\n  notes: " << client.notes.join(" | ").toStdString()
            << "\n  want:  " << want.join(" | ").toStdString();
    }
}

TEST(SimConformance, HelpListsEveryCommandForm)
{
    QProcess help;
    help.start(QStringLiteral(SKYPE_SIM_PATH), {"--help"});
    ASSERT_TRUE(help.waitForFinished(10000));
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const QString& form : tw::sim::commandForms())
        EXPECT_TRUE(text.contains(form)) << form.toStdString();
    EXPECT_TRUE(text.contains("Not played"));
}
