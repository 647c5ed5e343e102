#pragma once

// Helpers for tests that run against skype-sim on the private session bus that
// run_with_bus.sh gives every test program.

#include <chrono>
#include <functional>
#include <memory>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>
#include <QStringList>

namespace tw::simtest {

using namespace std::chrono_literals;

/// Spins the event loop until pred() holds or the deadline passes (generous: CI is slow).
bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s);
/// Spins the event loop for a while (only to let things that must NOT happen show up).
inline void spin(std::chrono::milliseconds time)
{
    waitFor([] { return false; }, time);
}

bool skypeNameOwned();

/// A skype-sim process, owning com.Skype.API once constructed; killed (and its bus name
/// awaited free) when destroyed, and also when the test program dies.
class SimProcess
{
public:
    explicit SimProcess(QStringList args = {});
    ~SimProcess();
    bool running() const { return m_process->state() == QProcess::Running; }

private:
    std::unique_ptr<QProcess> m_process;
};

/// Calls a method of the sim's control object; the reply (or error) message.
QDBusMessage control(const QString& method, const QVariantList& args = {});
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
    explicit TestClient(const QString& connectionName);
    ~TestClient() override;

    QString invoke(const QString& command);
    QDBusConnection& bus() { return m_bus; }
    QStringList notes;
    /// Waits until a notification equal to text came.
    bool waitForNote(const QString& text, std::chrono::milliseconds timeout = 10s)
    {
        return waitFor([&] { return notes.contains(text); }, timeout);
    }

public Q_SLOTS:
    void Notify(const QString& text) { notes << text; }

private:
    QString m_name;
    QDBusConnection m_bus;
};

} // namespace tw::simtest
