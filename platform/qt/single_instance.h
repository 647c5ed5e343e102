#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDBusContext>
#include <QObject>

namespace tw {

/// One Tellwick per session: the first copy owns the bus name org.tellwick.Tellwick and
/// exports Activate() at /org/tellwick/Tellwick; a later copy calls that and ends. The same
/// object takes ToggleRecording() (F12 from outside, for a key the desktop binds).
/// Lives on the UI thread; its methods run there.
class SingleInstance : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tellwick.Tellwick")

public:
    static constexpr char kServiceName[] = "org.tellwick.Tellwick";
    static constexpr char kObjectPath[] = "/org/tellwick/Tellwick";
    static constexpr char kInterface[] = "org.tellwick.Tellwick";

    enum class Claim {
        First,            ///< this process owns the name: run
        Activated,        ///< another copy runs and was asked to come forward: end quietly
        ActivationFailed, ///< another copy owns the name but did not answer: end
        NoBus,            ///< no session bus: run without the check
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Claims the name, or activates the copy that holds it. Touches no file.
    Claim claim();

    /// Why the last claim() did not answer First (for the trace).
    const std::string& diagnostic() const { return m_diagnostic; }

    /// What Activate() does (the main window raises itself).
    void setActivateHandler(std::function<void()> handler) { m_onActivate = std::move(handler); }
    /// What ToggleRecording() does; its text is the reply. None set: the call is refused.
    void setToggleRecordingHandler(std::function<std::string()> handler)
    {
        m_onToggleRecording = std::move(handler);
    }

    /// Asks the running copy to toggle the recording of the current call (without starting
    /// one). Empty when a copy answered, with its reply in reply; else why not.
    static std::optional<std::string> RequestToggleRecording(std::string& reply);

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();
    Q_SCRIPTABLE QString ToggleRecording();

private:
    std::function<void()> m_onActivate;
    std::function<std::string()> m_onToggleRecording;
    std::string m_diagnostic;
    bool m_registered = false;
};

} // namespace tw
