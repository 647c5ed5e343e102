#include "platform/qt/desktop_notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tw {
namespace {

constexpr char kInterface[] = "org.freedesktop.Notifications";

} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QString appName, QString desktopEntry,
                                 QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_appName(std::move(appName)),
      m_desktopEntry(std::move(desktopEntry))
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                  SLOT(onClosed(uint, uint)));
}

bool DesktopNotifier::serviceAvailable() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    QDBusConnectionInterface* bus = m_bus.interface();
    if (bus->isServiceRegistered(kService).value())
        return true;
    const QDBusReply<QStringList> activatable = bus->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

QString DesktopNotifier::StripMarkup(QString text)
{
    text.remove(QChar('<'));
    text.remove(QChar('>'));
    text.remove(QChar('&'));
    return text;
}

bool DesktopNotifier::notify(std::uint32_t tag, const QString& summary, const QString& body,
                             const QString& actionLabel)
{
    if (!serviceAvailable())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    QStringList actions;
    if (!actionLabel.isEmpty())
        // "default" is a click on the bubble itself: it does what the action does.
        actions << "default" << actionLabel << kActionKey << actionLabel;
    QVariantMap hints;
    hints.insert("desktop-entry", m_desktopEntry);
    hints.insert("category", "im.received");
    call << m_appName << uint(0) << QString() << StripMarkup(summary) << StripMarkup(body)
         << actions << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, tag](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isError()) {
                    emit failed(reply.error().message());
                    return;
                }
                m_open[reply.value()] = tag;
            });
    return true;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& key)
{
    const auto it = m_open.find(id);
    if (it == m_open.end())
        return; // another program's notification
    if (key == kActionKey || key == "default")
        emit actionInvoked(it->second);
}

void DesktopNotifier::onClosed(uint id, uint)
{
    m_open.erase(id);
}

} // namespace tw
