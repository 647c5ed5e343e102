#pragma once

#include <string>

namespace tw {

/// The full path of an executable named name: first in programFolder (when not empty), then
/// on PATH. Empty when there is none. Never runs anything.
std::string FindProgram(const std::string& name, const std::string& programFolder);

} // namespace tw
