#include "skype/record_finish_audio.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/file_util.h"
#include "records/record_naming.h"
#include "records/riff_wave_file.h"

namespace tw {
namespace {

bool isMono16(const WaveFormat& f)
{
    return f.channels == 1 && f.blockAlign == 2 && f.bitsPerSample == 16;
}

void setError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

// Puts the finished temporary file in place of target. rename() replaces in one step, so
// there is never a moment where neither the old nor the new audio exists on disk.
bool replaceWith(const std::string& temp, const std::string& target)
{
    return std::rename(temp.c_str(), target.c_str()) == 0;
}

std::int16_t sampleAt(const std::uint8_t* bytes, std::size_t index)
{
    return static_cast<std::int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

void putSample(std::uint8_t* bytes, std::size_t index, std::int32_t value)
{
    value = std::clamp<std::int32_t>(value, std::numeric_limits<std::int16_t>::min(),
                                     std::numeric_limits<std::int16_t>::max());
    const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    bytes[2 * index] = static_cast<std::uint8_t>(v & 0xFF);
    bytes[2 * index + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Reads up to count bytes; the part not filled (the file's end) is silence.
bool readOrSilence(CRiffWaveFile& file, std::uint8_t* buffer, std::uint32_t count,
                   std::uint32_t& got)
{
    got = 0;
    std::memset(buffer, 0, count);
    if (file.Read(buffer, count, &got) != hr::ok)
        return false;
    return true;
}

} // namespace

CutResult CutGreeting(const std::string& path, std::uint32_t greetingCs)
{
    CRiffWaveFile in;
    if (in.Open(path, nullptr, CRiffWaveFile::kModeRead) != hr::ok)
        return CutResult::Unreadable;
    const WaveFormat format = in.GetFormat();
    if (in.GetDurationCs() < greetingCs || !isMono16(format))
        return CutResult::Unusable;

    const std::uint64_t drop64 = std::uint64_t(format.avgBytesPerSec) * greetingCs / 100;
    const std::uint32_t drop = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(drop64 - drop64 % format.blockAlign, in.GetSize()));
    const std::string temp = FinishTempPath(path, "cut");

    std::array<std::uint8_t, kFinishBufferBytes> buffer;
    // Skip the greeting through the same buffer: no seek is offered by the reader.
    for (std::uint32_t left = drop; left > 0;) {
        const std::uint32_t want = std::min<std::uint32_t>(left, buffer.size());
        std::uint32_t got = 0;
        if (in.Read(buffer.data(), want, &got) != hr::ok || got != want)
            return CutResult::IoError;
        left -= got;
    }

    CRiffWaveFile out;
    if (out.Open(temp, &format, CRiffWaveFile::kModeWrite) != hr::ok) {
        ::remove(temp.c_str());
        return CutResult::IoError;
    }
    for (std::uint32_t left = in.GetSize() - drop; left > 0;) {
        const std::uint32_t want = std::min<std::uint32_t>(left, buffer.size());
        std::uint32_t got = 0;
        std::uint32_t written = 0;
        if (in.Read(buffer.data(), want, &got) != hr::ok || got != want ||
            out.Write(got, buffer.data(), &written) != hr::ok || written != got) {
            out.Close();
            ::remove(temp.c_str());
            return CutResult::IoError;
        }
        left -= got;
    }
    in.Close();
    if (out.Close() != hr::ok || !replaceWith(temp, path)) {
        ::remove(temp.c_str());
        return CutResult::IoError;
    }
    return CutResult::Done;
}

bool MixInto(const std::string& outputPath, const std::string& micPath, bool twoChannels,
             std::string* error)
{
    CRiffWaveFile a;
    CRiffWaveFile b;
    if (a.Open(outputPath, nullptr, CRiffWaveFile::kModeRead) != hr::ok) {
        setError(error, "the output side does not open as WAV");
        return false;
    }
    if (b.Open(micPath, nullptr, CRiffWaveFile::kModeRead) != hr::ok) {
        setError(error, "the microphone side does not open as WAV");
        return false;
    }
    // Both sides are read as 16-bit samples; a microphone file in another format would mix as
    // noise, so it is refused like the output side.
    if (!isMono16(a.GetFormat()) || !isMono16(b.GetFormat())) {
        setError(error, "a side is not 16-bit mono");
        return false;
    }

    WaveFormat format = a.GetFormat();
    if (twoChannels) {
        format.channels = 2;
        format.blockAlign = 4;
        format.avgBytesPerSec = format.samplesPerSec * 4; // 64000 at Skype's 16 000 Hz
    }
    const std::string temp = FinishTempPath(outputPath, "mix");
    CRiffWaveFile out;
    if (out.Open(temp, &format, CRiffWaveFile::kModeWrite) != hr::ok) {
        ::remove(temp.c_str());
        setError(error, "the mix file cannot be created");
        return false;
    }

    // One output buffer of at most kFinishBufferBytes; each input buffer holds as many
    // samples as one output buffer takes.
    constexpr std::size_t kOut = kFinishBufferBytes;
    const std::uint32_t inBytes = static_cast<std::uint32_t>(twoChannels ? kOut / 2 : kOut);
    std::array<std::uint8_t, kFinishBufferBytes> bufA;
    std::array<std::uint8_t, kFinishBufferBytes> bufB;
    std::array<std::uint8_t, kFinishBufferBytes> mixed;
    bool ok = true;
    for (;;) {
        std::uint32_t gotA = 0;
        std::uint32_t gotB = 0;
        if (!readOrSilence(a, bufA.data(), inBytes, gotA) ||
            !readOrSilence(b, bufB.data(), inBytes, gotB)) {
            setError(error, "reading a side failed");
            ok = false;
            break;
        }
        const std::uint32_t got = std::max(gotA, gotB) & ~1u;
        if (got == 0)
            break;
        const std::size_t samples = got / 2;
        std::uint32_t outBytes;
        if (twoChannels) {
            for (std::size_t i = 0; i < samples; ++i) {
                putSample(mixed.data(), 2 * i, sampleAt(bufA.data(), i));
                putSample(mixed.data(), 2 * i + 1, sampleAt(bufB.data(), i));
            }
            outBytes = got * 2;
        } else {
            for (std::size_t i = 0; i < samples; ++i)
                putSample(mixed.data(), i,
                          std::int32_t(sampleAt(bufA.data(), i)) + sampleAt(bufB.data(), i));
            outBytes = got;
        }
        std::uint32_t written = 0;
        if (out.Write(outBytes, mixed.data(), &written) != hr::ok || written != outBytes) {
            setError(error, "writing the mix failed");
            ok = false;
            break;
        }
    }
    a.Close();
    b.Close();
    if (out.Close() != hr::ok && ok) {
        setError(error, "writing the mix failed");
        ok = false;
    }
    if (!ok || !replaceWith(temp, outputPath)) {
        if (ok)
            setError(error, "the mix cannot take the output file's name");
        ::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace tw
