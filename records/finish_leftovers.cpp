#include "records/finish_leftovers.h"

#include <cstring>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "platform/log.h"
#include "records/record_naming.h"

namespace tw {
namespace {

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

int removeIn(const std::string& folder, std::time_t notAfter, bool descend)
{
    int removed = 0;
    for (const std::string& name : entries(folder)) {
        const std::string path = JoinPath(folder, name);
        struct stat st
        {
        };
        // Symbolic links are neither followed nor removed.
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (descend)
                removed += removeIn(path, notAfter, false);
            continue;
        }
        const std::string source = FinishTempSource(name);
        struct stat sourceSt
        {
        };
        if (source.empty() || !S_ISREG(st.st_mode) || st.st_mtime > notAfter ||
            ::lstat(JoinPath(folder, source).c_str(), &sourceSt) != 0 || !S_ISREG(sourceSt.st_mode))
            continue;
        if (::unlink(path.c_str()) == 0) {
            ++removed;
            appLog().Write("Records: removed " + path +
                           ", left over from finishing a record that was interrupted.");
        }
    }
    return removed;
}

} // namespace

int RemoveFinishLeftovers(const std::string& folder, std::time_t notAfter)
{
    return removeIn(folder, notAfter, true);
}

} // namespace tw
