// The text protocol of the substitute Skype client: one command in, one reply out, as the
// real client answered (keywords in any case; values kept as given). Every keyword is
// looked up in sim_vocabulary.h first; a word that is not there gets the client's error.
#include <QTimer>

#include "sim/sim_model.h"
#include "sim/sim_vocabulary.h"

namespace tw::sim {

namespace {

/// The text after the first n space-separated words (spaces inside it kept).
QString restAfter(const QString& command, int n)
{
    int pos = 0;
    for (int i = 0; i < n; ++i) {
        pos = command.indexOf(QLatin1Char(' '), pos);
        if (pos < 0)
            return {};
        ++pos;
    }
    return command.mid(pos);
}

bool is(const QString& word, const char* keyword)
{
    return word.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

const QString kNoValue = QStringLiteral("<no value>"); // listed but not answered: a table fails

} // namespace

QString SimModel::execute(const QString& command)
{
    const QStringList w = command.split(QLatin1Char(' '));
    const QString verb = w.value(0).toUpper();
    static const QStringList compound{"GET", "SET", "ALTER", "SEARCH", "CLEAR"};
    if (command.isEmpty())
        return errorReply(1, "General syntax error");
    if (!findKeyword(kCommandVerbs, verb) && !compound.contains(verb))
        return errorReply(2, "Unknown command");
    if (verb == "PING")
        return QStringLiteral("PONG");
    if (verb == "PROTOCOL") {
        bool ok = false;
        const int asked = w.value(1).toInt(&ok);
        if (!ok || asked < 1)
            return errorReply(1, "General syntax error");
        return QStringLiteral("PROTOCOL %1").arg(std::min(asked, m_s.protocol));
    }
    if (verb == "GET")
        return get(w);
    if (verb == "SET")
        return set(w, command);
    if (verb == "ALTER")
        return alter(command);
    if (verb == "SEARCH")
        return search(w.value(1).toUpper(), restAfter(command, 2));
    if (verb == "CLEAR")
        return clear(w, command);
    if (verb == "CALL")
        return callCommand(restAfter(command, 1));
    if (verb == "CHAT")
        return is(w.value(1), "CREATE") ? m_chats.create(restAfter(command, 2))
                                        : errorReply(503, "CHAT: Invalid or unknown action");
    if (verb == "CHATMESSAGE")
        return m_chats.send(restAfter(command, 1));
    if (verb == "MESSAGE")
        return m_chats.sendTo(restAfter(command, 1));
    if (verb == "OPEN")
        return command;                      // OPEN CHAT <name> and friends only show a window
    return errorReply(2, "Unknown command"); // NAME: answered by the service
}

QString SimModel::get(const QStringList& w)
{
    const QString what = w.value(1).toUpper();
    if (findObject(kGetObjects, what))
        return getObject(what, w);
    if (!findKeyword(kGetWhats, what) || w.size() != 2)
        return errorReply(7, "GET: invalid WHAT");
    if (what == "SKYPEVERSION")
        return "SKYPEVERSION " + m_s.version;
    if (what == "USERSTATUS")
        return "USERSTATUS " + m_s.userStatus;
    if (what == "CURRENTUSERHANDLE")
        return "CURRENTUSERHANDLE " + m_s.userHandle;
    if (what == "AUDIO_IN")
        return "AUDIO_IN " + m_s.audioIn;
    if (what == "AUDIO_OUT")
        return "AUDIO_OUT " + m_s.audioOut;
    if (what == "RINGER")
        return "RINGER " + m_ringer;
    if (what == "AUTOAWAY")
        return m_autoAway ? QStringLiteral("AUTOAWAY ON") : QStringLiteral("AUTOAWAY OFF");
    if (what == "CONNSTATUS")
        return QStringLiteral("CONNSTATUS ONLINE");
    if (what == "MUTE")
        return m_mute ? QStringLiteral("MUTE ON") : QStringLiteral("MUTE OFF");
    return kNoValue;
}

QString SimModel::getObject(const QString& what, const QStringList& w)
{
    if (what == "USER")
        return getUser(w);
    if (what == "CALL") {
        QString error;
        Call* call = callNamed(w.value(2), &error);
        if (!call)
            return error;
        if (!findKeyword(kCallProps, w.value(3)))
            return errorReply(13, "Invalid PROP");
        return getCall(*call, w);
    }
    if (what == "CHAT")
        return m_chats.getChat(w);
    if (what == "CHATMESSAGE")
        return m_chats.getMessage(w);
    if (what == "PROFILE") {
        if (!findKeyword(kProfileProps, w.value(2)) || w.size() != 3)
            return errorReply(7, "GET: invalid WHAT");
        const QString property = w[2].toUpper();
        return QStringLiteral("PROFILE %1 %2")
            .arg(property, property == "FULLNAME" ? m_s.userFullName : m_moodText);
    }
    return kNoValue;
}

SimModel::Call* SimModel::callNamed(const QString& word, QString* error, int invalidCode)
{
    bool ok = false;
    const int id = word.toInt(&ok);
    Call* call = ok ? findCall(id) : nullptr;
    if (!call)
        *error = ok ? errorReply(invalidCode + 1, "Unknown call")
                    : errorReply(invalidCode, "Invalid call id");
    return call;
}

QString SimModel::getUser(const QStringList& w)
{
    const QString handle = w.value(2);
    if (handle.isEmpty())
        return errorReply(8, "Invalid user handle");
    if (!findKeyword(kUserProps, w.value(3)) || w.size() != 4)
        return errorReply(10, "Invalid PROP");
    const QString property = w[3].toUpper();
    const bool me = handle == m_s.userHandle;
    const SimContact* c = contact(handle);
    const QString prefix = QStringLiteral("USER %1 %2 ").arg(handle, property);
    if (property == "FULLNAME")
        return prefix + (me ? m_s.userFullName : c ? c->fullName : QString());
    if (property == "ONLINESTATUS") {
        QString status = me ? m_s.userStatus : c ? c->status : QStringLiteral("UNKNOWN");
        if (me && status == "INVISIBLE")
            status = QStringLiteral("OFFLINE");
        return prefix + status;
    }
    if (property == "HANDLE")
        return prefix + handle;
    if (property == "DISPLAYNAME")
        return prefix;
    if (property == "BUDDYSTATUS")
        return prefix + (c ? QStringLiteral("3") : QStringLiteral("1"));
    if (property == "MOOD_TEXT")
        return prefix + (me ? m_moodText : QString());
    return kNoValue;
}

QString SimModel::getCall(Call& call, const QStringList& w)
{
    const QString property = w[3].toUpper();
    const QString prefix = QStringLiteral("CALL %1 %2 ").arg(call.id).arg(property);
    if (property == "STATUS")
        return prefix + call.status;
    if (property == "TYPE") {
        const QString net = call.partner.startsWith('+') ? "PSTN" : "P2P";
        return prefix + (call.incoming ? "INCOMING_" : "OUTGOING_") + net;
    }
    if (property == "PARTNER_HANDLE")
        return prefix + call.partner;
    if (property == "PARTNER_DISPNAME")
        return prefix + call.partnerName;
    if (property == "TIMESTAMP")
        return prefix + QString::number(call.timestamp);
    if (property == "DURATION")
        return prefix + QString::number(call.duration);
    if (property == "CONF_ID")
        return prefix + QString::number(call.confId);
    if (property == "INPUT")
        return prefix + call.input;
    if (property == "OUTPUT")
        return prefix + call.output;
    if (property == "CAPTURE_MIC")
        return prefix + call.captureMic;
    if (property == "VAA_INPUT_STATUS")
        return prefix + (call.vaaInput ? "TRUE" : "FALSE");
    if (property == "SEEN")
        return prefix + (call.seen ? "TRUE" : "FALSE");
    if (property == "FAILUREREASON")
        return prefix + "1";
    if (property == "SUBJECT" || property == "PSTN_NUMBER" || property == "PSTN_STATUS")
        return prefix;
    if (property == "VIDEO_STATUS")
        return prefix + "VIDEO_NONE";

    // The legs of a conference, this call's included, in the order they were placed.
    std::vector<const Call*> legs;
    if (call.confId)
        for (const auto& [id, c] : m_calls)
            if (c->confId == call.confId && isActive(*c))
                legs.push_back(c.get());
    if (property == "CONF_PARTICIPANTS_COUNT")
        return prefix + QString::number(legs.size());
    if (property == "CONF_PARTICIPANT") {
        bool ok = false;
        const int n = w.value(4).toInt(&ok);
        if (!ok || n < 1 || n > int(legs.size()))
            return errorReply(71, "Invalid conference participant NO");
        const Call* leg = legs[size_t(n - 1)];
        const QString type = QString(leg->incoming ? "INCOMING_" : "OUTGOING_") +
                             (leg->partner.startsWith('+') ? "PSTN" : "P2P");
        return QStringLiteral("CALL %1 CONF_PARTICIPANT %2 %3 %4 %5 %6")
            .arg(call.id)
            .arg(n)
            .arg(leg->partner, type, leg->status, leg->partnerName);
    }
    return kNoValue;
}

QString SimModel::setObject(const QString& what, const QStringList& w, const QString& command)
{
    if (what == "CALL") {
        QString error;
        Call* call = callNamed(w.value(2), &error, 19);
        if (!call)
            return error;
        if (!findKeyword(kCallSetProps, w.value(3)))
            return errorReply(21, "Unknown/disallowed call prop");
        return setCall(*call, w);
    }
    if (what == "CHATMESSAGE")
        return m_chats.setMessage(w);
    if (what == "PROFILE") {
        if (!findKeyword(kProfileSetProps, w.value(2)))
            return errorReply(552, "SET PROFILE : invalid property profile given");
        const QString property = w[2].toUpper();
        const QString value = restAfter(command, 3);
        (property == "FULLNAME" ? m_s.userFullName : m_moodText) = value;
        const QString reply = QStringLiteral("PROFILE %1 %2").arg(property, value);
        emitNote(reply);
        return reply;
    }
    return kNoValue;
}

QString SimModel::set(const QStringList& w, const QString& command)
{
    const QString what = w.value(1).toUpper();
    if (findObject(kSetObjects, what))
        return setObject(what, w, command);
    if (!findKeyword(kSetWhats, what))
        return errorReply(18, "SET: invalid WHAT");
    const QString value = restAfter(command, 2);
    if (what == "USERSTATUS") {
        const QString status = value.toUpper();
        if (!isUserStatus(status))
            return errorReply(28, "Unknown userstatus");
        setUserStatus(status);
        return "USERSTATUS " + status;
    }
    if (what == "MUTE" || what == "AUTOAWAY") {
        const QString v = value.toUpper();
        if (v != "ON" && v != "OFF")
            return errorReply(53, "invalid value");
        const bool inCall = std::any_of(m_calls.begin(), m_calls.end(), [](const auto& kv) {
            return kv.second->status == "INPROGRESS";
        });
        bool& flag = what == "MUTE" ? m_mute : m_autoAway;
        flag = v == "ON" && (inCall || what == "AUTOAWAY"); // nothing to mute without a call
        return what + (flag ? " ON" : " OFF");
    }
    // AUDIO_IN, AUDIO_OUT, RINGER: any device name.
    if (value.trimmed().isEmpty())
        return errorReply(50, "cannot set device");
    (what == "AUDIO_IN" ? m_s.audioIn : what == "AUDIO_OUT" ? m_s.audioOut : m_ringer) = value;
    return what + ' ' + value;
}

QString SimModel::setCall(Call& call, const QStringList& w)
{
    const QString property = w[3].toUpper();
    const QString value = w.value(4).toUpper();
    const QString reply = QStringLiteral("CALL %1 %2 %3").arg(call.id);
    if (property == "SEEN") {
        if (w.size() > 5 || (w.size() == 5 && value != "TRUE"))
            return errorReply(21, "Unknown/disallowed call prop");
        if (!call.seen)
            emitNote(reply.arg(property, "TRUE"));
        call.seen = true;
        return reply.arg(property, "TRUE");
    }
    if (property == "JOIN_CONFERENCE") {
        bool ok = false;
        const int other = w.value(4).toInt(&ok);
        if (!ok)
            return errorReply(19, "Invalid call id");
        QString answer;
        const QString problem = joinCalls(call.id, other, &answer);
        return problem.isEmpty() ? answer : errorReply(20, "Unknown call");
    }
    // STATUS
    if (value == "INPROGRESS") {
        if (call.status == "RINGING" && call.incoming) {
            goInProgress(call);
            tellCarrier(call.id, CallCarrier::ClientAction::Answer);
            return reply.arg(property, value);
        }
        if (call.status == "LOCALHOLD" || call.status == "REMOTEHOLD") {
            goInProgress(call);
            tellCarrier(call.id, CallCarrier::ClientAction::Resume);
        }
        if (call.status == "INPROGRESS")
            return reply.arg(property, value);
        return errorReply(23, "Cannot resume this call at the moment");
    }
    if (value == "ONHOLD") {
        if (call.status != "INPROGRESS")
            return errorReply(22, "Cannot hold this call at the moment");
        // Answered with the state at that moment; the hold itself follows as a notice.
        QTimer::singleShot(0, this, [this, id = call.id] {
            if (hold(id, false).isEmpty())
                tellCarrier(id, CallCarrier::ClientAction::Hold);
        });
        return reply.arg(property, call.status);
    }
    if (value == "FINISHED") {
        if (!isActive(call))
            return errorReply(24, "Cannot hangup inactive call");
        const QString end = endByUser(call);
        tellCarrier(call.id, CallCarrier::ClientAction::End);
        return reply.arg(property, end);
    }
    return errorReply(21, "Unknown/disallowed call prop");
}

QString SimModel::search(const QString& what, const QString& target)
{
    if (!findKeyword(kSearchWhats, what))
        return errorReply(3, "Search: unknown WHAT");
    if (what.contains("CHAT"))
        return m_chats.search(what, target);
    QStringList items;
    if (what == "FRIENDS") {
        if (!target.isEmpty())
            return errorReply(67, "Target not allowed with SEARCH FRIENDS");
        for (const SimContact& c : m_s.contacts)
            items << c.handle;
        return "USERS " + items.join(QStringLiteral(", "));
    }
    if (what == "MISSEDCALLS" && !target.isEmpty())
        return errorReply(6, "SEARCH MISSEDCALLS: target not allowed");
    if (what == "ACTIVECALLS" && !target.isEmpty())
        return errorReply(29, "SEARCH ACTIVECALLS: target not allowed");
    for (const auto& [id, call] : m_calls) {
        const bool pick = what == "CALLS"         ? target.isEmpty() || call->partner == target
                          : what == "ACTIVECALLS" ? isActive(*call)
                                                  : call->status == "MISSED";
        if (pick)
            items << QString::number(id);
    }
    return "CALLS " + items.join(QStringLiteral(", "));
}

QString SimModel::clear(const QStringList& w, const QString& command)
{
    if (w.size() < 2 || w[1].isEmpty())
        return errorReply(520, "CLEAR needs a target");
    if (!findKeyword(kClearWhats, w[1]))
        return errorReply(521, "Invalid/unknown CLEAR target");
    if (is(w[1], "CHATHISTORY"))
        return w.size() == 2 ? m_chats.clearHistory()
                             : errorReply(522, "CLEAR CHATHISTORY takes no arguments");
    static const QStringList kinds{"ALL", "MISSED", "INCOMING", "OUTGOING"};
    const QString kind = w.value(2).toUpper();
    if (!kinds.contains(kind))
        return errorReply(524, "CLEAR CALLHISTORY: missing target argument");
    const QString handle = w.value(3);
    if (w.size() > 4 || (w.size() == 4 && handle.isEmpty()))
        return errorReply(525, "CLEAR CALLHISTORY: invalid handle argument");
    clearCallHistory(kind, handle.isEmpty() || is(handle, "ALL") ? QString() : handle);
    return command;
}

QString SimModel::callCommand(const QString& targets)
{
    const QString handle = targets.trimmed();
    if (handle.isEmpty())
        return errorReply(4, "Empty target not allowed");
    if (handle.contains(QLatin1Char(',')) || handle.contains(QLatin1Char(' ')))
        return errorReply(72, "Cannot create conference"); // calls to several are not played
    int id = 0;
    dial(handle, &id);
    return QStringLiteral("CALL %1 STATUS UNPLACED").arg(id);
}

} // namespace tw::sim
