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

#include "platform/find_program.h"
#include "records/audio_converter.h"
#include "records/lame_runner.h"

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

/// Best of runs. Processor time is what the comparison uses: on a shared machine the
/// elapsed time mostly measures the other tenants. A tool's time is that of its process.
Timing best(int runs, bool external, const std::function<bool()>& job)
{
    Timing t;
    const int who = external ? RUSAGE_CHILDREN : RUSAGE_SELF;
    for (int i = 0; i < runs; ++i) {
        const double cpu = cpuSeconds(who);
        const auto begin = std::chrono::steady_clock::now();
        if (!job()) {
            std::fprintf(stderr, "a run failed\n");
            return {-1, -1};
        }
        t.wall = std::min(
            t.wall,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        t.cpu = std::min(t.cpu, cpuSeconds(who) - cpu);
    }
    return t;
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
        // Codec 4 runs lame itself: its processor time is the child's plus our own.
        const bool runsTool = row.name == std::string("MP3 by lame (runner)");
        Timing ours = best(runs, false, row.ours);
        if (runsTool) {
            const Timing child = best(runs, true, row.ours);
            ours.cpu += child.cpu;
        }
        const Timing theirs = best(runs, true, row.theirs);
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
