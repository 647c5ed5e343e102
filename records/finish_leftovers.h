#pragma once

#include <ctime>
#include <string>

namespace tw {

/// Removes the temporary files of the finishing steps (FinishTempSource names) that a
/// program killed during a cut, mix or join left in folder and in its folders one level
/// down (the date folders). Only a regular file whose source still lies beside it goes: the
/// step replaces its source in one rename, so until then the source holds everything. Only
/// a file last written at or before notAfter goes, so that the temporary file of a step
/// running now stays. Answers how many were removed.
int RemoveFinishLeftovers(const std::string& folder, std::time_t notAfter);

/// How long a finishing step's temporary file can go without a write while the step runs;
/// one older than this is a leftover also while the program runs.
constexpr std::time_t kFinishLeftoverAge = 15 * 60;

} // namespace tw
