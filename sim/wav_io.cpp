#include "sim/wav_io.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <sndfile.h>

namespace tw::sim {

namespace {

void putU32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void putU16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

constexpr uint32_t kHeaderBytes = 44;
/// A RIFF size field is 32 bits; stop well before it would wrap.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - kHeaderBytes - 8;

} // namespace

WavWriter::~WavWriter()
{
    close();
}

bool WavWriter::open(const std::string& path)
{
    close();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        return false;
    m_dataBytes = 0;
    if (!writeHeader()) {
        close();
        return false;
    }
    return true;
}

bool WavWriter::writeHeader()
{
    unsigned char h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    putU32(h + 4, 36 + m_dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putU32(h + 16, 16);
    putU16(h + 20, 1); // PCM
    putU16(h + 22, 1); // mono
    putU32(h + 24, kSampleRate);
    putU32(h + 28, kSampleRate * 2);
    putU16(h + 32, 2);
    putU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putU32(h + 40, m_dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) != 0)
        return false;
    if (std::fwrite(h, 1, sizeof h, m_file) != sizeof h)
        return false;
    return std::fseek(m_file, 0, SEEK_END) == 0 && std::fflush(m_file) == 0;
}

bool WavWriter::write(const int16_t* samples, size_t count)
{
    if (!m_file)
        return false;
    const uint64_t bytes = uint64_t(count) * 2;
    if (uint64_t(m_dataBytes) + bytes > kMaxDataBytes)
        return false;
    unsigned char buffer[4096];
    size_t done = 0;
    while (done < count) {
        const size_t n = std::min(count - done, sizeof buffer / 2);
        for (size_t i = 0; i < n; ++i)
            putU16(buffer + 2 * i, static_cast<uint16_t>(samples[done + i]));
        if (std::fwrite(buffer, 2, n, m_file) != n)
            return false;
        done += n;
    }
    m_dataBytes += static_cast<uint32_t>(bytes);
    return writeHeader();
}

void WavWriter::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

std::optional<std::vector<int16_t>> readSoundAs16kMono(const std::string& path, std::string* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        if (error)
            *error = sf_strerror(nullptr);
        return std::nullopt;
    }
    std::vector<float> frames(size_t(std::max<sf_count_t>(info.frames, 0)) * info.channels);
    const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    if (info.channels <= 0 || info.samplerate <= 0 || got < 0) {
        if (error)
            *error = "unreadable sound data";
        return std::nullopt;
    }

    std::vector<float> mono(static_cast<size_t>(got));
    for (sf_count_t i = 0; i < got; ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += frames[size_t(i) * info.channels + c];
        mono[size_t(i)] = sum / float(info.channels);
    }

    std::vector<int16_t> out;
    const double step = double(info.samplerate) / kSampleRate;
    const size_t count =
        info.samplerate == kSampleRate ? mono.size() : size_t(double(mono.size()) / step);
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        float v;
        if (info.samplerate == kSampleRate) {
            v = mono[i];
        } else {
            const double pos = double(i) * step;
            const size_t a = size_t(pos);
            const size_t b = std::min(a + 1, mono.size() - 1);
            const double t = pos - double(a);
            v = float(mono[a] * (1 - t) + mono[b] * t);
        }
        out.push_back(int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)));
    }
    return out;
}

int64_t soundLengthIn16kSamples(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    if (info.samplerate <= 0)
        return -1;
    return int64_t(info.frames) * kSampleRate / info.samplerate;
}

} // namespace tw::sim
