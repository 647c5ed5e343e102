#include "app/twk_app.h"

#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/trace.h"

namespace tw {

AppFolders SetupFolders(const FolderEnvironment& env)
{
    AppFolders folders = computeAppFolders(env);
    // The data folder's parents (~/.local/share) need not exist on a fresh account.
    EnsureFolderPath(folders.dataFolder);
    EnsureFolder(folders.greetingFolder);
    EnsureFolder(folders.recordsFolder);
    EnsureFolder(folders.mailFolder);
    return folders;
}

void CTWKApp::InitInstance(const FolderEnvironment& env, CSettings::GreetingLookup greetingLookup)
{
    m_folders = SetupFolders(env);
    tracef(3, "Data folder %s, program data %s", m_folders.dataFolder.c_str(),
           m_folders.programDataFolder.c_str());

    appLog().Open(m_folders.logFile);
    appLog().Enable(true);

    const auto status = m_settings.Load(m_folders.configFile, m_folders.dataFolder,
                                        m_folders.programFolder, std::move(greetingLookup));
    if (status != ProfileStore::LoadStatus::Ok && status != ProfileStore::LoadStatus::Missing)
        Log("CSettings::Load() - The configuration file cannot be read; defaults are used.");
    m_started = true;
}

void CTWKApp::ExitInstance()
{
    if (!m_started)
        return;
    m_started = false;
    if (m_settings.isLoaded() && !m_settings.Save())
        Log("CSettings::Save() - The configuration file cannot be written.");
    Log("ExitInstance()");
    appLog().Close();
}

void CTWKApp::Log(std::string_view text)
{
    appLog().Write(text);
}

} // namespace tw
