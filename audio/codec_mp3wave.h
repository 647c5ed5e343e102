#pragma once

#include <string>

namespace tw {

/// The MP3 stream inside our MPEG Layer-3 WAVs: constant bit rate MPEG-2 Layer III, 16 kHz
/// mono. With a constant rate every frame has the same size (no padding at 16 kHz), so
/// the WAV's byte rate gives every reader the right duration; a VBR stream without its tag
/// frame would not.
struct Mp3WaveSettings
{
    static constexpr int kSampleRate = 16000;
    static constexpr int kSamplesPerFrame = 576; // MPEG-2 Layer III
    int kbps = 32;                               ///< 24 or 32
    int quality = 7;                             ///< LAME's algorithm quality, 0 best .. 9
};

/// Encodes source (anything the libsndfile reader opens; other rates are resampled and
/// several channels mixed to mono) into target: a WAV with format tag 0x55 and the standard
/// 12-byte MPEG Layer-3 extension, a "fact" chunk with the sample count, and the frames as
/// its data chunk. On failure the target is removed and error says why.
bool encodeMp3Wave(const std::string& source, const std::string& target,
                   const Mp3WaveSettings& settings, std::string& error);

} // namespace tw
