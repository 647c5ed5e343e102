#pragma once

#include <optional>

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QSet>
#include <QStringList>

#include "sim/sim_model.h"

class QCoreApplication;
class QDBusServiceWatcher;

namespace tw::sim {

/// How the substitute answers NAME: at once with OK, with ERROR 68, with CONNSTATUS OFFLINE,
/// or with OK after the user "thought about it" for some seconds.
struct AuthPolicy
{
    enum Kind { Accept, Refuse, Offline, Pending } kind = Accept;
    int seconds = 0;

    static std::optional<AuthPolicy> parse(const QString& text);
};

/// /com/Skype, com.Skype.API: authorises clients, runs their commands through the model and
/// pushes the model's notifications to every authorised client's /com/Skype/Client.
class SkypeApiService : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    SkypeApiService(SimModel& model, const QDBusConnection& bus, QObject* parent = nullptr);

    void setPolicy(AuthPolicy policy) { m_policy = policy; }
    void setSilent(bool silent) { m_silent = silent; }
    void setVerbose(bool verbose) { m_verbose = verbose; }
    /// Every reply (but NAME's) leaves a random time between minMs and maxMs after the command
    /// ran, while the notifications the command caused go out at once: as a busy client does.
    void setReplyDelay(int minMs, int maxMs);
    /// Skype crashes and comes back: every call ends without a word to anybody, the clients
    /// are forgotten and the bus name is given up; after downMs it is taken again.
    void restart(int downMs);
    QStringList commandLog() const { return m_log; }
    void clearCommandLog() { m_log.clear(); }
    QStringList clients() const { return QStringList(m_clients.begin(), m_clients.end()); }

public Q_SLOTS:
    QString Invoke(const QString& command);
    /// Sends one notification to every authorised client.
    void broadcast(const QString& text);

Q_SIGNALS:
    /// The first client was authorised (scripts start from here).
    void firstAttach();

private:
    QString name(const QString& prefix, const QString& sender);
    void authorise(const QString& client);
    void queueAttachNotifications();

    SimModel& m_model;
    QDBusConnection m_bus;
    QDBusServiceWatcher* m_clientWatcher;
    AuthPolicy m_policy;
    bool m_silent = false;
    bool m_verbose = false;
    bool m_attachedOnce = false;
    int m_delayMinMs = 0;
    int m_delayMaxMs = 0;
    QSet<QString> m_clients;
    QStringList m_log;
};

/// /org/tellwick/SkypeSim, org.tellwick.SkypeSim: what tests and people use to drive the
/// substitute (see org.tellwick.SkypeSim.xml).
class SimControl : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    SimControl(SimModel& model, SkypeApiService& api, QObject* parent = nullptr);

public Q_SLOTS:
    int Ring(const QString& handle, const QString& displayName, const QString& voiceFile);
    int Dial(const QString& handle);
    void Answer(const QString& call);
    void Hold(const QString& call);
    void RemoteHold(const QString& call);
    void Resume(const QString& call);
    void HangUp(const QString& call);
    void Join(const QString& host, const QString& other);
    void SetUserStatus(const QString& status);
    void SetContact(const QString& handle, const QString& fullName, const QString& status);
    QString IncomingChat(const QString& handle, const QString& text);
    void SendNotification(const QString& text);
    void SetAuthPolicy(const QString& policy);
    void SetSilent(bool silent);
    void SetReplyDelay(int minMs, int maxMs);
    void Restart(int downMs);
    QStringList CommandLog();
    QStringList ChatLog();
    void ClearLogs();
    QStringList Calls();
    QStringList Clients();
    void Quit();

private:
    int callOrFail(const QString& ref);
    void check(const QString& problem);

    SimModel& m_model;
    SkypeApiService& m_api;
};

/// Ends the application when its session bus goes away (checked every second): a program
/// the bus started has nobody else to stop it.
void quitWithBus(QCoreApplication& app, const QDBusConnection& bus);

} // namespace tw::sim
