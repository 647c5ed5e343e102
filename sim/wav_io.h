#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tw::sim {

/// The call audio format of the Skype API: 16 kHz, mono, 16-bit PCM.
constexpr int kSampleRate = 16000;

/// Writes a 16 kHz mono 16-bit PCM WAV and rewrites the header sizes after every block, so
/// the file is a valid WAV whenever somebody reads it, even if the process dies.
class WavWriter
{
public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();

    bool open(const std::string& path);
    bool write(const int16_t* samples, size_t count);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    uint32_t dataBytes() const { return m_dataBytes; }

private:
    bool writeHeader();

    std::FILE* m_file = nullptr;
    uint32_t m_dataBytes = 0;
};

/// Reads any sound file libsndfile knows as 16 kHz mono 16-bit samples (channels mixed,
/// other rates resampled linearly). Empty optional when the file cannot be read.
std::optional<std::vector<int16_t>> readSoundAs16kMono(const std::string& path,
                                                       std::string* error = nullptr);

/// Length of a sound file in 16 kHz samples; -1 when it cannot be read.
int64_t soundLengthIn16kSamples(const std::string& path);

} // namespace tw::sim
