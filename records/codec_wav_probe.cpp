#include "records/codec_wav_probe.h"

#include <cstdio>
#include <cstring>
#include <memory>

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
    FilePtr f(std::fopen(path.c_str(), "rb"));
    unsigned char head[12];
    return f && std::fread(head, 1, 12, f.get()) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "WAVE", 4) == 0;
}

bool probeWav(const std::string& path, WavProbe& probe, std::string& error)
{
    probe = WavProbe{};
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        error = "cannot be opened";
        return false;
    }
    if (::fseeko(f.get(), 0, SEEK_END) != 0) {
        error = "cannot be read";
        return false;
    }
    probe.fileSize = static_cast<std::uint64_t>(::ftello(f.get()));
    unsigned char head[12];
    if (!readAt(f.get(), 0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "is not a RIFF/WAVE file";
        return false;
    }
    // A RIFF size beyond the file (a recording cut off) is clipped; the data check below
    // decides whether what remains is usable.
    probe.waveEnd = std::min<std::uint64_t>(8 + std::uint64_t(le32(head + 4)), probe.fileSize);

    bool haveFormat = false;
    std::uint64_t pos = 12;
    while (pos + 8 <= probe.waveEnd) {
        unsigned char chunk[8];
        if (!readAt(f.get(), pos, chunk, 8)) {
            error = "is truncated";
            return false;
        }
        const std::uint64_t size = le32(chunk + 4);
        const std::uint64_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[18] = {};
            if (size < 16 || body + size > probe.fileSize ||
                !readAt(f.get(), body, fmt, size >= 18 ? 18 : 16)) {
                error = "has a damaged format chunk";
                return false;
            }
            probe.formatTag = le16(fmt);
            probe.channels = le16(fmt + 2);
            probe.sampleRate = le32(fmt + 4);
            probe.avgBytesPerSec = le32(fmt + 8);
            probe.blockAlign = le16(fmt + 12);
            probe.bitsPerSample = le16(fmt + 14);
            const std::uint16_t extraSize = size >= 18 ? le16(fmt + 16) : 0;
            if (probe.formatTag != 1 && extraSize > 0) {
                if (18 + std::uint64_t(extraSize) > size) {
                    error = "has a damaged format chunk";
                    return false;
                }
                probe.extra.resize(extraSize);
                if (!readAt(f.get(), body + 18, probe.extra.data(), extraSize)) {
                    error = "is truncated";
                    return false;
                }
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "has its data before its format";
                return false;
            }
            if (body + size > probe.fileSize) {
                error = "is truncated (its data chunk runs past the end of the file)";
                return false;
            }
            probe.dataOffset = body;
            probe.dataSize = size;
            break;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat) {
        error = "has no format chunk";
        return false;
    }
    if (probe.dataOffset == 0) {
        error = "has no data chunk";
        return false;
    }
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
