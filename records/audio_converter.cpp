#include "records/audio_converter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app/log.h"
#include "app/trace.h"
#include "platform/file_util.h"
#include "platform/find_program.h"
#include "platform/profile_store.h"
#include "platform/utf.h"
#include "records/codec_mp3wave.h"
#include "records/codec_sndfile.h"
#include "records/codec_wav_probe.h"
#include "records/lame_runner.h"
#include "records/record_info.h"

namespace tw {
namespace {

constexpr std::size_t kMaxOptionsChars = 520;

void report(const char* operation, const std::string& text, std::string* error)
{
    appLog().Write(std::string("CAudioConverter::") + operation + "() - " + text);
    trace(2, std::string("CAudioConverter::") + operation + "()(Failed) " + text);
    if (error)
        *error = text;
}

/// "dir/name.ext" -> "dir/name" + insert + ".ext" (the last 4 characters kept as they are).
std::string insertBeforeExtension(const std::string& path, const char* insert)
{
    if (path.size() < 4)
        return path + insert;
    return path.substr(0, path.size() - 4) + insert + path.substr(path.size() - 4);
}

bool copyFile(const std::string& from, const std::string& to, std::string& error)
{
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy to " + to + " (" + ec.message() + ")";
        return false;
    }
    const auto want = std::filesystem::file_size(from, ec);
    const auto got = ec ? want + 1 : std::filesystem::file_size(to, ec);
    if (ec || got != want) {
        error = "the copy " + to + " does not hold the whole file";
        return false;
    }
    return true;
}

/// A name for the encoder's PCM input beside target that no scan takes for a record: hidden,
/// and not starting with "ti". Created empty; empty when it cannot be made.
std::string makeEncoderInputName(const std::string& target)
{
    const auto slash = target.rfind('/');
    std::string pattern =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
        ".encoder-input-XXXXXX.wav";
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

/// Seconds of audio libsndfile decodes from path; negative when it cannot read it.
double decodedSeconds(const std::string& path)
{
    SndFileReader reader;
    std::string why;
    if (!reader.open(path, why) || reader.info().samplerate <= 0)
        return -1;
    return static_cast<double>(reader.info().frames) / reader.info().samplerate;
}

/// Copies the first size bytes of from into to (replaced).
bool copyPrefix(const std::string& from, std::uint64_t size, const std::string& to,
                std::string& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(from.c_str(), "rb"),
                                                       &std::fclose);
    std::FILE* out = std::fopen(to.c_str(), "wb");
    bool ok = in && out;
    std::vector<char> buffer(65536);
    while (ok && size > 0) {
        const std::size_t step =
            size < buffer.size() ? static_cast<std::size_t>(size) : buffer.size();
        ok = std::fread(buffer.data(), 1, step, in.get()) == step &&
             std::fwrite(buffer.data(), 1, step, out) == step;
        size -= step;
    }
    if (out && std::fclose(out) != 0)
        ok = false;
    if (!ok)
        error = "cannot make a copy for the encoder at " + to;
    return ok;
}

} // namespace

bool SameAudioFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    struct stat sa
    {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

CAudioConverter::CAudioConverter(std::string programFolder, std::string configFile)
    : m_programFolder(std::move(programFolder)), m_configFile(std::move(configFile))
{}

int CAudioConverter::DetectCodec(const std::string& path)
{
    if (IsRecordMp3(path))
        return kCodecLame;
    WavProbe probe;
    std::string error;
    if (!probeWav(path, probe, error))
        return -1;
    switch (probe.formatTag) {
    case 1:
        return kCodecPcm;
    case 2:
        return kCodecAdpcm;
    case 0x55:
        return kCodecMp3Wave;
    case 0x31:
        return kCodecGsm;
    default:
        return -1;
    }
}

bool CAudioConverter::Convert(const std::string& source, std::string& target, int codec,
                              std::time_t start, std::string* error) const
{
    if (codec < kCodecPcm || codec > kCodecLame) {
        report("Convert", "unknown codec " + std::to_string(codec), error);
        return false;
    }
    const int found = DetectCodec(source);
    if (found < 0) {
        WavProbe probe;
        std::string why;
        if (probeWav(source, probe, why))
            why = "has the unsupported format tag " + std::to_string(probe.formatTag);
        report("Convert", source + " " + why, error);
        return false;
    }
    const bool inPlace = SameAudioFile(source, target);
    std::string why;
    if (found == codec) {
        if (inPlace)
            return true;
        if (copyFile(source, target, why))
            return true;
        ::unlink(target.c_str());
        report("Convert", why, error);
        return false;
    }
    if (!inPlace) {
        if (convertTo(source, target, codec, start, why))
            return true;
        report("Convert", source + " " + why, error);
        return false;
    }
    // In place: convert beside the source, then let the result take the source's name.
    const std::string temp = insertBeforeExtension(source, "_1");
    if (!convertTo(source, temp, codec, start, why)) {
        report("Convert", source + " " + why, error);
        return false;
    }
    // rename replaces the source in one step: at no moment is the recording without a file
    // under its own name.
    if (::rename(temp.c_str(), source.c_str()) != 0)
        target = temp;
    return true;
}

bool CAudioConverter::convertTo(const std::string& source, const std::string& target, int codec,
                                std::time_t start, std::string& error) const
{
    switch (codec) {
    case kCodecPcm:
        return encodeWavWithSndfile(source, target, SF_FORMAT_PCM_16, error);
    case kCodecAdpcm:
        return encodeWavWithSndfile(source, target, SF_FORMAT_MS_ADPCM, error);
    case kCodecGsm:
        return encodeWavWithSndfile(source, target, SF_FORMAT_GSM610, error);
    case kCodecMp3Wave: {
        Mp3WaveSettings settings;
        settings.kbps = m_mp3Kbps;
        return encodeMp3Wave(source, target, settings, error);
    }
    case kCodecLame:
        return encodeWithLame(source, target, start, error);
    default:
        error = "unknown codec";
        return false;
    }
}

std::string CAudioConverter::LameOptions() const
{
    if (m_configFile.empty())
        return kDefaultLameOptions;
    const std::string options =
        readProfileString(m_configFile, "MP3", "OPTIONS", kDefaultLameOptions);
    return std::string(cutToUtf8Bytes(options, kMaxOptionsChars));
}

bool CAudioConverter::LameAvailable() const
{
    return !FindProgram("lame", m_programFolder).empty();
}

bool CAudioConverter::encodeWithLame(const std::string& source, const std::string& target,
                                     std::time_t start, std::string& error) const
{
    const std::string program = FindProgram("lame", m_programFolder);
    if (program.empty()) {
        error = "cannot be encoded: the lame program was not found";
        return false;
    }
    // lame reads plain PCM WAVs only: a compressed WAV goes through a PCM copy, and a
    // record's trailing description chunk is cut off in a copy (lame would read it as audio).
    WavProbe probe;
    if (!probeWav(source, probe, error))
        return false;
    if (probe.dataSize == 0) {
        error = "holds no audio";
        return false;
    }
    std::string input = source;
    std::string pcmCopy;
    if (probe.formatTag != 1 || probe.waveEnd < probe.fileSize || !probe.layout.riffSizeTrusted) {
        pcmCopy = makeEncoderInputName(target);
        if (pcmCopy.empty()) {
            error = "cannot make a copy for the encoder beside " + target;
            return false;
        }
        const bool copied = probe.formatTag == 1 && probe.layout.riffSizeTrusted
                                ? copyPrefix(source, probe.waveEnd, pcmCopy, error)
                                : encodeWavWithSndfile(source, pcmCopy, SF_FORMAT_PCM_16, error);
        if (!copied) {
            ::unlink(pcmCopy.c_str());
            return false;
        }
        input = pcmCopy;
    }
    const auto argv = buildLameArguments(program, LameOptions(), start, input, target);
    appLog().Write(formatCommandLine(argv));
    const auto audio = std::chrono::seconds(probe.dataSize / probe.avgBytesPerSec);
    const ProgramRun run = runProgram(argv, m_lameTimeoutBase + audio);
    if (!pcmCopy.empty())
        ::unlink(pcmCopy.c_str());
    struct stat st
    {
    };
    // The MP3 must hold the whole recording: lame ending early on a damaged input, or a
    // full disk, would otherwise pass for a shorter record. It may be a little longer: the
    // encoder's delay and the padding of the last frame add up to about 0.15 s, which a
    // decoder without the encoder's tag frame keeps.
    const double want = static_cast<double>(probe.dataSize) / probe.avgBytesPerSec;
    const double got = run.succeeded() ? decodedSeconds(target) : -1;
    const double slack = 0.1 + want / 100;
    if (run.succeeded() && ::stat(target.c_str(), &st) == 0 && st.st_size > 0 &&
        got >= want - slack && got <= want + slack + 0.15)
        return true;
    if (!run.succeeded())
        error = "cannot be encoded: lame " + run.describe();
    else if (::stat(target.c_str(), &st) != 0 || st.st_size == 0)
        error = "cannot be encoded: lame wrote no MP3 file";
    else
        error = "cannot be encoded: lame wrote " + std::to_string(got) + " s of " +
                std::to_string(want) + " s";
    if (run.started)
        ::unlink(target.c_str());
    return false;
}

bool CAudioConverter::tiMP3WaveToPureMP3(const std::string& wav, const std::string& mp3,
                                         std::string* error)
{
    WavProbe probe;
    std::string why;
    if (!probeWav(wav, probe, why)) {
        report("tiMP3WaveToPureMP3", wav + " " + why, error);
        return false;
    }
    if (probe.formatTag != 0x55) {
        report("tiMP3WaveToPureMP3", wav + " is not an MPEG Layer-3 WAV", error);
        return false;
    }
    if (SameAudioFile(wav, mp3)) {
        report("tiMP3WaveToPureMP3", wav + " cannot be unwrapped onto itself", error);
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(wav.c_str(), "rb"), &std::fclose);
    std::FILE* out = std::fopen(mp3.c_str(), "wb");
    if (!in || !out) {
        if (out)
            std::fclose(out);
        report("tiMP3WaveToPureMP3", "cannot open " + (in ? mp3 : wav), error);
        return false;
    }
    bool ok = ::fseeko(in.get(), static_cast<off_t>(probe.dataOffset), SEEK_SET) == 0;
    std::vector<char> buffer(8192);
    std::uint64_t left = probe.dataSize;
    while (ok && left > 0) {
        const std::size_t step =
            left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
        ok = std::fread(buffer.data(), 1, step, in.get()) == step &&
             std::fwrite(buffer.data(), 1, step, out) == step;
        left -= step;
    }
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok) {
        ::unlink(mp3.c_str());
        report("tiMP3WaveToPureMP3", "copying the data of " + wav + " failed", error);
    }
    return ok;
}

int CAudioConverter::ConvertToPcm(const std::string& source, const std::string& target,
                                  std::string* error)
{
    if (SameAudioFile(source, target))
        return -1;
    std::string why;
    if (encodeWavWithSndfile(source, target, SF_FORMAT_PCM_16, why))
        return 1;
    report("ConvertToPcm", source + " " + why, error);
    return 0;
}

} // namespace tw
