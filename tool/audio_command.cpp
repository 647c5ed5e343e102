// tellwick-tool audio: convert, detect, measure and unwrap audio files, and turn any audio
// file into a greeting.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>

#include "mainframe/greetings.h"
#include "platform/app_folders.h"
#include "records/audio_converter.h"
#include "records/codec_sndfile.h"
#include "records/codec_wav_probe.h"
#include "records/record_info.h"
#include "tool/cli_args.h"
#include "tool/tool_command.h"

namespace {

const char* codecName(int codec)
{
    switch (codec) {
    case tw::kCodecPcm:
        return "PCM WAV";
    case tw::kCodecAdpcm:
        return "Microsoft ADPCM WAV";
    case tw::kCodecMp3Wave:
        return "MPEG Layer-3 WAV";
    case tw::kCodecGsm:
        return "GSM 6.10 WAV";
    case tw::kCodecLame:
        return "MP3";
    default:
        return "unknown";
    }
}

/// Duration in hundredths of a second: a WAV's from its data size and byte rate (as the
/// record lists show it), anything else from the frames libsndfile decodes.
bool durationCs(const std::string& path, std::uint64_t& cs, std::string& error)
{
    if (tw::isRiffWave(path)) {
        tw::WavProbe probe;
        if (!tw::probeWav(path, probe, error))
            return false;
        cs = probe.dataSize * 100 / probe.avgBytesPerSec;
        return true;
    }
    tw::SndFileReader reader;
    if (!reader.open(path, error))
        return false;
    cs = static_cast<std::uint64_t>(reader.info().frames) * 100 /
         static_cast<std::uint64_t>(reader.info().samplerate);
    return true;
}

int run(const std::vector<std::string>& args)
{
    CLI::App app{"Audio conversion and greetings", "tellwick-tool audio"};
    app.require_subcommand(1);

    std::string source, target;
    int codec = -1;
    long long start = -1;
    auto* convert = app.add_subcommand("convert", "convert SRC to codec N into DST");
    convert->add_option("SRC", source, "source audio file")->required();
    convert->add_option("DST", target, "target file (the same path converts in place)")->required();
    convert
        ->add_option("--codec", codec,
                     "0 PCM, 1 Microsoft ADPCM, 2 MPEG Layer-3 WAV, 3 GSM 6.10, 4 lame MP3")
        ->required()
        ->check(CLI::Range(0, 4));
    convert->add_option("--start", start,
                        "record start, seconds since 1970, for the MP3 title (default now)");

    std::string file;
    auto* detect = app.add_subcommand("detect", "print the codec number of FILE");
    detect->add_option("FILE", file)->required();
    auto* duration = app.add_subcommand("duration", "print FILE's duration in 1/100 s");
    duration->add_option("FILE", file)->required();

    auto* greeting =
        app.add_subcommand("greeting", "convert any audio file SRC to the greeting format");
    greeting->add_option("SRC", source)->required();
    greeting->add_option("DST", target)->required();

    auto* unwrap =
        app.add_subcommand("unwrap", "write the MPEG frames of an MPEG Layer-3 WAV as an MP3");
    unwrap->add_option("WAV", source)->required();
    unwrap->add_option("MP3", target)->required();

    if (const auto status = tw::tool::parseVerbArguments(app, "audio", args))
        return *status == 0 ? 0 : 2;

    std::string error;
    if (*convert) {
        const tw::AppFolders folders = tw::computeAppFolders(tw::currentFolderEnvironment());
        tw::CAudioConverter converter(folders.programFolder, folders.configFile);
        const std::time_t when = start >= 0 ? static_cast<std::time_t>(start) : std::time(nullptr);
        if (!converter.Convert(source, target, codec, when, &error)) {
            std::fprintf(stderr, "tellwick-tool audio convert: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", target.c_str());
        return 0;
    }
    if (*detect) {
        const int found = tw::CAudioConverter::DetectCodec(file);
        std::printf("%d %s\n", found, codecName(found));
        if (found < 0) {
            tw::WavProbe probe;
            if (tw::probeWav(file, probe, error))
                error = "has the unsupported format tag " + std::to_string(probe.formatTag);
            std::fprintf(stderr, "tellwick-tool audio detect: %s %s\n", file.c_str(),
                         error.c_str());
        }
        return found >= 0 ? 0 : 1;
    }
    if (*duration) {
        std::uint64_t cs = 0;
        if (!durationCs(file, cs, error)) {
            std::fprintf(stderr, "tellwick-tool audio duration: %s %s\n", file.c_str(),
                         error.c_str());
            return 1;
        }
        std::printf("%llu\n", static_cast<unsigned long long>(cs));
        return 0;
    }
    if (*greeting) {
        if (!tw::ConvertToGreetingFormat(source, target, &error)) {
            std::fprintf(stderr, "tellwick-tool audio greeting: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (!tw::CAudioConverter::tiMP3WaveToPureMP3(source, target, &error)) {
        std::fprintf(stderr, "tellwick-tool audio unwrap: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

tw::tool::ToolCommandRegistrar reg({"audio", "convert, detect and measure audio; greetings", &run});

} // namespace
