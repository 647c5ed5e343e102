#include "platform/qt/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

namespace tw {

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{}

SingleInstance::~SingleInstance()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(kObjectPath);
        bus.unregisterService(kServiceName);
    }
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        m_diagnostic = "no session bus: " + bus.lastError().message().toStdString();
        return Claim::NoBus;
    }
    // The object goes up before the name, so an Activate() that races our claim finds it.
    if (!m_registered)
        m_registered =
            bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);

    // The owner may quit between our failed claim and our call: try again a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            bus.interface()->registerService(kServiceName,
                                             QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid()) {
            m_diagnostic = "cannot claim the bus name: " + reply.error().message().toStdString();
            return Claim::NoBus;
        }
        if (reply.value() == QDBusConnectionInterface::ServiceRegistered)
            return Claim::First;

        // Another copy holds the name. A blocking call is safe: it is served by that process.
        const QDBusMessage call =
            QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "Activate");
        const QDBusMessage answer = bus.call(call, QDBus::Block, 10000);
        if (answer.type() == QDBusMessage::ReplyMessage)
            return Claim::Activated;
        m_diagnostic = "Activate() failed: " + answer.errorMessage().toStdString();
        if (answer.errorName() != QDBusError::errorString(QDBusError::ServiceUnknown))
            return Claim::ActivationFailed;
    }
    return Claim::ActivationFailed;
}

void SingleInstance::Activate()
{
    if (m_onActivate)
        m_onActivate();
}

QString SingleInstance::ToggleRecording()
{
    if (!m_onToggleRecording) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, "Tellwick is not ready for commands");
        return {};
    }
    return QString::fromStdString(m_onToggleRecording());
}

std::optional<std::string> SingleInstance::RequestToggleRecording(std::string& reply)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return "no session bus: " + bus.lastError().message().toStdString();
    QDBusMessage call =
        QDBusMessage::createMethodCall(kServiceName, kObjectPath, kInterface, "ToggleRecording");
    call.setAutoStartService(false);
    const QDBusMessage answer = bus.call(call, QDBus::Block, 10000);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        const QString error = answer.errorName();
        if (error == QDBusError::errorString(QDBusError::ServiceUnknown) ||
            error == "org.freedesktop.DBus.Error.NameHasNoOwner")
            return "Tellwick is not running";
        return answer.errorMessage().toStdString();
    }
    reply = answer.arguments().value(0).toString().toStdString();
    return std::nullopt;
}

} // namespace tw
