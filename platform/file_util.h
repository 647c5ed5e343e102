#pragma once

#include <string>
#include <string_view>

namespace tw {

// File helpers shared by the settings, the records and the call handling. Paths are UTF-8
// with '/' separators. All return true on success, false otherwise, and never throw.

/// Makes sure the folder exists and can be written: a probe file is created exclusively and
/// removed; failing that, the folder (one level) is created.
bool EnsureFolder(const std::string& path);
/// EnsureFolder on the path; when that fails, on each prefix ending before a '/', from the
/// left, and finally on the path again. False at the first prefix that fails.
bool EnsureFolderPath(const std::string& path);
/// Opens the file for reading and closes it. A transient failure (anything but "does not
/// exist" or "not a folder") is retried once after 100 ms; a missing file answers at once.
bool CanOpenFile(const std::string& path);
/// Deletes the file only when it can be opened.
bool DeleteFileSafely(const std::string& path);
/// Renames (moves) from to to only when from can be opened and to does not exist; never
/// overwrites.
bool RenameFileSafely(const std::string& from, const std::string& to);
/// Splits at the last '/'; false when there is none.
bool SplitPath(std::string_view path, std::string& folder, std::string& name);

bool FileExists(const std::string& path);
/// Joins folder and name with exactly one '/'.
std::string JoinPath(std::string_view folder, std::string_view name);

} // namespace tw
