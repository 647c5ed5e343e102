#pragma once

#include <cstdint>
#include <map>

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tw {

/// Desktop notifications through the freedesktop notification service
/// (org.freedesktop.Notifications on the session bus), where the desktop runs one. Calls are
/// asynchronous and their replies checked; without a service nothing is sent and nothing
/// fails. UI thread only.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    static constexpr char kService[] = "org.freedesktop.Notifications";
    static constexpr char kPath[] = "/org/freedesktop/Notifications";
    static constexpr char kActionKey[] = "play";

    /// appName and desktopEntry name the sender to the service.
    DesktopNotifier(QDBusConnection bus, QString appName, QString desktopEntry,
                    QObject* parent = nullptr);

    /// True when the bus has the service running or can start it.
    bool serviceAvailable() const;
    /// Shows a notification with one action (actionLabel; none when empty). tag comes back
    /// with actionInvoked. False when there is no service (nothing sent).
    bool notify(std::uint32_t tag, const QString& summary, const QString& body,
                const QString& actionLabel);

    /// Notifications sent and not yet answered or closed (for tests and diagnostics).
    std::size_t openCount() const { return m_open.size(); }

    /// The characters a server may take for markup (<, >, &) removed.
    static QString StripMarkup(QString text);

signals:
    /// The user chose the action (or clicked the bubble) of the notification sent with tag.
    void actionInvoked(std::uint32_t tag);
    /// The service refused a notification or did not answer; the reason is in message.
    void failed(const QString& message);

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    QString m_appName;
    QString m_desktopEntry;
    std::map<uint, std::uint32_t> m_open; ///< the service's id -> the caller's tag
};

} // namespace tw
