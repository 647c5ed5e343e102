#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "skype/skype_transport.h"

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace tw {

struct DBusSkypeTimeouts
{
    /// No reply to a command within this marks the send failed.
    std::chrono::milliseconds reply{10000};
    /// A NAME handshake not answered within this is reported pending (once).
    std::chrono::milliseconds pendingNotice{1000};
    /// How long the user may take to decide on the authorisation prompt.
    std::chrono::milliseconds nameAnswer{120000};
};

/// The Skype desktop API on a D-Bus bus. Skype owns "com.Skype.API" and serves
/// /com/Skype com.Skype.API.Invoke(s)->s; we export /com/Skype/Client with
/// com.Skype.API.Client.Notify(s), which Skype calls for every notification.
///
/// Lives on the UI thread and makes only asynchronous calls: a blocking call to an object
/// served by the same thread would deadlock, and the UI must never wait for Skype.
/// Every listener callback arrives from the Qt event loop of that thread.
///
/// Ordering (the contract of SkypeTransport): a Notify is handed on the moment it arrives.
/// Replies are held until the replies of all earlier commands have been handed on, because
/// D-Bus may report the calls finished in another order; so a reply can reach the listener
/// after notifications Skype sent later than the reply (Skype answers a command and then
/// notifies what it changed, and an earlier slow reply holds the answer back). A NAME "OK"
/// from the Skype already attached keeps the replies still due; a different Skype, a failed
/// send or the attached Skype leaving the bus (onClientGone) drops them.
class DBusSkypeTransport : public QObject, public SkypeTransport, protected QDBusContext
{
    Q_OBJECT

public:
    using Timeouts = DBusSkypeTimeouts;

    static constexpr const char* kSkypeService = "com.Skype.API";
    static constexpr const char* kSkypePath = "/com/Skype";
    static constexpr const char* kSkypeInterface = "com.Skype.API";
    static constexpr const char* kClientPath = "/com/Skype/Client";

    /// Exports /com/Skype/Client on bus at once; isRegistered() tells whether that worked
    /// (it fails when another object already holds the path on this connection).
    explicit DBusSkypeTransport(const QDBusConnection& bus, Timeouts timeouts = Timeouts{},
                                QObject* parent = nullptr);
    ~DBusSkypeTransport() override;

    bool isRegistered() const { return m_registered; }
    /// The unique bus name of the attached Skype, empty when not attached.
    QString attachedPeer() const { return m_peer; }

    void setListener(Listener* listener) override;
    void startSkype() override;
    void discover(const std::string& clientName) override;
    bool send(const std::string& utf8) override;
    void detach() override;

public Q_SLOTS:
    /// com.Skype.API.Client.Notify, called through the generated adaptor.
    void Notify(const QString& notification);

private:
    void onOwnerOfSkype(quint64 attempt, QDBusPendingCallWatcher* call);
    void onNameAnswer(quint64 attempt, QDBusPendingCallWatcher* call);
    void onPendingNotice();
    void onSendFinished(quint64 generation, quint64 sequence, QDBusPendingCallWatcher* call);
    void deliverFinishedSends();
    void newGeneration();
    void onSkypeOwnerChanged(const QString& service, const QString& oldOwner,
                             const QString& newOwner);
    void endDiscover(int status);
    void reportStatus(int status);

    QDBusConnection m_bus;
    Timeouts m_timeouts;
    Listener* m_listener = nullptr;
    QDBusServiceWatcher* m_ownerWatcher = nullptr;
    bool m_registered = false;
    /// Set by discover(), cleared by detach(): only then is a new Skype owner reported.
    bool m_active = false;

    QString m_peer;
    /// Bumped whenever the attached peer changes; replies of an older generation are dropped.
    quint64 m_generation = 0;

    /// Commands sent and not yet handed on, oldest first. D-Bus may finish the calls in
    /// another order (a reply that arrives before its watcher exists is reported later), but
    /// the link must see the replies in the order it sent the commands.
    struct PendingSend
    {
        std::string command;
        bool done = false;
        bool failed = false;
        std::string reply;
    };
    std::deque<PendingSend> m_sends;
    /// Sequence number of m_sends.front().
    quint64 m_firstSend = 0;

    // The NAME handshake in flight, if any.
    bool m_discovering = false;
    quint64 m_discoverAttempt = 0;
    bool m_pendingReported = false;
    QString m_candidate;
    QString m_clientName;
    /// Notifications the candidate sent before its NAME answer reached us; handed on if it
    /// accepts us, dropped otherwise.
    QStringList m_early;
    QTimer m_pendingTimer;
};

} // namespace tw
