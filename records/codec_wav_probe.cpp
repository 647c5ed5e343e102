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

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const unsigned char* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

bool readAt(std::FILE* f, std::uint64_t offset, void* buffer, std::size_t count)
{
    return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(buffer, 1, count, f) == count;
}

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
    FilePtr f(::fdopen(fd, "rb"));
    if (!f) {
        ::close(fd);
        error = "cannot be opened";
        return false;
    }
    WaveLayout layout;
    if (!ReadWaveLayoutOfFile(fd, layout, error))
        return false;
    probe.fileSize = layout.fileSize;
    probe.waveEnd = layout.waveEnd;
    probe.layout = layout;
    if (layout.fmtSize < 16 || layout.fmtOffset + layout.fmtSize > layout.fileSize) {
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
    unsigned char fmt[18] = {};
    if (!readAt(f.get(), layout.fmtOffset, fmt, layout.fmtSize >= 18 ? 18 : 16)) {
        error = "has a damaged format chunk";
        return false;
    }
    probe.formatTag = le16(fmt);
    probe.channels = le16(fmt + 2);
    probe.sampleRate = le32(fmt + 4);
    probe.avgBytesPerSec = le32(fmt + 8);
    probe.blockAlign = le16(fmt + 12);
    probe.bitsPerSample = le16(fmt + 14);
    const std::uint16_t extraSize = layout.fmtSize >= 18 ? le16(fmt + 16) : 0;
    if (probe.formatTag != 1 && extraSize > 0) {
        if (18 + std::uint64_t(extraSize) > layout.fmtSize) {
            error = "has a damaged format chunk";
            return false;
        }
        probe.extra.resize(extraSize);
        if (!readAt(f.get(), layout.fmtOffset + 18, probe.extra.data(), extraSize)) {
            error = "is truncated";
            return false;
        }
    }
    probe.dataOffset = layout.dataOffset;
    probe.dataSize = layout.dataSize;
    if (probe.channels == 0 || probe.sampleRate == 0) {
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
