#pragma once

#include <string>

namespace tw {

/// Joins the audio of second behind that of first, under first's name (the WAV join of
/// greetings and recording segments). Both must be WAVs of the same format: format tag,
/// sample rate, channels, block alignment and bits per sample. The join is written to
/// first's name with "_4" before its extension and then takes first's place; when that
/// last rename fails, first becomes the "_4" name that holds the join. deleteSecond removes
/// second afterwards. On failure both files stay as they were, no "_4" file remains, and
/// error says why.
bool AppendWave(std::string& first, const std::string& second, bool deleteSecond,
                std::string* error = nullptr);

} // namespace tw
