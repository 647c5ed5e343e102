#pragma once

#include <memory>

#include "skype/skype_link_host.h"

namespace tw {

class CMainFrame;
class CSPanel;
class CSkypeLink;
class CTWKApp;
class DesktopNotifier;
class MainWindowStartup;
class Prompt;
class RecordViews;
class SkypeWindowAccess;

/// The side panel inside the running application: created over the live records with the
/// list of "splist.ini", shown in front at start; the record pipeline's new records reach
/// its list (and, for a voice mail, the desktop's notification service, whose "Play" plays
/// it in the panel); deleted records leave it; the Skype link's news (attach, call state,
/// contacts, Skype's own menu) reach it as the link's window host. stop() runs the panel's
/// Exit before the settings are saved. UI thread only.
class SidePanelStartup : public SkypeLinkHost
{
public:
    SidePanelStartup(CTWKApp& app, CMainFrame& frame);
    ~SidePanelStartup() override;
    SidePanelStartup(const SidePanelStartup&) = delete;
    SidePanelStartup& operator=(const SidePanelStartup&) = delete;

    /// After the main window started. link may be null. False when the panel's skin is
    /// missing: there is then no panel, and the main window must stand in for it.
    bool start(CSkypeLink* link, MainWindowStartup& window, Prompt& prompt);
    void stop();

    CSPanel* panel() { return m_panel.get(); }
    /// The main window's "Stick to Skype".
    void stickToSkype();

    // The Skype link's news.
    void requestExit() override {}
    void skypeAttached() override;
    void callStateChanged() override;
    void contactsChanged() override;
    void showSidePanel() override;

private:
    class Views;
    void mainWindowCommand(int command);

    CTWKApp& m_app;
    CMainFrame& m_frame;
    MainWindowStartup* m_window = nullptr;
    std::unique_ptr<SkypeWindowAccess> m_skypeWindow;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<CSPanel> m_panel;
    std::unique_ptr<Views> m_views;
};

} // namespace tw
