#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/platform/temp_dir.h"

namespace tw::test {

/// Writes a PCM WAV by hand (independent of the code under test): a sine of freq Hz at
/// amplitude (0..1) in every channel, or silence with freq 0. bits 8 or 16.
void writeSineWav(const std::string& path, int rate, int channels, int bits, double seconds,
                  double freq, double amplitude = 0.5);

/// Writes a PCM WAV from 16-bit samples (interleaved).
void writePcm16Wav(const std::string& path, int rate, int channels,
                   const std::vector<std::int16_t>& samples);

/// The duration sox reports for the file (soxi -D), -1 when sox cannot read it.
double soxDuration(const std::string& path);

/// What libsndfile decodes from the file: rate, channels and the samples as floats.
struct Decoded
{
    bool ok = false;
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;
    double seconds() const
    {
        return ok && rate > 0 ? double(samples.size()) / channels / rate : -1;
    }
};
Decoded decodeWithSndfile(const std::string& path);

/// The fields of a WAV's "fmt " chunk and its data chunk, by a hand-written parser.
struct WavHeader
{
    bool ok = false;
    std::uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    std::uint32_t rate = 0, byteRate = 0;
    std::vector<std::uint8_t> extra;
    std::string data;
};
WavHeader parseWav(const std::string& path);

/// Appends a top-level RIFF chunk of form type "TWKI" (as every WAV record carries).
void appendTwkiChunk(const std::string& path);

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);

/// Frequency of a mono signal estimated from its zero crossings.
double zeroCrossingFrequency(const std::vector<float>& samples, int rate);
/// Root mean square of the samples from..to.
double rms(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX);

} // namespace tw::test
