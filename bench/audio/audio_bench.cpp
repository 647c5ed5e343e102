// Times our conversions against the standard command-line tools on the same 10-minute
// 16 kHz mono file: Microsoft ADPCM and GSM 6.10 against sox, MP3 against the lame program.
// Each figure is the best of a few runs (wall-clock, the tools' process start included).
// Usage: tw_audio_bench [runs]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "audio/audio_converter.h"
#include "audio/lame_runner.h"
#include "platform/find_program.h"

namespace {

/// Ten minutes of a speech-like signal: a few drifting partials, noise, syllable-rate
/// loudness changes.
void writeTestWav(const std::string& path)
{
    const int rate = 16000;
    const std::size_t frames = std::size_t(rate) * 600;
    std::vector<std::int16_t> pcm(frames);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double pi = std::acos(-1.0);
    double phase[3] = {0, 0, 0};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double f0 = 140 + 40 * std::sin(2 * pi * 0.3 * t);
        const double envelope = 0.5 + 0.5 * std::sin(2 * pi * 4 * t);
        double v = 0;
        for (int k = 0; k < 3; ++k) {
            phase[k] += 2 * pi * f0 * (k + 1) / rate;
            v += std::sin(phase[k]) / (k + 1);
        }
        v = 0.3 * envelope * v + noise(random);
        pcm[i] = std::int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    auto u32 = [](std::ofstream& o, std::uint32_t v) { o.write(reinterpret_cast<char*>(&v), 4); };
    auto u16 = [](std::ofstream& o, std::uint16_t v) { o.write(reinterpret_cast<char*>(&v), 2); };
    std::ofstream out(path, std::ios::binary);
    const auto bytes = std::uint32_t(frames * 2);
    out.write("RIFF", 4);
    u32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(out, 16);
    u16(out, 1);
    u16(out, 1);
    u32(out, rate);
    u32(out, rate * 2);
    u16(out, 2);
    u16(out, 16);
    out.write("data", 4);
    u32(out, bytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing
{
    double cpu = 1e9;  ///< processor seconds (user + system) of the work
    double wall = 1e9; ///< elapsed seconds
};

/// One timed run. Processor time is what the comparison uses: on a shared machine the
/// elapsed time mostly measures the other tenants. A tool's processor time is that of its
/// process; ours is this process's, plus its children's where it runs a tool itself.
Timing once(bool self, bool children, const std::function<bool()>& job)
{
    const double selfBefore = cpuSeconds(RUSAGE_SELF);
    const double childBefore = cpuSeconds(RUSAGE_CHILDREN);
    const auto begin = std::chrono::steady_clock::now();
    if (!job())
        return {-1, -1};
    Timing t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    t.cpu = (self ? cpuSeconds(RUSAGE_SELF) - selfBefore : 0) +
            (children ? cpuSeconds(RUSAGE_CHILDREN) - childBefore : 0);
    return t;
}

void keepBest(Timing& best, const Timing& t)
{
    if (t.cpu < 0 || best.cpu < 0) {
        best = {-1, -1};
        return;
    }
    best.cpu = std::min(best.cpu, t.cpu);
    best.wall = std::min(best.wall, t.wall);
}

bool tool(const std::vector<std::string>& argv)
{
    return tw::runProgram(argv, std::chrono::minutes(10)).succeeded();
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::string folder = (std::filesystem::temp_directory_path() / "tw-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return 1;
    const std::string source = folder + "/source.wav";
    writeTestWav(source);
    const std::string sox = tw::FindProgram("sox", "");
    const std::string lame = tw::FindProgram("lame", "");
    tw::CAudioConverter converter;
    const std::time_t start = 1184943486;

    struct Row
    {
        const char* name;
        std::function<bool()> ours;
        std::function<bool()> theirs;
        const char* against;
    };
    auto convert = [&](int codec, const char* name) {
        return [&, codec, name] {
            std::string target = folder + "/" + name;
            return converter.Convert(source, target, codec, start);
        };
    };
    const std::vector<Row> rows = {
        {"Microsoft ADPCM", convert(tw::kCodecAdpcm, "ours_adpcm.wav"),
         [&] {
             return tool({sox, source, "-e", "ms-adpcm", folder + "/sox_adpcm.wav"});
         },
         "sox -e ms-adpcm"},
        {"GSM 6.10", convert(tw::kCodecGsm, "ours_gsm.wav"),
         [&] {
             return tool({sox, source, "-e", "gsm-full-rate", folder + "/sox_gsm.wav"});
         },
         "sox -e gsm-full-rate"},
        {"MP3 in WAV (libmp3lame)", convert(tw::kCodecMp3Wave, "ours_mp3.wav"),
         [&] {
             return tool({lame, "-f", "--silent", "-b", "32", source, folder + "/lame32.mp3"});
         },
         "lame -f -b 32"},
        {"MP3 by lame (runner)", convert(tw::kCodecLame, "ours_lame.mp3"),
         [&] {
             return tool({lame, "-f", "--silent", source, folder + "/lame.mp3"});
         },
         "lame -f"},
    };
    std::printf("10-minute 16 kHz mono 16-bit file, best of %d runs; seconds of processor "
                "time (elapsed in brackets)\n",
                runs);
    std::printf("%-24s %16s %16s %6s  %s\n", "conversion", "ours", "tool", "ratio", "tool");
    int worse = 0;
    for (const auto& row : rows) {
        // Runs alternate between ours and the tool, so that a busy spell of the machine
        // touches both alike. Codec 4 runs lame itself: its children count too.
        const bool runsTool = row.name == std::string("MP3 by lame (runner)");
        Timing ours, theirs;
        for (int i = 0; i < runs; ++i) {
            keepBest(ours, once(true, runsTool, row.ours));
            keepBest(theirs, once(false, true, row.theirs));
        }
        if (ours.cpu < 0 || theirs.cpu < 0) {
            std::printf("%-24s a run failed\n", row.name);
            ++worse;
            continue;
        }
        const double ratio = ours.cpu / theirs.cpu;
        if (ratio > 1.1)
            ++worse;
        std::printf("%-24s %6.2f (%6.2f) %6.2f (%6.2f) %6.2f  %s\n", row.name, ours.cpu, ours.wall,
                    theirs.cpu, theirs.wall, ratio, row.against);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return worse == 0 ? 0 : 3;
}
