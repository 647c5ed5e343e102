#pragma once

// Helpers for tests that run against skype-sim on the private session bus that
// run_with_bus.sh gives every test program.

#include <chrono>
#include <functional>
#include <memory>

#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QThread>

namespace tw::simtest {

using namespace std::chrono_literals;

/// Spins the event loop until pred() holds or the deadline passes (generous: CI is slow).
inline bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s)
{
    for (QDeadlineTimer deadline(timeout); !pred(); QThread::msleep(2)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// Spins the event loop for a while (only to let things that must NOT happen show up).
inline void spin(std::chrono::milliseconds time)
{
    waitFor([] { return false; }, time);
}

inline bool skypeNameOwned()
{
    QDBusReply<bool> owned =
        QDBusConnection::sessionBus().interface()->isServiceRegistered("com.Skype.API");
    return owned.isValid() && owned.value();
}

/// A skype-sim process, owning com.Skype.API once constructed; killed (and its bus name
/// awaited free) when destroyed, and also when the test program dies.
class SimProcess
{
public:
    explicit SimProcess(QStringList args = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(SKYPE_SIM_PATH), args);
        m_process.waitForStarted(10000);
        waitFor([this] { return skypeNameOwned() || !running(); }, 20s);
    }
    ~SimProcess()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
        waitFor([] { return !skypeNameOwned(); }, 10s);
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

/// Calls a method of the sim's control object; the reply (or error) message.
inline QDBusMessage control(const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.tellwick.SkypeSim", "/org/tellwick/SkypeSim", "org.tellwick.SkypeSim", method);
    call.setArguments(args);
    call.setAutoStartService(false);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

inline QStringList controlList(const QString& method)
{
    return control(method).arguments().value(0).toStringList();
}

/// A minimal API client on a connection of its own: exports /com/Skype/Client, records every
/// Notify, and calls Invoke blocking (fine: the sim is another process).
class TestClient : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.Skype.API.Client")

public:
    explicit TestClient(const QString& name)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
    {
        m_bus.registerObject("/com/Skype/Client", this, QDBusConnection::ExportAllSlots);
    }
    ~TestClient() override
    {
        m_bus.unregisterObject("/com/Skype/Client");
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    QString invoke(const QString& command)
    {
        QDBusMessage call = QDBusMessage::createMethodCall("com.Skype.API", "/com/Skype",
                                                           "com.Skype.API", "Invoke");
        const QDBusMessage reply = m_bus.call(call << command, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return "<dbus error> " + reply.errorName();
        return reply.arguments().value(0).toString();
    }
    QDBusConnection& bus() { return m_bus; }
    QStringList notes;
    bool waitForNote(const QString& text, std::chrono::milliseconds timeout = 10s)
    {
        return waitFor([&] { return notes.contains(text); }, timeout);
    }

public Q_SLOTS:
    void Notify(const QString& text) { notes << text; }

private:
    QDBusConnection m_bus;
};

} // namespace tw::simtest
