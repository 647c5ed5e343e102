#include "platform/app_folders.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "platform/file_util.h"

namespace tw {
namespace {

std::string getEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// "/opt/tw/bin" -> "/opt/tw": the parent folder, lexically.
std::string parentFolder(const std::string& folder)
{
    const auto pos = folder.rfind('/');
    if (pos == std::string::npos)
        return ".";
    return pos == 0 ? "/" : folder.substr(0, pos);
}

} // namespace

FolderEnvironment currentFolderEnvironment()
{
    FolderEnvironment env;
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n > 0)
        env.executablePath.assign(buffer.data(), static_cast<std::size_t>(n));
    env.xdgDataHome = getEnv("XDG_DATA_HOME");
    env.home = getEnv("HOME");
    if (env.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            env.home = pw->pw_dir;
    }
    return env;
}

AppFolders computeAppFolders(const FolderEnvironment& env)
{
    AppFolders f;
    std::string name;
    if (!SplitPath(env.executablePath, f.programFolder, name))
        f.programFolder = ".";
    if (f.programFolder.empty())
        f.programFolder = "/";
    f.programDataFolder = JoinPath(parentFolder(f.programFolder), "share/tellwick");

    // The XDG rules: a relative XDG_DATA_HOME is invalid and ignored.
    const std::string xdg = stripTrailingSlashes(env.xdgDataHome);
    const std::string home = stripTrailingSlashes(env.home);
    if (!xdg.empty() && xdg.front() == '/')
        f.dataFolder = JoinPath(xdg, "tellwick");
    else if (!home.empty())
        f.dataFolder = JoinPath(home, ".local/share/tellwick");
    else
        f.dataFolder = JoinPath(f.programFolder, "tellwick");

    f.configFile = JoinPath(f.dataFolder, "Tellwick.Ini");
    f.logFile = JoinPath(f.dataFolder, "Tellwick.Log");
    f.greetingFolder = JoinPath(f.dataFolder, "Greeting");
    f.recordsFolder = JoinPath(f.dataFolder, "records");
    f.mailFolder = JoinPath(f.dataFolder, "Mail");
    f.panelListFile = JoinPath(f.dataFolder, "splist.ini");
    return f;
}

} // namespace tw
