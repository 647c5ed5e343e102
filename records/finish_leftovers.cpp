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

struct Entry
{
    std::string name;
    unsigned char type; // DT_DIR, DT_REG, ... or DT_UNKNOWN where the file system does not say
};

std::vector<Entry> entries(const std::string& folder)
{
    std::vector<Entry> found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            found.push_back({entry->d_name, entry->d_type});
    }
    ::closedir(dir);
    return found;
}

int removeIn(const std::string& folder, std::time_t notAfter, bool descend)
{
    int removed = 0;
    for (const Entry& entry : entries(folder)) {
        // Runs over every record at start-up: only a leftover's name or a folder costs a
        // look at the file itself.
        const std::string source = FinishTempSource(entry.name);
        const bool maybeFolder = entry.type == DT_DIR || entry.type == DT_UNKNOWN;
        if (source.empty() && !(descend && maybeFolder))
            continue;
        const std::string path = JoinPath(folder, entry.name);
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
