#pragma once

#include <memory>

#include "app/twk_app.h"
#include "mainframe/secret_store.h"

namespace tw {

class CMainFrame;
class Prompt;
class QtEventLoop;
class SignalWatcher;
class SingleInstance;
class SkypeStartup;
class MainWindowStartup;
class SidePanelStartup;
class CSplashWnd;
class OptionsStartup;

/// The tellwick process on Qt: the single-instance check, the UI thread's event loop, the
/// orderly exit on SIGTERM/SIGINT/SIGHUP, and the core start-up (CTWKApp) in between.
///
/// run() goes through these steps in order; each is a member so that later components
/// (the Skype link, call handling, the main window) add their own start and stop calls in
/// startComponents() and stopComponents():
///   1. claimInstance()    - a second copy activates the first and ends here, touching no file
///   2. CTWKApp::InitInstance - folders, log, settings
///   3. startComponents()  - the main frame (record storage, outbox, pipeline) with its
///                           settings, the Skype link with its own, the start-with-login
///                           entry, timer 1000, and the F12 command on the bus
///   4. the event loop, until quit() (a signal, or the main window closing)
///   5. stopComponents()   - the link first (its finished records reach the pipeline), then
///                           CMainFrame::Exit (pipeline, outbox), then CTWKApp::ExitInstance
///                           saves the settings and closes the log
/// Construct it after QCoreApplication (or QApplication); it lives on the UI thread.
class QtApplication
{
public:
    QtApplication();
    ~QtApplication();

    /// Runs the whole life of the process; the result is the exit status.
    int run();
    /// Ends the event loop; run() then shuts down in order. UI thread only.
    static void quit();

    CTWKApp& app() { return m_app; }
    QtEventLoop& eventLoop() { return *m_loop; }
    SingleInstance& singleInstance() { return *m_instance; }
    CMainFrame* mainFrame() { return m_frame.get(); }

private:
    enum class Start { Run, EndQuietly, Fail };
    Start claimInstance();
    void showSplash();
    void startComponents();
    void stopComponents();

    std::unique_ptr<SecretStore> m_secrets; // outlives m_app's settings
    CTWKApp m_app;
    std::unique_ptr<QtEventLoop> m_loop;
    std::unique_ptr<SignalWatcher> m_signals;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<Prompt> m_prompt;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<SkypeStartup> m_skype;
    std::unique_ptr<MainWindowStartup> m_window; // the record browser
    std::unique_ptr<SidePanelStartup> m_panel;   // the side panel, the tray, notifications
    std::unique_ptr<CSplashWnd> m_splash;
    std::unique_ptr<OptionsStartup> m_options;
};

} // namespace tw
