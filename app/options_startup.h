#pragma once

#include <memory>

#include "app/component_targets.h"

namespace tw {

class CallHandling;
class CMainFrame;
class CMainWindow;
class CSkypeLink;
class CTWKApp;
class QtPrompt;

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
    std::unique_ptr<ComponentTargets> m_targets;
    std::unique_ptr<QtPrompt> m_prompt;
};

} // namespace tw
