// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/ring_notice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace tw::phone {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

RingNotice::RingNotice(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                  SLOT(onAction(uint, QString)));
    m_bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
}

void RingNotice::show(int callId, const QString& name)
{
    if (!m_bus.interface() || !m_bus.interface()->isServiceRegistered(kService))
        return; // nowhere to show it: the call rings for the answering machine alone
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    hints.insert(QStringLiteral("category"), QStringLiteral("call.incoming"));
    msg << QStringLiteral("Tellwick Phone") << uint(0) << QStringLiteral("call-start")
        << QStringLiteral("Call from %1").arg(name) << QString()
        << QStringList{QStringLiteral("answer"), QStringLiteral("Answer"),
                       QStringLiteral("decline"), QStringLiteral("Decline")}
        << hints << int(0);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(msg), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, callId, watcher] {
        watcher->deleteLater();
        QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            m_calls[reply.value()] = callId;
    });
}

void RingNotice::close(int callId)
{
    for (auto it = m_calls.begin(); it != m_calls.end();) {
        if (it->second != callId) {
            ++it;
            continue;
        }
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kService, kPath, kService, "CloseNotification");
        msg << it->first;
        m_bus.asyncCall(msg);
        it = m_calls.erase(it);
    }
}

void RingNotice::onAction(uint notification, const QString& action)
{
    auto it = m_calls.find(notification);
    if (it == m_calls.end())
        return;
    const int callId = it->second;
    m_calls.erase(it);
    if (action == "answer")
        Q_EMIT answer(callId);
    else if (action == "decline")
        Q_EMIT decline(callId);
}

void RingNotice::onClosed(uint notification, uint)
{
    m_calls.erase(notification);
}

} // namespace tw::phone
