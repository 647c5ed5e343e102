#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw::fuzz {

/// A file that holds exactly the given bytes, in memory (memfd), named by a path that every
/// reader can open. The file goes when the object does.
class MemoryFile
{
public:
    MemoryFile(const std::uint8_t* data, std::size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& path() const { return m_path; }
    bool ok() const { return m_fd >= 0; }
    /// The file's whole content now.
    std::string bytes() const;

private:
    int m_fd = -1;
    std::string m_path;
};

/// A private folder for targets that need real names in a folder; made once per process.
const std::string& scratchFolder();

/// Aborts (a finding for the fuzzer) with the message when the condition does not hold.
void check(bool condition, const char* what);

} // namespace tw::fuzz
