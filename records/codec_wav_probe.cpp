#include "records/codec_wav_probe.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "records/regular_file.h"

namespace tw {
namespace {

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

bool isRiffWave(const std::string& path)
{
    FilePtr f(OpenRegularFileStream(path));
    unsigned char head[12];
    return f && std::fread(head, 1, 12, f.get()) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "WAVE", 4) == 0;
}

bool probeWav(const std::string& path, WavProbe& probe, std::string& error)
{
    probe = WavProbe{};
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        error = errno == EINVAL ? "is not a regular file" : "cannot be opened";
        return false;
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    WaveLayout layout;
    if (!ReadWaveLayoutOfFile(fd, layout, error))
        return false;
    probe.fileSize = layout.fileSize;
    probe.waveEnd = layout.waveEnd;
    probe.layout = layout;
    if (layout.fmtOffset + layout.fmtSize > layout.fileSize) {
        error = "has a damaged format chunk";
        return false;
    }
    if (layout.fmtOffset > layout.dataOffset) {
        error = "has its data before its format";
        return false;
    }
    if (layout.DataTruncated()) {
        error = "is truncated (its data chunk runs past the end of the file)";
        return false;
    }
    const WaveByteReader read = [fd](std::uint64_t offset, void* buffer, std::size_t count,
                                     std::size_t& got) {
        return ReadFileAt(fd, offset, buffer, count, got);
    };
    if (!ReadWaveFormat(read, layout, probe, error))
        return false;
    probe.dataOffset = layout.dataOffset;
    probe.dataSize = layout.dataSize;
    if (probe.channels == 0 || probe.samplesPerSec == 0) {
        error = "has no channels or no sample rate";
        return false;
    }
    if (probe.blockAlign == 0) {
        error = "has a block alignment of 0";
        return false;
    }
    if (probe.avgBytesPerSec == 0) {
        error = "has a byte rate of 0";
        return false;
    }
    if (probe.formatTag == 1 &&
        (probe.bitsPerSample == 0 || probe.bitsPerSample > 32 ||
         probe.blockAlign != probe.channels * ((probe.bitsPerSample + 7) / 8))) {
        error = "has an inconsistent PCM format";
        return false;
    }
    return true;
}

} // namespace tw
