#include "audio/wave_append.h"

#include <cstdio>
#include <vector>

#include <unistd.h>

#include "audio/audio_converter.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/trace.h"
#include "records/record_naming.h"
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
    const std::string temp = FinishTempPath(first, "join");
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
    // rename() replaces first in one step: a kill leaves either the old first (and a
    // temporary file that a clean-up recognises) or the join, never neither.
    if (::rename(temp.c_str(), first.c_str()) != 0) {
        ::unlink(temp.c_str());
        why = "the join cannot take the name " + first;
        appLog().Write("AppendWave() - " + why);
        if (error)
            *error = why;
        return false;
    }
    if (removeSecond)
        DeleteFileSafely(second);
    return true;
}

} // namespace tw
