#pragma once

#include <string>

namespace tw {

/// Joins the audio of second behind that of first, under first's name (the WAV join of
/// greetings and recording segments). Both must be WAVs of the same format: format tag,
/// sample rate, channels, block alignment and bits per sample. The join is written to
/// FinishTempPath(first, "join") and then replaces first in one rename; deleteSecond removes
/// second afterwards. On failure both files stay as they were, no temporary file remains,
/// and error says why. first is never changed (it stays a reference for older callers).
bool AppendWave(std::string& first, const std::string& second, bool deleteSecond,
                std::string* error = nullptr);

} // namespace tw
