#pragma once

#include <string>

#include "mainframe/settings.h"
#include "platform/app_folders.h"

namespace tw {

/// The application title (message-box caption, mail sender name) and the display name.
inline constexpr char kAppTitle[] = "Tellwick";
inline constexpr char kDisplayName[] = "Tellwick";

/// Computes the folder layout and creates the folders that must exist (the data folder with
/// its parents, the greeting, records and mail folders). Failures are not fatal: later
/// writes fail on their own and are reported where they happen.
AppFolders SetupFolders(const FolderEnvironment& env);

/// The application object's core: folders, the event log and the settings, started and
/// stopped in a fixed order. The Qt shell (app/qt_application.h) drives it; it uses no Qt.
/// Everything here runs on the UI thread.
///
/// Start-up order: SetupFolders, open and enable the log, load the settings. Shutdown runs
/// the reverse: save the settings, then log "ExitInstance()" and close the log. Components
/// added later start after the settings are loaded and stop before they are saved.
class CTWKApp
{
public:
    /// Runs the core start-up. greetingLookup is handed to CSettings::Load (may be empty).
    void InitInstance(const FolderEnvironment& env, CSettings::GreetingLookup greetingLookup = {});
    /// Saves the settings and closes the log. Safe to call twice or without InitInstance.
    void ExitInstance();

    const AppFolders& folders() const { return m_folders; }
    CSettings& settings() { return m_settings; }
    const CSettings& settings() const { return m_settings; }

    /// The application's shorthand for appLog().Write.
    static void Log(std::string_view text);

private:
    AppFolders m_folders;
    // Held here until the main frame, its owner, exists.
    CSettings m_settings;
    bool m_started = false;
};

} // namespace tw
