#pragma once

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

/// True when path names a regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);

} // namespace tw
