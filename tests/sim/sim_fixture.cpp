#include "tests/sim/sim_fixture.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

namespace tw::simtest {

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

bool skypeNameOwned()
{
    QDBusReply<bool> owned =
        QDBusConnection::sessionBus().interface()->isServiceRegistered("com.Skype.API");
    return owned.isValid() && owned.value();
}

SimProcess::SimProcess(QStringList args) : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process->start(QStringLiteral(SKYPE_SIM_PATH), args);
    m_process->waitForStarted(10000);
    waitFor([this] { return skypeNameOwned() || !running(); }, 20s);
}

SimProcess::~SimProcess()
{
    m_process->kill();
    m_process->waitForFinished(10000);
    waitFor([] { return !skypeNameOwned(); }, 10s);
}

QDBusMessage control(const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.tellwick.SkypeSim", "/org/tellwick/SkypeSim", "org.tellwick.SkypeSim", method);
    call.setArguments(args);
    call.setAutoStartService(false);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

TestClient::TestClient(const QString& connectionName)
    : m_name(connectionName),
      m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
    m_bus.registerObject("/com/Skype/Client", this, QDBusConnection::ExportAllSlots);
}

TestClient::~TestClient()
{
    m_bus.unregisterObject("/com/Skype/Client");
    QDBusConnection::disconnectFromBus(m_name);
}

QString TestClient::invoke(const QString& command)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall("com.Skype.API", "/com/Skype", "com.Skype.API", "Invoke");
    const QDBusMessage reply = m_bus.call(call << command, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return "<dbus error> " + reply.errorName();
    return reply.arguments().value(0).toString();
}

} // namespace tw::simtest
