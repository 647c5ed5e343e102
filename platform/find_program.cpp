#include "platform/find_program.h"

#include "platform/file_util.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string FindProgram(const std::string& name, const std::string& programFolder)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    if (!programFolder.empty()) {
        const std::string candidate = JoinPath(programFolder, name);
        if (isExecutableFile(candidate))
            return candidate;
    }
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    const std::string dirs(path);
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty PATH entry means the current folder; we do not search it.
        if (end > start) {
            const std::string candidate = JoinPath(dirs.substr(start, end - start), name);
            if (isExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

} // namespace tw
