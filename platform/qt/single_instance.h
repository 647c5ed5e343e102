#pragma once

#include <functional>
#include <string>

#include <QObject>

namespace tw {

/// One Tellwick per session: the first copy owns the bus name org.tellwick.Tellwick and
/// exports Activate() at /org/tellwick/Tellwick; a later copy calls that and ends.
/// Lives on the UI thread; Activate() runs there.
class SingleInstance : public QObject
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

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();

private:
    std::function<void()> m_onActivate;
    std::string m_diagnostic;
    bool m_registered = false;
};

} // namespace tw
