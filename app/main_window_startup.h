#pragma once

#include <memory>

namespace tw {

class CMainWindow;
class CRecordStorage;
class CSkypeLink;
class CTWKApp;
class PartnerDirectory;
class SingleInstance;

/// The record browser inside the running application: the live record storage on the
/// configured records folder, the main window over it (shown at start while no tray or side
/// panel exists to open it, except on the offscreen platform), Activate() of a second copy
/// bringing it forward, and the window's log and trace lines in the event log and trace.
/// UI thread only.
class MainWindowStartup
{
public:
    MainWindowStartup(CTWKApp& app, SingleInstance& instance);
    ~MainWindowStartup();
    MainWindowStartup(const MainWindowStartup&) = delete;
    MainWindowStartup& operator=(const MainWindowStartup&) = delete;

    /// link may be null (the Skype link did not start).
    void start(CSkypeLink* link);
    void stop();

    CMainWindow* window() { return m_window.get(); }

private:
    CTWKApp& m_app;
    SingleInstance& m_instance;
    std::unique_ptr<CRecordStorage> m_storage;
    std::unique_ptr<PartnerDirectory> m_directory;
    std::unique_ptr<CMainWindow> m_window;
};

} // namespace tw
