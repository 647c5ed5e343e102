#pragma once

#include <functional>
#include <memory>

namespace tw {

class CMainFrame;
class CMainWindow;
class CSkypeLink;
class CTWKApp;
class PartnerDirectory;
class Prompt;
class RecordViews;
class SingleInstance;

/// The record browser inside the running application: the main window over the main frame's
/// live record storage (shown at start only when asked, and never on the offscreen
/// platform), the record pipeline's news shown in its lists, Activate() of
/// a second copy bringing it forward, and the window's log and trace lines in the event log
/// and trace. UI thread only.
class MainWindowStartup
{
public:
    MainWindowStartup(CTWKApp& app, SingleInstance& instance, CMainFrame& frame);
    ~MainWindowStartup();
    MainWindowStartup(const MainWindowStartup&) = delete;
    MainWindowStartup& operator=(const MainWindowStartup&) = delete;

    /// The prompt of the core: real dialogs where there is a screen, the log where the
    /// windows are offscreen (nobody could answer there).
    static std::unique_ptr<Prompt> MakePrompt();

    /// The Tools menu's Options command; set before start().
    void setOptionsHandler(std::function<void()> handler) { m_onOptions = std::move(handler); }
    /// link may be null (the Skype link did not start).
    void start(CSkypeLink* link);
    void stop();

    CMainWindow* window() { return m_window.get(); }
    /// The record lists' views (null before start) and the Skype side of the windows.
    RecordViews* views() { return m_views.get(); }
    PartnerDirectory* directory() { return m_directory.get(); }
    /// Before start: the "Stick to Skype" command, and whether the window shows at start
    /// (it does not where the side panel stands in for it).
    void setStickToSkype(std::function<void()> stick) { m_stick = std::move(stick); }
    void setShowQuickPanel(std::function<void()> show) { m_showPanel = std::move(show); }
    void setShowAtStart(bool show) { m_showAtStart = show; }

private:
    CTWKApp& m_app;
    SingleInstance& m_instance;
    CMainFrame& m_frame;
    std::unique_ptr<PartnerDirectory> m_directory;
    std::unique_ptr<CMainWindow> m_window;
    std::unique_ptr<RecordViews> m_views;
    std::function<void()> m_stick;
    std::function<void()> m_showPanel;
    bool m_showAtStart = true;
    std::function<void()> m_onOptions;
};

} // namespace tw
