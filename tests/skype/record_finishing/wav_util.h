#pragma once

// Test helpers: write and read 16-bit PCM WAV files through the program's own WAV writer and
// reader, with sample patterns that make joins, cuts and mixes checkable sample by sample.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/log.h"
#include "records/riff_wave_file.h"

namespace tw::test {

inline bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples,
                     std::uint16_t channels = 1)
{
    CRiffWaveFile file;
    const WaveFormat format = WaveFormat::Pcm(16000, channels, 16);
    if (file.Open(path, &format, CRiffWaveFile::kModeWrite) != hr::ok)
        return false;
    std::uint32_t written = 0;
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    if (bytes > 0 && (file.Write(bytes, samples.data(), &written) != hr::ok || written != bytes))
        return false;
    return file.Close() == hr::ok;
}

struct WavContent
{
    WaveFormat format;
    std::vector<std::int16_t> samples; ///< interleaved
};

inline WavContent readWav(const std::string& path)
{
    WavContent out;
    CRiffWaveFile file;
    if (file.Open(path, nullptr, CRiffWaveFile::kModeRead) != hr::ok)
        return out;
    out.format = file.GetFormat();
    out.samples.resize(file.GetSize() / 2);
    std::uint32_t got = 0;
    const auto bytes = static_cast<std::uint32_t>(out.samples.size() * 2);
    if (bytes > 0 && (file.Read(out.samples.data(), bytes, &got) != hr::ok || got != bytes))
        out.samples.clear(); // a failed read shows as no audio at all
    return out;
}

/// n samples counting up from first (wrapping inside int16): every position is recognisable.
inline std::vector<std::int16_t> ramp(std::size_t n, int first)
{
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>((first + static_cast<int>(i)) % 30000);
    return v;
}

inline std::vector<std::int16_t> concat(std::vector<std::int16_t> a,
                                        const std::vector<std::int16_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// Two channels from their left and right samples.
inline std::vector<std::int16_t> interleave(const std::vector<std::int16_t>& left,
                                            const std::vector<std::int16_t>& right)
{
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i < left.size(); ++i)
        out.insert(out.end(), {left[i], right[i]});
    return out;
}

/// A fresh folder named after the running test, holding the program's log; clocks read UTC.
struct TestFolder
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("tw_" + std::to_string(::getpid()) + "_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());

    TestFolder()
    {
        setenv("TZ", "UTC", 1);
        tzset();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        appLog().Open((dir / "Tellwick.Log").string());
        appLog().Enable(true);
    }
    ~TestFolder()
    {
        appLog().Close();
        std::filesystem::remove_all(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string logText() const
    {
        std::ifstream in(dir / "Tellwick.Log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    /// Sorted names of the files in folder (none if it does not exist).
    static std::vector<std::string> filesIn(const std::filesystem::path& folder)
    {
        std::vector<std::string> names;
        std::error_code missing;
        for (const auto& e : std::filesystem::directory_iterator(folder, missing))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace tw::test
