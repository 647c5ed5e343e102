#include "tests/records/audio/audio_test_util.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sndfile.h>

namespace tw::test {
namespace {

void put16(std::string& s, unsigned v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}

void put32(std::string& s, std::uint32_t v)
{
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string pcmWav(int rate, int channels, int bits, const std::string& data)
{
    std::string s = "RIFF";
    put32(s, std::uint32_t(36 + data.size() + (data.size() & 1)));
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, 1);
    put16(s, unsigned(channels));
    put32(s, std::uint32_t(rate));
    put32(s, std::uint32_t(rate * channels * bits / 8));
    put16(s, unsigned(channels * bits / 8));
    put16(s, unsigned(bits));
    s += "data";
    put32(s, std::uint32_t(data.size()));
    s += data;
    if (data.size() & 1)
        s.push_back('\0');
    return s;
}

std::uint32_t le32(const std::string& s, std::size_t at)
{
    return std::uint32_t(std::uint8_t(s[at])) | std::uint32_t(std::uint8_t(s[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 3])) << 24;
}

std::uint16_t le16(const std::string& s, std::size_t at)
{
    return std::uint16_t(std::uint8_t(s[at]) | std::uint8_t(s[at + 1]) << 8);
}

} // namespace

void writeSineWav(const std::string& path, int rate, int channels, int bits, double seconds,
                  double freq, double amplitude)
{
    const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
    std::string data;
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = freq > 0 ? amplitude * std::sin(2 * pi * freq * double(i) / rate) : 0;
        for (int c = 0; c < channels; ++c) {
            if (bits == 8)
                data.push_back(char(std::lround(128 + v * 127)));
            else
                put16(data, unsigned(std::uint16_t(std::int16_t(std::lround(v * 32767)))));
        }
    }
    writeBytes(path, pcmWav(rate, channels, bits, data));
}

void writePcm16Wav(const std::string& path, int rate, int channels,
                   const std::vector<std::int16_t>& samples)
{
    std::string data;
    for (auto v : samples)
        put16(data, unsigned(std::uint16_t(v)));
    writeBytes(path, pcmWav(rate, channels, 16, data));
}

double soxDuration(const std::string& path)
{
    const std::string command = "soxi -D '" + path + "' 2>/dev/null";
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char line[64] = {};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    const int status = ::pclose(p);
    return got && status == 0 ? std::atof(line) : -1;
}

Decoded decodeWithSndfile(const std::string& path)
{
    Decoded d;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf)
        return d;
    d.rate = info.samplerate;
    d.channels = info.channels;
    std::vector<float> block(4096 * std::size_t(info.channels));
    sf_count_t got;
    while ((got = sf_readf_float(sf, block.data(), 4096)) > 0)
        d.samples.insert(d.samples.end(), block.begin(), block.begin() + got * info.channels);
    d.ok = sf_error(sf) == SF_ERR_NO_ERROR;
    sf_close(sf);
    return d;
}

WavHeader parseWav(const std::string& path)
{
    WavHeader h;
    const std::string s = readBytes(path);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0)
        return h;
    const std::size_t end = std::min<std::size_t>(s.size(), 8 + std::size_t(le32(s, 4)));
    bool fmt = false;
    for (std::size_t pos = 12; pos + 8 <= end;) {
        const std::uint32_t size = le32(s, pos + 4);
        const std::size_t body = pos + 8;
        if (s.compare(pos, 4, "fmt ") == 0 && size >= 16) {
            h.tag = le16(s, body);
            h.channels = le16(s, body + 2);
            h.rate = le32(s, body + 4);
            h.byteRate = le32(s, body + 8);
            h.blockAlign = le16(s, body + 12);
            h.bits = le16(s, body + 14);
            if (size >= 18) {
                const std::uint16_t extra = le16(s, body + 16);
                h.extra.assign(s.begin() + long(body + 18), s.begin() + long(body + 18 + extra));
            }
            fmt = true;
        } else if (s.compare(pos, 4, "data") == 0) {
            h.data = s.substr(body, size);
            h.ok = fmt && body + size <= s.size();
            return h;
        }
        pos = body + size + (size & 1);
    }
    return h;
}

void appendTwkiChunk(const std::string& path)
{
    std::string chunk = "RIFF";
    put32(chunk, 876);
    chunk += "TWKI";
    chunk.append(872, '\x01');
    std::string bytes = readBytes(path);
    if (bytes.size() & 1)
        bytes.push_back('\0');
    writeBytes(path, bytes + chunk);
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

double zeroCrossingFrequency(const std::vector<float>& samples, int rate)
{
    // Rising crossings with hysteresis, so that coding noise near zero is not counted.
    float peak = 0;
    for (float v : samples)
        peak = std::max(peak, std::fabs(v));
    const float low = -0.2f * peak, high = 0.2f * peak;
    std::size_t first = 0, last = 0, count = 0;
    bool armed = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < low) {
            armed = true;
        } else if (armed && samples[i] > high) {
            armed = false;
            if (count == 0)
                first = i;
            last = i;
            ++count;
        }
    }
    return count < 2 ? 0 : double(count - 1) * rate / double(last - first);
}

double rms(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    to = std::min(to, samples.size());
    if (from >= to)
        return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

} // namespace tw::test
