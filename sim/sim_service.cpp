#include "sim/sim_service.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>

namespace tw::sim {

namespace {

constexpr int kMaxCommandLog = 100000;

void say(bool verbose, const char* arrow, const QString& text)
{
    if (verbose)
        QTextStream(stderr) << arrow << ' ' << text << Qt::endl;
}

} // namespace

std::optional<AuthPolicy> AuthPolicy::parse(const QString& text)
{
    if (text == "accept")
        return AuthPolicy{Accept, 0};
    if (text == "refuse")
        return AuthPolicy{Refuse, 0};
    if (text == "offline")
        return AuthPolicy{Offline, 0};
    if (text.startsWith("pending:")) {
        bool ok = false;
        const int seconds = text.mid(8).toInt(&ok);
        if (ok && seconds >= 0 && seconds <= 3600)
            return AuthPolicy{Pending, seconds};
    }
    return std::nullopt;
}

SkypeApiService::SkypeApiService(SimModel& model, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_model(model), m_bus(bus),
      m_clientWatcher(
          new QDBusServiceWatcher({}, bus, QDBusServiceWatcher::WatchForUnregistration, this))
{
    connect(m_clientWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& client) {
                m_clients.remove(client);
                m_clientWatcher->removeWatchedService(client);
            });
    // Queued, so that a notification caused by a command leaves after the command's reply.
    connect(&m_model, &SimModel::notification, this, &SkypeApiService::broadcast,
            Qt::QueuedConnection);
}

QString SkypeApiService::Invoke(const QString& command)
{
    const QString sender = message().service();
    m_log << command;
    if (m_log.size() > kMaxCommandLog)
        m_log.removeFirst();
    say(m_verbose, "<-", command);
    if (m_silent) {
        setDelayedReply(true); // and never reply
        return {};
    }

    QString prefix;
    QString body = command;
    if (command.startsWith('#')) {
        const qsizetype space = command.indexOf(' ');
        if (space > 1) {
            prefix = command.left(space + 1);
            body = command.mid(space + 1);
        }
    }
    QString reply;
    const bool isName = body.section(' ', 0, 0).compare("NAME", Qt::CaseInsensitive) == 0;
    if (isName)
        reply = name(prefix, sender);
    else if (!m_clients.contains(sender))
        reply = prefix + "ERROR 68";
    else
        reply = prefix + m_model.execute(body);
    if (calledFromDBus() && !isDelayedReply() && m_delayMaxMs > 0 && !isName) {
        // Ran now, answered later: what the command changed is notified before the answer.
        const int delay = m_delayMinMs +
                          int(QRandomGenerator::global()->bounded(m_delayMaxMs - m_delayMinMs + 1));
        setDelayedReply(true);
        QDBusMessage call = message();
        QTimer::singleShot(delay, this, [this, call, reply] {
            say(m_verbose, "->", reply);
            m_bus.send(call.createReply(reply));
        });
        return {};
    }
    if (!calledFromDBus() || !isDelayedReply())
        say(m_verbose, "->", reply);
    return reply;
}

void SkypeApiService::setReplyDelay(int minMs, int maxMs)
{
    m_delayMinMs = std::max(0, minMs);
    m_delayMaxMs = std::max(m_delayMinMs, maxMs);
}

void SkypeApiService::restart(int downMs)
{
    // Nobody hears of the calls' end: the clients are forgotten first, and the notifications
    // are queued behind this.
    for (const QString& client : std::as_const(m_clients))
        m_clientWatcher->removeWatchedService(client);
    m_clients.clear();
    for (const QString& line : m_model.callList()) {
        const QStringList w = line.split(' ');
        if (w.size() >= 2 && w[1] != "FINISHED" && w[1] != "MISSED" && w[1] != "REFUSED" &&
            w[1] != "CANCELLED" && w[1] != "BUSY" && w[1] != "FAILED")
            m_model.hangUp(w[0].toInt());
    }
    m_bus.unregisterService(QStringLiteral("com.Skype.API"));
    QTimer::singleShot(std::max(0, downMs), this, [this] {
        if (!m_bus.registerService(QStringLiteral("com.Skype.API")))
            QTextStream(stderr) << "skype-sim: cannot take com.Skype.API again" << Qt::endl;
    });
}

QString SkypeApiService::name(const QString& prefix, const QString& sender)
{
    if (m_clients.contains(sender)) {
        queueAttachNotifications();
        return prefix + "OK";
    }
    switch (m_policy.kind) {
    case AuthPolicy::Accept:
        authorise(sender);
        return prefix + "OK";
    case AuthPolicy::Refuse:
        return prefix + "ERROR 68";
    case AuthPolicy::Offline:
        return prefix + "CONNSTATUS OFFLINE";
    case AuthPolicy::Pending:
        break;
    }
    // The user takes a while to click "Allow".
    setDelayedReply(true);
    QDBusMessage call = message();
    QTimer::singleShot(m_policy.seconds * 1000, this, [this, call, prefix, sender] {
        authorise(sender);
        say(m_verbose, "->", prefix + "OK");
        m_bus.send(call.createReply(prefix + "OK"));
    });
    return {};
}

void SkypeApiService::authorise(const QString& client)
{
    if (!m_clients.contains(client)) {
        m_clients.insert(client);
        m_clientWatcher->addWatchedService(client);
    }
    queueAttachNotifications();
    if (!m_attachedOnce) {
        m_attachedOnce = true;
        QTimer::singleShot(0, this, &SkypeApiService::firstAttach);
    }
}

void SkypeApiService::queueAttachNotifications()
{
    for (const QString& text : m_model.attachNotifications())
        QMetaObject::invokeMethod(
            this, [this, text] { broadcast(text); }, Qt::QueuedConnection);
}

void SkypeApiService::broadcast(const QString& text)
{
    say(m_verbose, "=>", text);
    for (const QString& client : std::as_const(m_clients)) {
        QDBusMessage note = QDBusMessage::createMethodCall(client, "/com/Skype/Client",
                                                           "com.Skype.API.Client", "Notify");
        note.setAutoStartService(false);
        note << text;
        m_bus.send(note); // Skype never waits for its clients
    }
}

SimControl::SimControl(SimModel& model, SkypeApiService& api, QObject* parent)
    : QObject(parent), m_model(model), m_api(api)
{}

void SimControl::check(const QString& problem)
{
    if (!problem.isEmpty() && calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, problem);
}

int SimControl::callOrFail(const QString& ref)
{
    const int id = m_model.resolveCall(ref);
    if (!id)
        check(QStringLiteral("no call '%1'").arg(ref));
    return id;
}

int SimControl::Ring(const QString& handle, const QString& displayName, const QString& voiceFile)
{
    int id = 0;
    check(m_model.ring(handle, displayName, voiceFile, &id));
    return id;
}

int SimControl::Dial(const QString& handle)
{
    int id = 0;
    check(m_model.dial(handle, &id));
    return id;
}

void SimControl::Answer(const QString& call)
{
    if (const int id = callOrFail(call))
        check(m_model.answer(id));
}

void SimControl::Hold(const QString& call)
{
    if (const int id = callOrFail(call))
        check(m_model.hold(id, false));
}

void SimControl::RemoteHold(const QString& call)
{
    if (const int id = callOrFail(call))
        check(m_model.hold(id, true));
}

void SimControl::Resume(const QString& call)
{
    if (const int id = callOrFail(call))
        check(m_model.resume(id));
}

void SimControl::HangUp(const QString& call)
{
    if (const int id = callOrFail(call))
        check(m_model.hangUp(id));
}

void SimControl::Join(const QString& host, const QString& other)
{
    const int a = callOrFail(host);
    if (!a)
        return;
    if (const int b = callOrFail(other))
        check(m_model.join(a, b));
}

void SimControl::SetUserStatus(const QString& status)
{
    check(m_model.setUserStatus(status.toUpper()));
}

void SimControl::SetContact(const QString& handle, const QString& fullName, const QString& status)
{
    check(m_model.setContact(handle, fullName, status.toUpper()));
}

QString SimControl::IncomingChat(const QString& handle, const QString& text)
{
    QString chat;
    check(m_model.incomingChat(handle, text, &chat));
    return chat;
}

void SimControl::SendNotification(const QString& text)
{
    m_api.broadcast(text);
}

void SimControl::SetAuthPolicy(const QString& policy)
{
    if (auto p = AuthPolicy::parse(policy))
        m_api.setPolicy(*p);
    else
        check(QStringLiteral("unknown policy '%1'").arg(policy));
}

void SimControl::SetSilent(bool silent)
{
    m_api.setSilent(silent);
}

void SimControl::SetReplyDelay(int minMs, int maxMs)
{
    if (minMs < 0 || maxMs < minMs || maxMs > 60000)
        check(QStringLiteral("bad reply delay %1..%2 ms").arg(minMs).arg(maxMs));
    else
        m_api.setReplyDelay(minMs, maxMs);
}

void SimControl::Restart(int downMs)
{
    if (downMs < 0 || downMs > 600000)
        check(QStringLiteral("bad restart pause %1 ms").arg(downMs));
    else
        m_api.restart(downMs);
}

QStringList SimControl::CommandLog()
{
    return m_api.commandLog();
}

QStringList SimControl::ChatLog()
{
    return m_model.chatLog();
}

void SimControl::ClearLogs()
{
    m_api.clearCommandLog();
    m_model.clearChatLog();
}

QStringList SimControl::Calls()
{
    return m_model.callList();
}

QStringList SimControl::Clients()
{
    return m_api.clients();
}

void SimControl::Quit()
{
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void quitWithBus(QCoreApplication& app, const QDBusConnection& bus)
{
    auto* check = new QTimer(&app);
    QObject::connect(check, &QTimer::timeout, &app, [&app, bus] {
        if (!bus.isConnected())
            app.quit();
    });
    check->start(1000);
}

} // namespace tw::sim
