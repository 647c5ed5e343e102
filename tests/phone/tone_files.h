// Tone files and what a recording holds, for the phone's tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace tw::phone::test {

/// A 16-bit mono PCM WAV of a sine tone (or of silence with hz 0).
inline void writeTone(const std::string& path, double hz, double seconds, int rate = 16000)
{
    const auto n = uint32_t(seconds * rate);
    std::vector<int16_t> s(n);
    for (uint32_t i = 0; i < n; ++i)
        s[i] = int16_t(9000 * std::sin(2 * std::numbers::pi * hz * i / rate));
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + 2 * n);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(uint32_t(rate));
    u32(uint32_t(rate) * 2);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(2 * n);
    f.write(reinterpret_cast<const char*>(s.data()), std::streamsize(2 * n));
}

/// A WAV as the tests see it: its format fields, whether the header's sizes match the file
/// (complete and closed), and its samples.
struct WavFile
{
    bool complete = false;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::vector<int16_t> samples;
};

inline WavFile readWav(const std::string& path)
{
    WavFile w;
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f)
        return w;
    const auto size = size_t(f.tellg());
    std::vector<char> b(size);
    f.seekg(0);
    f.read(b.data(), std::streamsize(size));
    if (size < 44 || std::string(b.data(), 4) != "RIFF" || std::string(b.data() + 36, 4) != "data")
        return w;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        std::memcpy(&v, b.data() + at, 2);
        return v;
    };
    w.channels = u16(22);
    w.rate = int(u32(24));
    w.bits = u16(34);
    const uint32_t data = u32(40);
    w.complete = u32(4) == size - 8 && data == size - 44;
    w.samples.resize(std::min<size_t>(data, size - 44) / 2);
    std::memcpy(w.samples.data(), b.data() + 44, w.samples.size() * 2);
    return w;
}

/// Seconds of the samples (20 ms blocks) that carry a tone within 8 % of hz, judged by how
/// often the signal crosses zero: robust to a lossy codec, and a pure tone is all we send.
inline double secondsOfTone(const std::vector<int16_t>& s, double hz, int rate = 16000)
{
    const size_t block = size_t(rate / 50);
    int hits = 0;
    for (size_t at = 0; at + block <= s.size(); at += block) {
        int crossings = 0;
        double energy = 0;
        for (size_t i = at + 1; i < at + block; ++i) {
            crossings += (s[i - 1] < 0) != (s[i] < 0);
            energy += double(s[i]) * s[i];
        }
        const double found = crossings * 50.0 / 2;
        if (std::sqrt(energy / double(block)) > 500 && std::abs(found - hz) < hz * 0.08)
            ++hits;
    }
    return hits / 50.0;
}

} // namespace tw::phone::test
