#include "platform/qt/dbus_skype_transport.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include "skype_client_adaptor.h"

namespace tw {

namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kBusInterface = "org.freedesktop.DBus";
/// Bounds what a client may push at us before it has answered NAME.
constexpr int kMaxEarlyNotifications = 256;

int msCount(std::chrono::milliseconds ms)
{
    return static_cast<int>(ms.count());
}

} // namespace

DBusSkypeTransport::DBusSkypeTransport(const QDBusConnection& bus, Timeouts timeouts,
                                       QObject* parent)
    : QObject(parent), m_bus(bus), m_timeouts(timeouts)
{
    new SkypeClientAdaptor(this);
    m_registered = m_bus.registerObject(kClientPath, this);

    m_ownerWatcher = new QDBusServiceWatcher(kSkypeService, m_bus,
                                             QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_ownerWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &DBusSkypeTransport::onSkypeOwnerChanged);

    m_pendingTimer.setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, &DBusSkypeTransport::onPendingNotice);
}

DBusSkypeTransport::~DBusSkypeTransport()
{
    m_listener = nullptr;
    if (m_registered)
        m_bus.unregisterObject(kClientPath);
}

void DBusSkypeTransport::setListener(Listener* listener)
{
    m_listener = listener;
}

void DBusSkypeTransport::startSkype()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, "StartServiceByName");
    call << QString::fromLatin1(kSkypeService) << 0u;
    // Fire and forget: whether the bus could start it shows up as a new owner, or not.
    m_bus.asyncCall(call);
}

void DBusSkypeTransport::discover(const std::string& clientName)
{
    m_active = true;
    m_clientName = QString::fromStdString(clientName);
    if (m_discovering) {
        // The user is still deciding on the previous NAME; asking again would only stack
        // up prompts. Repeat what is known so far.
        if (m_pendingReported)
            QTimer::singleShot(0, this, [this, attempt = m_discoverAttempt] {
                if (m_discovering && attempt == m_discoverAttempt)
                    reportStatus(kAttachPendingAuthorization);
            });
        return;
    }
    m_discovering = true;
    m_pendingReported = false;
    m_early.clear();
    const quint64 attempt = ++m_discoverAttempt;

    // Ask the bus who owns the name, then talk to that unique name: the Skype that says OK
    // is exactly the one whose notifications we accept.
    QDBusMessage call =
        QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, "GetNameOwner");
    call << QString::fromLatin1(kSkypeService);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher* w) { onOwnerOfSkype(attempt, w); });
}

void DBusSkypeTransport::onOwnerOfSkype(quint64 attempt, QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    if (!m_discovering || attempt != m_discoverAttempt)
        return;
    QDBusPendingReply<QString> owner = *call;
    if (owner.isError() || owner.value().isEmpty()) {
        endDiscover(kAttachNotAvailable);
        return;
    }
    m_candidate = owner.value();
    QDBusMessage name =
        QDBusMessage::createMethodCall(m_candidate, kSkypePath, kSkypeInterface, "Invoke");
    name << QStringLiteral("NAME ") + m_clientName;
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(name, msCount(m_timeouts.nameAnswer)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher* w) { onNameAnswer(attempt, w); });
    m_pendingTimer.start(m_timeouts.pendingNotice);
}

void DBusSkypeTransport::onPendingNotice()
{
    if (!m_discovering || m_pendingReported)
        return;
    m_pendingReported = true;
    reportStatus(kAttachPendingAuthorization);
}

void DBusSkypeTransport::onNameAnswer(quint64 attempt, QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    if (!m_discovering || attempt != m_discoverAttempt)
        return;
    QDBusPendingReply<QString> reply = *call;
    const QString text = reply.isError() ? QString() : reply.value();
    if (text == QLatin1String("OK")) {
        // The same Skype saying OK again (a rediscover while attached) still owes the replies
        // of the commands sent before: they stay due. A different one owes nothing.
        if (m_peer != m_candidate) {
            m_peer = m_candidate;
            newGeneration();
        }
        const QStringList early = std::exchange(m_early, {});
        const quint64 generation = m_generation;
        endDiscover(kAttachSuccess);
        for (const QString& notification : early) {
            if (!m_listener || generation != m_generation)
                break;
            m_listener->onSkypeText(notification.toStdString());
        }
    } else if (text.startsWith(QLatin1String("ERROR 68"))) {
        endDiscover(kAttachRefused);
    } else {
        // "CONNSTATUS OFFLINE", any other answer, no answer at all, or a bus error.
        endDiscover(kAttachNotAvailable);
    }
}

void DBusSkypeTransport::endDiscover(int status)
{
    m_discovering = false;
    m_pendingTimer.stop();
    m_candidate.clear();
    if (status != kAttachSuccess)
        m_early.clear();
    reportStatus(status);
}

void DBusSkypeTransport::reportStatus(int status)
{
    if (m_listener && m_active)
        m_listener->onAttachStatus(status);
}

bool DBusSkypeTransport::send(const std::string& utf8)
{
    if (m_peer.isEmpty() || !m_bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_peer, kSkypePath, kSkypeInterface, "Invoke");
    call << QString::fromStdString(utf8);
    QDBusPendingCall pending = m_bus.asyncCall(call, msCount(m_timeouts.reply));
    if (pending.isFinished() && pending.isError())
        return false; // could not even be queued (connection gone)
    const quint64 sequence = m_firstSend + m_sends.size();
    PendingSend entry;
    entry.command = utf8;
    m_sends.push_back(std::move(entry));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation, sequence](QDBusPendingCallWatcher* w) {
                onSendFinished(generation, sequence, w);
            });
    return true;
}

void DBusSkypeTransport::onSendFinished(quint64 generation, quint64 sequence,
                                        QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    if (generation != m_generation || sequence < m_firstSend ||
        sequence - m_firstSend >= m_sends.size())
        return; // detached or re-attached meanwhile: the answer belongs to nobody
    PendingSend& entry = m_sends[sequence - m_firstSend];
    QDBusPendingReply<QString> reply = *call;
    entry.done = true;
    entry.failed = reply.isError();
    if (!entry.failed)
        entry.reply = reply.value().toStdString();
    deliverFinishedSends();
}

void DBusSkypeTransport::deliverFinishedSends()
{
    const quint64 generation = m_generation;
    while (!m_sends.empty() && m_sends.front().done && generation == m_generation) {
        PendingSend entry = std::move(m_sends.front());
        m_sends.pop_front();
        ++m_firstSend;
        if (!m_listener)
            continue;
        if (entry.failed) {
            // The link treats this as Skype lost; so do we, until the next successful NAME.
            m_peer.clear();
            newGeneration();
            m_listener->onSendFailed(entry.command);
            return;
        }
        // The listener may send, detach or re-attach from here; the loop re-checks.
        m_listener->onSkypeReply(entry.command, entry.reply);
    }
}

void DBusSkypeTransport::newGeneration()
{
    ++m_generation;
    m_sends.clear();
    m_firstSend = 0;
}

void DBusSkypeTransport::detach()
{
    m_active = false;
    m_peer.clear();
    newGeneration();
    m_discovering = false;
    ++m_discoverAttempt;
    m_pendingTimer.stop();
    m_candidate.clear();
    m_early.clear();
}

void DBusSkypeTransport::Notify(const QString& notification)
{
    const QString sender = message().service();
    if (!m_peer.isEmpty() && sender == m_peer) {
        if (m_listener)
            m_listener->onSkypeText(notification.toStdString());
        return;
    }
    if (m_discovering && !m_candidate.isEmpty() && sender == m_candidate) {
        if (m_early.size() < kMaxEarlyNotifications)
            m_early.append(notification);
        return;
    }
    sendErrorReply(QDBusError::AccessDenied,
                   QStringLiteral("Notify is accepted from the attached Skype only"));
}

void DBusSkypeTransport::onSkypeOwnerChanged(const QString&, const QString& oldOwner,
                                             const QString& newOwner)
{
    if (!m_peer.isEmpty() && oldOwner == m_peer) {
        // Our Skype gave the name up (it quit or crashed): nothing it sends is ours now, and
        // a command sent from here on fails at once.
        m_peer.clear();
        newGeneration();
        if (m_listener && m_active)
            m_listener->onClientGone();
    }
    if (!newOwner.isEmpty())
        reportStatus(kAttachApiAvailable);
}

} // namespace tw
