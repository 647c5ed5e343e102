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

void spin(std::chrono::milliseconds time)
{
    waitFor([] { return false; }, time);
}

bool skypeNameOwned()
{
    QDBusReply<bool> owned =
        QDBusConnection::sessionBus().interface()->isServiceRegistered("com.Skype.API");
    return owned.isValid() && owned.value();
}

QString simPath()
{
    return QStringLiteral(SKYPE_SIM_PATH);
}

SimProcess::SimProcess(QStringList args) : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process->start(simPath(), args);
    m_process->waitForStarted(10000);
    waitFor([this] { return skypeNameOwned() || m_process->state() == QProcess::NotRunning; }, 20s);
}

SimProcess::~SimProcess()
{
    kill();
}

bool SimProcess::running() const
{
    return m_process->state() == QProcess::Running;
}

void SimProcess::kill()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(10000);
    }
    waitFor([] { return !skypeNameOwned(); }, 10s);
}

QString SimProcess::errors() const
{
    return QString::fromLocal8Bit(m_process->readAllStandardError());
}

QDBusMessage control(const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.tellwick.SkypeSim", "/org/tellwick/SkypeSim", "org.tellwick.SkypeSim", method);
    call.setArguments(args);
    call.setAutoStartService(false);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

QStringList controlList(const QString& method)
{
    const QDBusMessage reply = control(method);
    return reply.arguments().value(0).toStringList();
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

QString TestClient::invoke(const QString& command, int timeoutMs)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall("com.Skype.API", "/com/Skype", "com.Skype.API", "Invoke");
    call << command;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return "<dbus error> " + reply.errorName();
    return reply.arguments().value(0).toString();
}

bool TestClient::waitForNote(const QString& text, bool prefix, std::chrono::milliseconds timeout)
{
    return waitFor(
        [&] {
            for (const QString& n : notes)
                if (prefix ? n.startsWith(text) : n == text)
                    return true;
            return false;
        },
        timeout);
}

} // namespace tw::simtest
