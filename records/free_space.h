#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

/// Where the record storage learns the free space of a volume; tests install a fake.
class FreeSpaceSource
{
public:
    virtual ~FreeSpaceSource() = default;
    /// Bytes available to this process on the volume that holds path; nullopt when the
    /// system cannot tell. Any thread.
    virtual std::optional<std::uint64_t> freeBytes(const std::string& path) = 0;
};

/// The system's answer: statvfs f_bavail * f_frsize.
class StatvfsFreeSpace : public FreeSpaceSource
{
public:
    std::optional<std::uint64_t> freeBytes(const std::string& path) override;
};

} // namespace tw
