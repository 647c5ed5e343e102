#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/record_info.h"
#include "tests/platform/temp_dir.h"

// Helpers shared by the record, audio and greeting tests. Files are byte strings. Every test
// runs on Berlin time (TZ set at start-up), a zone with daylight saving.
namespace tw::test {

bool exists(const std::string& path);
std::string u16(unsigned value); // little-endian bytes
std::string u32(std::uint32_t value);
std::uint32_t le32(const std::string& bytes, std::size_t at);
void put32(std::string& bytes, std::size_t at, std::uint32_t value);

/// A 16 kHz mono 16-bit PCM WAV written by CRiffWaveFile with dataBytes of a ramp.
void writePcmWav(const std::string& path, std::uint32_t dataBytes);
std::time_t localTime(int year, int month, int day, int hour, int minute, int second);
/// Writes a WAV record into folder/<date of start>/ and returns its info (not yet indexed).
RecordInfo makeRecordFile(const std::string& folder, std::uint32_t type, std::time_t start,
                          std::uint32_t seconds, const std::string& partner = "bob");

/// A records folder with a shorthand for its record files.
class RecordFolderTest : public ::testing::Test
{
protected:
    RecordInfo rec(std::uint32_t type, std::time_t start, std::uint32_t seconds = 30,
                   const std::string& partner = "bob") const
    {
        return makeRecordFile(m_dir.path(), type, start, seconds, partner);
    }
    static std::time_t at(int year, int month, int day, int hour, int minute = 0)
    {
        return localTime(year, month, day, hour, minute, 0);
    }
    TempDir m_dir;
};

/// A PCM WAV written by hand (independent of the code under test): a sine of freq Hz at
/// amplitude in every channel, silence for freq 0. bits 8 or 16.
void writeSineWav(const std::string& path, int rate, int channels, int bits, double seconds,
                  double freq, double amplitude = 0.5);
void writePcm16Wav(const std::string& path, int rate, int channels,
                   const std::vector<std::int16_t>& samples);
/// Appends a top-level RIFF chunk of form type "TWKI" (as every WAV record carries).
void appendTwkiChunk(const std::string& path);

/// The duration sox reports (soxi -D), -1 when sox cannot read the file.
double soxDuration(const std::string& path);
/// The audio sox reads from the file as raw samples in the file's own encoding; empty when
/// sox cannot read it.
std::string soxAudio(const std::string& path);
/// Runs a shell command in folder; true when it exits 0.
bool shell(const std::string& folder, const std::string& command);

struct Decoded
{
    bool ok = false;
    int rate = 0, channels = 0;
    std::vector<float> samples;
    double seconds() const { return ok && rate ? double(samples.size()) / channels / rate : -1; }
};
/// What libsndfile decodes from the file.
Decoded decodeWithSndfile(const std::string& path);

/// The "fmt " fields and data chunk of a WAV, by a hand-written parser.
struct WavHeader
{
    bool ok = false;
    std::uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    std::uint32_t rate = 0, byteRate = 0;
    std::string extra, data;
};
WavHeader parseWav(const std::string& path);

/// Frequency of a mono signal from its zero crossings; root mean square of samples from..to.
double zeroCrossingFrequency(const std::vector<float>& samples, int rate);
double rms(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX);

} // namespace tw::test
