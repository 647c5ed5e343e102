#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sys/mman.h>
#include <unistd.h>

namespace tw::fuzz {

MemoryFile::MemoryFile(const std::uint8_t* data, std::size_t size)
{
    m_fd = memfd_create("tw-fuzz", MFD_CLOEXEC);
    if (m_fd < 0)
        return;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n <= 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

MemoryFile::~MemoryFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string MemoryFile::bytes() const
{
    std::string out;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(m_fd, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

const std::string& scratchFolder()
{
    // Never destroyed: the clean-up at exit runs after the static destructors.
    static const std::string* const folder = [] {
        auto* pattern =
            new std::string((std::filesystem::temp_directory_path() / "tw-fuzz-XXXXXX").string());
        if (!::mkdtemp(pattern->data()))
            check(false, "cannot make a scratch folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return pattern;
    }();
    return *folder;
}

void check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace tw::fuzz
