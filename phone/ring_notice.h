// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <map>

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tw::phone {

/// "Call from NAME" on the desktop while a call rings, with the actions Answer and Decline,
/// where the session bus has a notification service (org.freedesktop.Notifications).
class RingNotice : public QObject
{
    Q_OBJECT

public:
    explicit RingNotice(const QDBusConnection& bus, QObject* parent = nullptr);

    void show(int callId, const QString& name);
    void close(int callId);

Q_SIGNALS:
    void answer(int callId);
    void decline(int callId);

private Q_SLOTS:
    void onAction(uint notification, const QString& action);
    void onClosed(uint notification, uint reason);

private:
    QDBusConnection m_bus;
    std::map<uint, int> m_calls; ///< notification id -> call id
};

} // namespace tw::phone
