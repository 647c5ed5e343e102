#include "audio/wave_append.h"

#include <vector>

#include <unistd.h>

#include "audio/audio_converter.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/trace.h"
#include "records/riff_wave_file.h"

namespace tw {
namespace {

constexpr std::uint32_t kCopyBuffer = 8192;

bool copyData(CRiffWaveFile& from, CRiffWaveFile& to, std::vector<char>& buffer)
{
    std::uint32_t left = from.GetSize();
    while (left > 0) {
        const std::uint32_t step = left < buffer.size() ? left : std::uint32_t(buffer.size());
        std::uint32_t got = 0;
        std::uint32_t written = 0;
        if (from.Read(buffer.data(), step, &got) != hr::ok || got != step ||
            to.Write(step, buffer.data(), &written) != hr::ok || written != step)
            return false;
        left -= step;
    }
    return true;
}

bool sameFormat(const WaveFormat& a, const WaveFormat& b)
{
    return a.formatTag == b.formatTag && a.samplesPerSec == b.samplesPerSec &&
           a.channels == b.channels && a.blockAlign == b.blockAlign &&
           a.bitsPerSample == b.bitsPerSample && a.extra == b.extra;
}

} // namespace

bool AppendWave(std::string& first, const std::string& second, bool deleteSecond,
                std::string* error)
{
    const std::string temp = first.size() >= 4 ? first.substr(0, first.size() - 4) + "_4" +
                                                     first.substr(first.size() - 4)
                                               : first + "_4";
    std::string why;
    bool ok = true;
    {
        CRiffWaveFile a;
        CRiffWaveFile b;
        CRiffWaveFile joined;
        if (a.Open(first, nullptr, CRiffWaveFile::kModeRead) != hr::ok) {
            why = first + " cannot be opened as a WAV file";
        } else if (b.Open(second, nullptr, CRiffWaveFile::kModeRead) != hr::ok) {
            why = second + " cannot be opened as a WAV file";
        } else if (!sameFormat(a.GetFormat(), b.GetFormat())) {
            why = first + " and " + second + " differ in their audio format";
        } else if (a.GetFormat().blockAlign == 0) {
            why = first + " has a block alignment of 0";
        } else if (joined.Open(temp, &a.GetFormat(), CRiffWaveFile::kModeWrite) != hr::ok) {
            why = "cannot create " + temp;
        } else {
            std::vector<char> buffer(kCopyBuffer);
            if (!copyData(a, joined, buffer) || !copyData(b, joined, buffer))
                why = "copying the audio into " + temp + " failed";
            else if (joined.Close() != hr::ok)
                why = "writing " + temp + " failed";
        }
        ok = why.empty();
    }
    if (!ok) {
        ::unlink(temp.c_str());
        appLog().Write("AppendWave() - " + why);
        trace(2, "AppendWave()(Failed) " + why);
        if (error)
            *error = why;
        return false;
    }
    // The second file goes only when it is not the first under another name.
    const bool removeSecond = deleteSecond && !SameAudioFile(first, second);
    DeleteFileSafely(first);
    if (!RenameFileSafely(temp, first))
        first = temp;
    if (removeSecond)
        DeleteFileSafely(second);
    return true;
}

} // namespace tw
