#pragma once

#include <string>

namespace tw {

/// Where Tellwick keeps its files. Paths are absolute where their inputs are, without a
/// trailing '/', and keep their case.
struct AppFolders
{
    std::string programFolder;     ///< the executable's folder
    std::string programDataFolder; ///< shipped data: <prefix>/share/tellwick beside bin/
    std::string dataFolder;        ///< the user's data: $XDG_DATA_HOME/tellwick
    std::string configFile;        ///< dataFolder + "/Tellwick.Ini"
    std::string logFile;           ///< dataFolder + "/Tellwick.Log"
    std::string greetingFolder;    ///< dataFolder + "/Greeting"
    std::string recordsFolder;     ///< dataFolder + "/records", the default records folder
    std::string mailFolder;        ///< dataFolder + "/Mail"
    std::string panelListFile;     ///< dataFolder + "/splist.ini"
};

/// What the layout depends on, so that tests can give it without touching the process.
struct FolderEnvironment
{
    std::string executablePath; ///< full path of the running executable
    std::string xdgDataHome;    ///< $XDG_DATA_HOME; ignored unless absolute
    std::string home;           ///< the user's home folder; empty when unknown
};

/// The environment of this process: /proc/self/exe, $XDG_DATA_HOME, $HOME (or the password
/// database when HOME is unset).
FolderEnvironment currentFolderEnvironment();

/// Computes the layout; creates nothing. Without XDG_DATA_HOME the data lives in
/// home + "/.local/share/tellwick"; without a home, in programFolder + "/tellwick".
AppFolders computeAppFolders(const FolderEnvironment& env);

} // namespace tw
