// "skype-sim ctl ...": the control object on the command line, for people.
#include "sim/sim_ctl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTextStream>

namespace tw::sim {

namespace {

struct CtlVerb
{
    const char* word;
    const char* method;
    const char* args; // one letter per argument: s string, b boolean, i number; "" none
    int optional;     // how many trailing arguments may be left out (sent as "")
    const char* help;
};

constexpr CtlVerb kCtlVerbs[] = {
    {"ring", "Ring", "sss", 2, "ring HANDLE [\"Display Name\"] [VOICE.wav]"},
    {"dial", "Dial", "s", 0, "dial HANDLE"},
    {"answer", "Answer", "s", 0, "answer CALL"},
    {"hold", "Hold", "s", 0, "hold CALL"},
    {"remotehold", "RemoteHold", "s", 0, "remotehold CALL"},
    {"resume", "Resume", "s", 0, "resume CALL"},
    {"hangup", "HangUp", "s", 0, "hangup CALL"},
    {"join", "Join", "ss", 0, "join CALL CALL"},
    {"status", "SetUserStatus", "s", 0, "status ONLINE|AWAY|NA|DND|INVISIBLE|OFFLINE|..."},
    {"contact", "SetContact", "sss", 1, "contact HANDLE \"Full Name\" [STATUS]"},
    {"chat", "IncomingChat", "ss", 1, "chat HANDLE [\"TEXT\"]"},
    {"notify", "SendNotification", "s", 0, "notify \"TEXT\""},
    {"auth", "SetAuthPolicy", "s", 0, "auth accept|refuse|offline|pending:SECONDS"},
    {"silent", "SetSilent", "b", 0, "silent on|off"},
    {"delay", "SetReplyDelay", "ii", 0, "delay MIN_MS MAX_MS   (replies late; 0 0: at once)"},
    {"restart", "Restart", "i", 0, "restart DOWN_MS   (Skype crashes and comes back)"},
    {"log", "CommandLog", "", 0, "log"},
    {"chats", "ChatLog", "", 0, "chats"},
    {"clear", "ClearLogs", "", 0, "clear"},
    {"calls", "Calls", "", 0, "calls"},
    {"clients", "Clients", "", 0, "clients"},
    {"quit", "Quit", "", 0, "quit"},
};

void usage(QTextStream& err)
{
    err << "usage: skype-sim ctl VERB [ARGS]   (CALL: a call id or the caller's handle)\n";
    for (const CtlVerb& v : kCtlVerbs)
        err << "  " << v.help << '\n';
}

} // namespace

int runCtl(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty()) {
        usage(err);
        return 2;
    }
    const CtlVerb* verb = nullptr;
    for (const CtlVerb& v : kCtlVerbs)
        if (args[0] == QLatin1String(v.word))
            verb = &v;
    const int wanted = verb ? int(qstrlen(verb->args)) : 0;
    const int given = int(args.size()) - 1;
    if (!verb || given > wanted || given < wanted - verb->optional) {
        usage(err);
        return 2;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.tellwick.SkypeSim", "/org/tellwick/SkypeSim", "org.tellwick.SkypeSim", verb->method);
    call.setAutoStartService(false);
    for (int i = 0; i < wanted; ++i) {
        const QString value = args.value(i + 1);
        if (verb->args[i] == 'b') {
            call << (value == "on" || value == "true" || value == "1");
        } else if (verb->args[i] == 'i') {
            bool ok = false;
            call << value.toInt(&ok);
            if (!ok) {
                usage(err);
                return 2;
            }
        } else
            call << value;
    }
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        err << "skype-sim ctl: " << reply.errorMessage() << '\n';
        return 1;
    }
    for (const QVariant& v : reply.arguments()) {
        if (v.canConvert<QStringList>() && v.typeId() == QMetaType::QStringList) {
            for (const QString& line : v.toStringList())
                out << line << '\n';
        } else {
            out << v.toString() << '\n';
        }
    }
    return 0;
}

} // namespace tw::sim
