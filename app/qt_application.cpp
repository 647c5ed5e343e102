#include "app/qt_application.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QGuiApplication>

#include "app/main_window_startup.h"
#include "app/options_startup.h"
#include "app/side_panel_startup.h"
#include "app/skype_startup.h"
#include "mainframe/main_frame.h"
#include "platform/prompt.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/signal_watcher.h"
#include "platform/qt/single_instance.h"
#include "platform/trace.h"
#include "ui/main_window.h"
#include "ui/side_panel.h"
#include "ui/skin.h"
#include "ui/splash.h"

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
    // exit(), not quit(): quit() first asks every window to close, and the windows that only
    // hide when closed (the main window, the side panel) would refuse the program's end.
    QCoreApplication::exit(0);
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
    // The record browser, hidden: the side panel stands in for it.
    m_window = std::make_unique<MainWindowStartup>(m_app, *m_instance, *m_frame);
    m_panel = std::make_unique<SidePanelStartup>(m_app, *m_frame);
    m_options =
        std::make_unique<OptionsStartup>(m_app, *m_frame, m_skype->link(), m_skype->callHandling());
    m_window->setOptionsHandler([this] { m_options->run(); });
    m_window->setStickToSkype([this] { m_panel->stickToSkype(); });
    m_window->setShowQuickPanel([this] { m_panel->showSidePanel(); });
    m_window->setShowAtStart(false);
    m_window->start(m_skype->link());
    m_options->setWindow(m_window->window());
    m_skype->setWindowHost(m_panel.get());
    if (m_panel->start(m_skype->link(), *m_window, *m_prompt)) {
        CSPanel* panel = m_panel->panel();
        PanelSettingsHooks hooks;
        hooks.setAlwaysOnTop = [panel](bool on) { panel->SetAlwaysOnTop(on); };
        hooks.hasRecentRecords = [panel] { return !panel->Records().empty(); };
        hooks.refresh = [panel] { panel->Refresh(); };
        hooks.reload = [panel] { panel->Reload(); };
        m_options->setPanelHooks(std::move(hooks));
    } else if (QGuiApplication::platformName() != "offscreen") {
        m_window->window()->Activate();
    }
}

void QtApplication::stopComponents()
{
    // ... and stop here, in reverse order, before the settings are saved.
    m_options.reset(); // its hooks reach into the side panel
    m_splash.reset();
    if (m_skype)
        m_skype->setWindowHost(nullptr);
    if (m_panel)
        m_panel->stop();
    m_window.reset();
    m_panel.reset();
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

void QtApplication::showSplash()
{
    if (QGuiApplication::platformName() == "offscreen")
        return;
    SetSkinFolder(m_app.folders().programDataFolder);
    m_splash = std::make_unique<CSplashWnd>(
        *m_loop, [this] { return m_window && m_window->window(); }, TW_VERSION);
    m_splash->Start();
    // Painted now: start-up keeps the loop busy until the windows exist.
    QCoreApplication::processEvents();
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
    showSplash();
    startComponents();
    QCoreApplication::exec();
    stopComponents();
    m_app.ExitInstance();
    return 0;
}

} // namespace tw
