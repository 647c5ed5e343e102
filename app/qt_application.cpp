#include "app/qt_application.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "app/main_window_startup.h"
#include "app/options_startup.h"
#include "app/skype_startup.h"
#include "mainframe/main_frame.h"
#include "platform/prompt.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/signal_watcher.h"
#include "platform/qt/single_instance.h"
#include "platform/trace.h"

namespace tw {

QtApplication::QtApplication()
    : m_loop(std::make_unique<QtEventLoop>()), m_signals(std::make_unique<SignalWatcher>()),
      m_instance(std::make_unique<SingleInstance>())
{
    // The session ending runs the same orderly exit as closing the main window. The watcher
    // is up before the bus name is claimed, so a signal sent once the name is owned is
    // always handled.
    QObject::connect(m_signals.get(), &SignalWatcher::signalReceived, [this](int signalNumber) {
        tracef(3, "Signal %d: orderly exit", signalNumber);
        // A call in progress is ended in Skype first (voice mail kept, status given back);
        // that waits a bounded time for Skype, then the loop ends.
        if (m_skype)
            m_skype->prepareExit([] { quit(); });
        else
            quit();
    });
    if (!m_signals->isValid())
        trace(2, "QtApplication: signal handlers could not be installed");
    m_instance->setActivateHandler([] { trace(3, "Activate()"); });
}

QtApplication::~QtApplication() = default;

void QtApplication::quit()
{
    QCoreApplication::quit();
}

QtApplication::Start QtApplication::claimInstance()
{
    switch (m_instance->claim()) {
    case SingleInstance::Claim::First:
        return Start::Run;
    case SingleInstance::Claim::NoBus:
        trace(2, "Warning: " + m_instance->diagnostic() +
                     "; running without the single-instance check");
        return Start::Run;
    case SingleInstance::Claim::Activated:
        trace(3, "Another Tellwick runs; it was asked to come forward");
        return Start::EndQuietly;
    case SingleInstance::Claim::ActivationFailed:
        std::fprintf(stderr, "tellwick: another copy is running but does not answer (%s)\n",
                     m_instance->diagnostic().c_str());
        return Start::Fail;
    }
    return Start::Fail;
}

namespace {

const char* toggleReply(CMainFrame::RecordToggle toggle)
{
    switch (toggle) {
    case CMainFrame::RecordToggle::Started:
        return "Recording started";
    case CMainFrame::RecordToggle::Stopped:
        return "Recording stopped";
    case CMainFrame::RecordToggle::NoCall:
        break;
    }
    return "No call in progress";
}

} // namespace

void QtApplication::startComponents()
{
    const FolderEnvironment env = currentFolderEnvironment();
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    m_prompt = MainWindowStartup::MakePrompt();
    m_frame = std::make_unique<CMainFrame>(
        *m_loop, *m_prompt, m_app.settings(),
        CMainFrame::Setup{
            m_app.folders(), kAppTitle,
            AutostartEntry(configHome ? configHome : "", env.home, env.executablePath), nullptr});
    m_frame->PushSettings();

    m_skype =
        std::make_unique<SkypeStartup>(m_app, *m_loop, &m_frame->pipeline(), &m_frame->storage());
    m_skype->start();
    m_frame->setCallHandling(m_skype->link(), m_skype->callHandling());
    m_frame->ApplyStartUp();
    m_frame->StartTimer();
    m_instance->setToggleRecordingHandler(
        [this] { return std::string(toggleReply(m_frame->ToggleRecording())); });
    // The record browser.
    m_window = std::make_unique<MainWindowStartup>(m_app, *m_instance, *m_frame);
    m_options =
        std::make_unique<OptionsStartup>(m_app, *m_frame, m_skype->link(), m_skype->callHandling());
    m_window->setOptionsHandler([this] { m_options->run(); });
    m_window->start(m_skype->link());
    m_options->setWindow(m_window->window());
}

void QtApplication::stopComponents()
{
    // ... and stop here, in reverse order, before the settings are saved.
    m_options.reset();
    m_window.reset();
    m_instance->setToggleRecordingHandler({});
    if (m_frame) {
        CTWKApp::Log("CMainFrame::OnClosee()");
        m_frame->setCallHandling(nullptr, nullptr);
    }
    if (m_skype)
        m_skype->stop(); // joins the record finishers: their records are in the pipeline now
    if (m_frame)
        m_frame->Exit();
    m_skype.reset();
    m_frame.reset();
    m_prompt.reset();
}

int QtApplication::run()
{
    switch (claimInstance()) {
    case Start::Run:
        break;
    case Start::EndQuietly:
        return 0;
    case Start::Fail:
        return 1;
    }
    // Passwords live in the desktop's Secret Service when it answers.
    m_secrets = MakeDesktopSecretStore();
    m_app.settings().UseSecretStore(m_secrets.get());
    m_app.InitInstance(currentFolderEnvironment());
    startComponents();
    QCoreApplication::exec();
    stopComponents();
    m_app.ExitInstance();
    return 0;
}

} // namespace tw
