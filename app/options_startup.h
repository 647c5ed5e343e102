#pragma once

#include <functional>
#include <memory>

namespace tw {

class CallHandling;
class CMainFrame;
class CMainWindow;
class CSkypeLink;
class CTWKApp;
class Prompt;
class SettingsTargets;

/// What the side panel offers the Options command; each may be left empty while there is no
/// panel.
struct PanelSettingsHooks
{
    std::function<void(bool)> setAlwaysOnTop;
    std::function<bool()> hasRecentRecords;
    std::function<void()> refresh;
    std::function<void()> reload; ///< after the records folder changed
};

/// The Options command inside the running application: the Options dialog over the main
/// window, the confirmed values pushed into the Skype link, the call handling, the record
/// storage and the side panel, and the records folder reopened when it changed (the lists
/// refill). UI thread only.
class OptionsStartup
{
public:
    /// link and handling may be null (the Skype link did not start); all outlive this.
    OptionsStartup(CTWKApp& app, CMainFrame& frame, CSkypeLink* link, CallHandling* handling);
    ~OptionsStartup();
    OptionsStartup(const OptionsStartup&) = delete;
    OptionsStartup& operator=(const OptionsStartup&) = delete;

    void setWindow(CMainWindow* window) { m_window = window; }
    void setPanelHooks(PanelSettingsHooks hooks);
    /// Runs the Options dialog; answers ApplyChanges' result.
    int run();

private:
    CTWKApp& m_app;
    CMainFrame& m_frame;
    CSkypeLink* m_link;
    CMainWindow* m_window = nullptr;
    std::unique_ptr<SettingsTargets> m_targets;
    std::unique_ptr<Prompt> m_prompt;
};

} // namespace tw
