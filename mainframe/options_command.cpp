#include "mainframe/options_command.h"

#include "mainframe/main_frame.h"
#include "mainframe/settings.h"
#include "platform/log.h"
#include "records/record_storage.h"

namespace tw {

int RunOptionsCommand(CMainFrame& frame, const OptionsRunner& run, SettingsTargets& targets,
                      Prompt& prompt, const std::string& greetingFolder,
                      const std::function<void()>& folderReopened)
{
    CSettings& settings = frame.settings();
    bool folderChanged = false;
    const int result = settings.ApplyChanges(folderChanged, run, targets, prompt, greetingFolder);
    if (result != kOptionsOk)
        return result;
    frame.PushMailSettings();
    if (folderChanged) {
        if (!frame.storage().OpenStorageFolder(settings.sRecordStorageFolder, nullptr))
            appLog().Write("CRecordStorage::OpenStorageFolder() - " +
                           settings.sRecordStorageFolder + " cannot be opened.");
        if (folderReopened)
            folderReopened();
    }
    frame.SetStartWithWindows(settings.fStartUp);
    return result;
}

} // namespace tw
