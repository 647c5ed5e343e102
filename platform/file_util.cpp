#include "platform/file_util.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

bool tryOpenForReading(const std::string& path, int& error)
{
    // O_NONBLOCK: the open of a FIFO named like a file must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace

bool EnsureFolder(const std::string& path)
{
    if (path.empty())
        return false;
    static thread_local std::mt19937 random{std::random_device{}()};
    char probe[32];
    std::snprintf(probe, sizeof probe, "ti%6u.tst", static_cast<unsigned>(random() % 1000000));
    const std::string probePath = JoinPath(path, probe);
    const int fd = ::open(probePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probePath.c_str());
        return true;
    }
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool EnsureFolderPath(const std::string& path)
{
    if (EnsureFolder(path))
        return true;
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos;
         pos = path.find('/', pos + 1)) {
        const std::string prefix = path.substr(0, pos);
        struct stat st
        {
        };
        // Prefixes that exist already (the root, /home) need not be writable.
        if (::stat(prefix.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (!EnsureFolder(prefix))
            return false;
    }
    return EnsureFolder(path);
}

bool CanOpenFile(const std::string& path)
{
    if (path.empty())
        return false;
    int error = 0;
    if (tryOpenForReading(path, error))
        return true;
    if (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return tryOpenForReading(path, error);
}

bool DeleteFileSafely(const std::string& path)
{
    return CanOpenFile(path) && ::unlink(path.c_str()) == 0;
}

bool RenameFileSafely(const std::string& from, const std::string& to)
{
    if (!CanOpenFile(from) || FileExists(to))
        return false;
    // A hard link fails when the target exists, so a file that appears meanwhile is never
    // replaced; across file systems fall back to rename after the check above.
    if (::link(from.c_str(), to.c_str()) == 0)
        return ::unlink(from.c_str()) == 0;
    if (errno == EEXIST)
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool SplitPath(std::string_view path, std::string& folder, std::string& name)
{
    const auto pos = path.rfind('/');
    if (pos == std::string_view::npos)
        return false;
    folder.assign(path.substr(0, pos));
    name.assign(path.substr(pos + 1));
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    if (!out.empty() && out.back() != '/')
        out.push_back('/');
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    out.append(name);
    return out;
}

} // namespace tw
