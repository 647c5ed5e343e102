#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/wave_layout.h"

namespace tw {

/// What a structural look at a RIFF/WAVE file found: the format block, where the data chunk
/// lies and where the WAVE chunk ends. Records carry a further top-level chunk ("TWKI")
/// behind the WAVE chunk, so readers must stop at waveEnd.
struct WavProbe : WaveFormatFields
{
    std::uint64_t dataOffset = 0; ///< file offset of the first data byte
    std::uint64_t dataSize = 0;   ///< the data chunk's size
    std::uint64_t waveEnd = 0;    ///< file offset just behind the WAVE chunk (pad excluded)
    std::uint64_t fileSize = 0;
    WaveLayout layout; ///< where the chunks lie (see wave_layout.h)
};

/// True when the file starts with a RIFF chunk of form type WAVE (nothing else is checked).
bool isRiffWave(const std::string& path);

/// Reads the header of a WAV file and checks it strictly enough that a converter can trust
/// it: a "fmt " chunk of at least 16 bytes with non-zero channels, rate, byte rate and block
/// alignment, and a "data" chunk that lies wholly inside the file. Where the audio ends is
/// that of ReadWaveLayout (a wrong RIFF size is not believed). On failure returns false and
/// says why in error (a short English phrase). Only regular files are opened.
bool probeWav(const std::string& path, WavProbe& probe, std::string& error);

} // namespace tw
