#include "records/regular_file.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tw {

int OpenRegularFile(const std::string& path, int flags)
{
    // O_NONBLOCK makes the open of a FIFO return at once; it means nothing for a regular
    // file and is cleared again.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

std::FILE* OpenRegularFileStream(const std::string& path, const char* mode)
{
    const bool update = std::strchr(mode, '+') != nullptr;
    const int fd = OpenRegularFile(path, update ? O_RDWR : O_RDONLY);
    if (fd < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(fd, mode);
    if (!stream)
        ::close(fd);
    return stream;
}

bool ReadFileAt(int fd, std::uint64_t offset, void* buffer, std::size_t count, std::size_t& got)
{
    got = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (got < count) {
        const ssize_t n = ::pread(fd, out + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace tw
