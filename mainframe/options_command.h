#pragma once

#include <functional>
#include <string>

#include "mainframe/settings_apply.h"

namespace tw {

class CMainFrame;

/// The main frame's Options command: ApplyChanges, and after OK the mail account and mail
/// settings handed out again, the record storage reopened on a changed folder (then
/// folderReopened, so that the windows refill and the side panel reloads its list), and the
/// start-with-login entry written or removed as fStartUp says. Answers ApplyChanges' result.
/// UI thread only.
int RunOptionsCommand(CMainFrame& frame, const OptionsRunner& run, SettingsTargets& targets,
                      Prompt& prompt, const std::string& greetingFolder,
                      const std::function<void()>& folderReopened = {});

} // namespace tw
