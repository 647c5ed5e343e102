#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <fcntl.h>

namespace tw {

// Opening files that are named like audio or index files. A FIFO, device or socket can carry
// any name; opening a FIFO for reading blocks until a writer comes, so the type is checked on
// the open descriptor before a single byte is read.

/// Opens path (flags as for open(2), O_CLOEXEC added) only when it is a regular file;
/// -1 otherwise, with errno set (EINVAL for anything but a regular file).
int OpenRegularFile(const std::string& path, int flags = O_RDONLY);

/// The same as a stdio stream in mode "rb" or "r+b"; null otherwise.
std::FILE* OpenRegularFileStream(const std::string& path, const char* mode = "rb");

/// Reads up to count bytes at offset (retrying after signals); got = bytes read, short only
/// at the end of the file. False on a read error.
bool ReadFileAt(int fd, std::uint64_t offset, void* buffer, std::size_t count, std::size_t& got);

/// True when path names a regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);

} // namespace tw
