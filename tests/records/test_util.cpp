#include "tests/records/test_util.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <sndfile.h>

#include "platform/file_util.h"
#include "records/riff_wave_file.h"

namespace tw::test {

namespace {
[[maybe_unused]] const bool kBerlin = (::setenv("TZ", "Europe/Berlin", 1), ::tzset(), true);
} // namespace

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

std::uint32_t le32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

void put32(std::string& s, std::size_t at, std::uint32_t value)
{
    std::memcpy(s.data() + at, &value, 4);
}

std::string u16(unsigned v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}

std::string u32(std::uint32_t v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

namespace {

void writePcm(const std::string& path, int rate, int channels, int bits, const std::string& data)
{
    const unsigned align = unsigned(channels * bits / 8), pad = data.size() & 1;
    writeFile(path, "RIFF" + u32(std::uint32_t(36 + data.size() + pad)) + "WAVEfmt " + u32(16) +
                        u16(1) + u16(unsigned(channels)) + u32(std::uint32_t(rate)) +
                        u32(std::uint32_t(rate) * align) + u16(align) + u16(unsigned(bits)) +
                        "data" + u32(std::uint32_t(data.size())) + data + std::string(pad, '\0'));
}

} // namespace

void writePcmWav(const std::string& path, std::uint32_t dataBytes)
{
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    std::string data(dataBytes, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    if (wav.Open(path, &format, CRiffWaveFile::kModeWrite) != hr::ok ||
        wav.Write(dataBytes, data.data(), nullptr) != hr::ok || wav.Close() != hr::ok)
        throw std::runtime_error("cannot write " + path);
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    return std::mktime(&tm);
}

RecordInfo makeRecordFile(const std::string& folder, std::uint32_t type, std::time_t start,
                          std::uint32_t seconds, const std::string& partner)
{
    const std::string dayFolder = JoinPath(folder, RecordDateFolderName(start));
    EnsureFolderPath(dayFolder);
    const std::string path =
        JoinPath(dayFolder, MakeRecordFileName(type, start, start + seconds, partner));
    writePcmWav(path, 3200);
    RecordInfo info;
    info.type = type;
    info.SetPath(path);
    info.SetSkypeName(partner);
    info.SetFullName(partner + " full");
    info.startTime = static_cast<std::uint32_t>(start);
    info.endTime = static_cast<std::uint32_t>(start + seconds);
    info.size = static_cast<std::int64_t>(readFile(path).size());
    return info;
}

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
                data += u16(unsigned(std::uint16_t(std::int16_t(std::lround(v * 32767)))));
        }
    }
    writePcm(path, rate, channels, bits, data);
}

void writePcm16Wav(const std::string& path, int rate, int channels,
                   const std::vector<std::int16_t>& samples)
{
    std::string data;
    for (auto v : samples)
        data += u16(unsigned(std::uint16_t(v)));
    writePcm(path, rate, channels, 16, data);
}

void appendTwkiChunk(const std::string& path)
{
    const std::string bytes = readFile(path);
    writeFile(path, bytes + std::string(bytes.size() & 1, '\0') + "RIFF" + u32(876) + "TWKI" +
                        std::string(872, '\x01'));
}

double soxDuration(const std::string& path)
{
    std::FILE* p = ::popen(("soxi -D '" + path + "' 2>/dev/null").c_str(), "r");
    if (!p)
        return -1;
    char line[64] = {};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    return ::pclose(p) == 0 && got ? std::atof(line) : -1;
}

std::string soxAudio(const std::string& path)
{
    std::FILE* p = ::popen(("sox -V1 '" + path + "' -t raw - 2>/dev/null").c_str(), "r");
    if (!p)
        return {};
    std::string out;
    char buffer[65536];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, p))
        out.append(buffer, n);
    return ::pclose(p) == 0 ? out : std::string();
}

bool shell(const std::string& folder, const std::string& command)
{
    return std::system(("cd '" + folder + "' && " + command).c_str()) == 0;
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
    const std::string s = readFile(path);
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0)
        return h;
    const auto le16 = [&](std::size_t at) { return std::uint16_t(le32(s, at)); };
    const std::size_t end = std::min<std::size_t>(s.size(), 8 + std::size_t(le32(s, 4)));
    bool fmt = false;
    for (std::size_t pos = 12; pos + 8 <= end;) {
        const std::uint32_t size = le32(s, pos + 4);
        const std::size_t body = pos + 8;
        if (s.compare(pos, 4, "fmt ") == 0 && size >= 16) {
            h.tag = le16(body);
            h.channels = le16(body + 2);
            h.rate = le32(s, body + 4);
            h.byteRate = le32(s, body + 8);
            h.blockAlign = le16(body + 12);
            h.bits = le16(body + 14);
            if (size >= 18)
                h.extra = s.substr(body + 18, le16(body + 16));
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

double zeroCrossingFrequency(const std::vector<float>& samples, int rate)
{
    // Rising crossings with hysteresis, so that coding noise near zero is not counted.
    float peak = 0;
    for (float v : samples)
        peak = std::max(peak, std::fabs(v));
    std::size_t first = 0, last = 0, count = 0;
    bool armed = false;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < -0.2f * peak) {
            armed = true;
        } else if (armed && samples[i] > 0.2f * peak) {
            armed = false;
            first = count++ ? first : i;
            last = i;
        }
    }
    return count < 2 ? 0 : double(count - 1) * rate / double(last - first);
}

double rms(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    to = std::min(to, samples.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return from < to ? std::sqrt(sum / double(to - from)) : 0;
}

} // namespace tw::test
