#include "records/free_space.h"

#include <sys/statvfs.h>

namespace tw {

std::optional<std::uint64_t> StatvfsFreeSpace::freeBytes(const std::string& path)
{
    struct statvfs st
    {
    };
    if (path.empty() || ::statvfs(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
}

} // namespace tw
