// The text protocol of the substitute Skype client: one command in, one reply out, as the
// real client answered (keywords in any case; values kept as given).
#include <QTimer>

#include "sim/redirect_value.h"
#include "sim/sim_model.h"

namespace tw::sim {

namespace {

constexpr int kMaxChatLog = 10000;

QString err(int code, const char* text)
{
    return QStringLiteral("ERROR %1 %2").arg(code).arg(QLatin1String(text));
}

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

} // namespace

QString SimModel::execute(const QString& command)
{
    const QStringList w = command.split(QLatin1Char(' '));
    const QString verb = w.value(0).toUpper();
    if (command.isEmpty())
        return err(1, "General syntax error");
    if (verb == "PING")
        return QStringLiteral("PONG");
    if (verb == "PROTOCOL") {
        bool ok = false;
        const int asked = w.value(1).toInt(&ok);
        if (!ok || asked < 1)
            return err(1, "Invalid protocol");
        return QStringLiteral("PROTOCOL %1").arg(std::min(asked, m_s.protocol));
    }
    if (verb == "GET")
        return get(w, command);
    if (verb == "SET")
        return set(w, command);
    if (verb == "ALTER")
        return alterCall(command);
    if (verb == "SEARCH")
        return search(w.value(1).toUpper());
    if (verb == "CALL")
        return callCommand(restAfter(command, 1));
    if (verb == "CHAT" && is(w.value(1), "CREATE"))
        return chatCreate(restAfter(command, 2));
    if (verb == "CHATMESSAGE")
        return chatMessage(restAfter(command, 1));
    if (verb == "OPEN")
        return command; // OPEN CHAT <name> and friends only show a window
    return err(2, "Unknown command");
}

QString SimModel::get(const QStringList& w, const QString& command)
{
    const QString what = w.value(1).toUpper();
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
    if (what == "AUTOAWAY")
        return m_autoAway ? QStringLiteral("AUTOAWAY ON") : QStringLiteral("AUTOAWAY OFF");
    if (what == "CONNSTATUS")
        return QStringLiteral("CONNSTATUS ONLINE");
    if (what == "MUTE")
        return m_mute ? QStringLiteral("MUTE ON") : QStringLiteral("MUTE OFF");
    if (what == "USER" && w.size() >= 4)
        return getUser(w[2], restAfter(command, 3).toUpper());
    if (what == "CALL" && w.size() >= 4) {
        QString error;
        Call* call = callNamed(w[2], &error);
        if (!call)
            return error;
        return getCall(*call, w);
    }
    return err(7, "GET: invalid WHAT");
}

SimModel::Call* SimModel::callNamed(const QString& word, QString* error)
{
    bool ok = false;
    const int id = word.toInt(&ok);
    Call* call = ok ? findCall(id) : nullptr;
    if (!call)
        *error = ok ? err(12, "Unknown call") : err(11, "Invalid call id");
    return call;
}

QString SimModel::getUser(const QString& handle, const QString& property)
{
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
    return err(13, "Invalid property");
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
            return err(13, "Invalid property");
        const Call* leg = legs[size_t(n - 1)];
        const QString type = QString(leg->incoming ? "INCOMING_" : "OUTGOING_") +
                             (leg->partner.startsWith('+') ? "PSTN" : "P2P");
        return QStringLiteral("CALL %1 CONF_PARTICIPANT %2 %3 %4 %5 %6")
            .arg(call.id)
            .arg(n)
            .arg(leg->partner, type, leg->status, leg->partnerName);
    }
    return err(13, "Invalid property");
}

QString SimModel::set(const QStringList& w, const QString& command)
{
    const QString what = w.value(1).toUpper();
    if (what == "USERSTATUS") {
        const QString status = w.value(2).toUpper();
        if (!isUserStatus(status) || w.size() != 3)
            return err(28, "Unknown userstatus");
        setUserStatus(status);
        return "USERSTATUS " + status;
    }
    if (what == "MUTE") {
        const QString v = w.value(2).toUpper();
        if (v != "ON" && v != "OFF")
            return err(1, "Invalid MUTE value");
        const bool inCall = std::any_of(m_calls.begin(), m_calls.end(), [](const auto& kv) {
            return kv.second->status == "INPROGRESS";
        });
        m_mute = v == "ON" && inCall;
        return m_mute ? QStringLiteral("MUTE ON") : QStringLiteral("MUTE OFF");
    }
    if (what == "AUTOAWAY") {
        m_autoAway = is(w.value(2), "ON");
        return m_autoAway ? QStringLiteral("AUTOAWAY ON") : QStringLiteral("AUTOAWAY OFF");
    }
    if (what == "CALL" && w.size() >= 5) {
        QString error;
        Call* call = callNamed(w[2], &error);
        if (!call)
            return error;
        return setCall(*call, w, command);
    }
    return err(7, "SET: invalid WHAT");
}

QString SimModel::setCall(Call& call, const QStringList& w, const QString&)
{
    const QString property = w[3].toUpper();
    const QString value = w[4].toUpper();
    if (property == "STATUS") {
        if (value == "INPROGRESS") {
            if (call.status == "RINGING" && call.incoming) {
                const QString reply = QStringLiteral("CALL %1 STATUS INPROGRESS").arg(call.id);
                goInProgress(call);
                return reply;
            }
            if (call.status == "LOCALHOLD" || call.status == "REMOTEHOLD") {
                goInProgress(call);
                return QStringLiteral("CALL %1 STATUS INPROGRESS").arg(call.id);
            }
            if (call.status == "INPROGRESS")
                return QStringLiteral("CALL %1 STATUS INPROGRESS").arg(call.id);
            return err(21, "Cannot answer or resume this call");
        }
        if (value == "ONHOLD") {
            if (call.status != "INPROGRESS")
                return err(22, "Cannot hold this call at the moment");
            // Answered with the state at that moment; the hold itself follows as a notice.
            const QString reply = QStringLiteral("CALL %1 STATUS INPROGRESS").arg(call.id);
            const int id = call.id;
            QTimer::singleShot(0, this, [this, id] { hold(id, false); });
            return reply;
        }
        if (value == "FINISHED") {
            if (!isActive(call))
                return err(24, "Cannot hangup inactive call");
            QString end = QStringLiteral("FINISHED");
            if (call.status == "RINGING" && call.incoming)
                end = QStringLiteral("REFUSED");
            else if (call.status == "RINGING" || call.status == "ROUTING" ||
                     call.status == "UNPLACED")
                end = QStringLiteral("CANCELLED");
            onAudioTick();
            endCall(call, end);
            return QStringLiteral("CALL %1 STATUS %2").arg(call.id).arg(end);
        }
        return err(13, "Invalid property");
    }
    if (property == "JOIN_CONFERENCE") {
        bool ok = false;
        const int other = w[4].toInt(&ok);
        if (!ok)
            return err(11, "Invalid call id");
        QString reply;
        const QString problem = joinCalls(call.id, other, &reply);
        return problem.isEmpty() ? reply : err(12, "Unknown call");
    }
    return err(13, "Invalid property");
}

QString SimModel::alterCall(const QString& command)
{
    const QStringList w = command.split(QLatin1Char(' '));
    if (w.size() < 4 || !is(w[1], "CALL"))
        return err(2, "Unknown command");
    QString error;
    Call* call = callNamed(w[2], &error);
    if (!call)
        return error;
    const int id = call->id;
    const QString action = w[3].toUpper();
    // The four-word ALTER forms of protocol 7.
    if (action == "ANSWER" || action == "RESUME" || action == "HOLD" || action == "HANGUP") {
        QString problem;
        if (action == "ANSWER")
            problem = answer(id);
        else if (action == "RESUME")
            problem = resume(id);
        else if (action == "HOLD")
            problem = hold(id, false);
        else if (!isActive(*call))
            problem = QStringLiteral("ended");
        else {
            onAudioTick();
            endCall(*call, QStringLiteral("FINISHED"));
        }
        return problem.isEmpty() ? command : err(24, "Action failed");
    }
    if (action != "SET_INPUT" && action != "SET_OUTPUT" && action != "SET_CAPTURE_MIC")
        return err(13, "Invalid property");

    const QString value = restAfter(command, 4);
    std::vector<RedirectTarget> targets;
    if (!parseRedirectValue(value, &targets))
        return err(1, "Invalid redirection value");
    std::vector<std::string> files;
    for (const RedirectTarget& t : targets)
        if (t.kind == "FILE")
            files.push_back(t.value.toStdString());

    onAudioTick(); // what was said so far belongs to the old files
    std::vector<std::string> failed;
    if (action == "SET_INPUT") {
        call->input = value;
        stopGreeting(*call);
        call->greetingStarted = false;
        call->greetingFile = files.empty() ? QString() : QString::fromStdString(files.front());
        startGreetingIfDue(*call);
    } else if (action == "SET_OUTPUT") {
        call->output = value;
        failed = call->audio->setOutputFiles(isActive(*call) ? files : std::vector<std::string>{});
    } else {
        call->captureMic = value;
        failed = call->audio->setMicFiles(isActive(*call) ? files : std::vector<std::string>{});
    }
    for (const std::string& path : failed)
        Q_EMIT warning(QStringLiteral("cannot create %1").arg(QString::fromStdString(path)));
    return command; // acknowledged by an exact echo
}

QString SimModel::search(const QString& what)
{
    QStringList items;
    if (what == "FRIENDS") {
        for (const SimContact& c : m_s.contacts)
            items << c.handle;
        return "USERS " + items.join(QStringLiteral(", "));
    }
    if (what == "ACTIVECALLS" || what == "CALLS" || what == "MISSEDCALLS") {
        for (const auto& [id, call] : m_calls) {
            const bool pick = what == "CALLS"         ? true
                              : what == "ACTIVECALLS" ? isActive(*call)
                                                      : call->status == "MISSED";
            if (pick)
                items << QString::number(id);
        }
        return "CALLS " + items.join(QStringLiteral(", "));
    }
    return err(7, "SEARCH: invalid WHAT");
}

QString SimModel::callCommand(const QString& target)
{
    const QString handle = target.section(QLatin1Char(','), 0, 0).trimmed();
    if (handle.isEmpty() || handle.contains(QLatin1Char(' ')))
        return err(1, "Invalid target");
    int id = 0;
    dial(handle, &id);
    return QStringLiteral("CALL %1 STATUS UNPLACED").arg(id);
}

QString SimModel::chatCreate(const QString& targets)
{
    QString target = targets.section(QLatin1String(", "), 0, 0);
    if (target.endsWith(QLatin1String(" DIALOG"), Qt::CaseInsensitive))
        target.chop(7);
    if (target.isEmpty() || target.contains(QLatin1Char(' ')))
        return err(1, "Invalid target");
    return QStringLiteral("CHAT %1 STATUS DIALOG").arg(chatNameWith(target, true));
}

QString SimModel::chatMessage(const QString& rest)
{
    const int space = rest.indexOf(QLatin1Char(' '));
    if (space <= 0)
        return err(1, "Invalid CHATMESSAGE");
    m_chatLog << rest;
    if (m_chatLog.size() > kMaxChatLog)
        m_chatLog.removeFirst();
    const int id = m_nextMessageId++;
    QTimer::singleShot(
        200, this, [this, id] { emitNote(QStringLiteral("CHATMESSAGE %1 STATUS SENT").arg(id)); });
    return QStringLiteral("CHATMESSAGE %1 STATUS SENDING").arg(id);
}

} // namespace tw::sim
