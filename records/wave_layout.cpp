#include "records/wave_layout.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "records/regular_file.h"

namespace tw {
namespace {

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool readExactly(const WaveByteReader& read, std::uint64_t offset, void* buffer, std::size_t count)
{
    std::size_t got = 0;
    return read(offset, buffer, count, got) && got == count;
}

/// A record chunk header ("RIFF" size "TWKI") at offset, with room for its 872 bytes.
bool recordChunkAt(const WaveByteReader& read, std::uint64_t offset, std::uint64_t fileSize)
{
    unsigned char head[12];
    return offset + WaveLayout::kRecordChunkBytes <= fileSize &&
           readExactly(read, offset, head, sizeof head) && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "TWKI", 4) == 0;
}

} // namespace

std::uint32_t RiffSizeForWaveEnd(std::uint64_t end)
{
    const std::uint64_t padded = end + (end & 1);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(padded - 8, 0xFFFFFFFFu));
}

std::uint32_t WaveLayout::RiffSizeFromChunks() const
{
    return RiffSizeForWaveEnd(waveEnd);
}

std::uint64_t WaveLayout::RecordChunkPlace() const
{
    return recordChunkOffset != 0 ? recordChunkOffset : waveEnd + (waveEnd & 1);
}

bool ReadWaveLayout(const WaveByteReader& read, std::uint64_t fileSize, WaveLayout& layout,
                    std::string& error)
{
    layout = WaveLayout{};
    layout.fileSize = fileSize;
    unsigned char head[12];
    std::size_t got = 0;
    if (!read(0, head, sizeof head, got)) {
        error = "cannot be read";
        return false;
    }
    if (got != sizeof head || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "is not a RIFF/WAVE file";
        return false;
    }
    layout.riffSizeField = le32(head + 4);

    // A record chunk at the very end bounds everything else: its bytes are never audio, even
    // when a size field claims them.
    std::uint64_t limit = fileSize;
    if (fileSize >= 12 + WaveLayout::kRecordChunkBytes &&
        recordChunkAt(read, fileSize - WaveLayout::kRecordChunkBytes, fileSize)) {
        layout.recordChunkOffset = fileSize - WaveLayout::kRecordChunkBytes;
        limit = layout.recordChunkOffset;
    }

    // Walk the sub-chunks by their own sizes, bounded by the file. Every step moves forward,
    // so no size can make the walk loop. The ends of the sub-chunks are the places where a
    // believable RIFF size may end.
    std::vector<std::uint64_t> ends;
    std::uint64_t pos = 12;
    while (pos + 8 <= limit) {
        unsigned char chunk[8];
        if (!readExactly(read, pos, chunk, sizeof chunk)) {
            error = "cannot be read";
            return false;
        }
        if (std::memcmp(chunk, "RIFF", 4) == 0)
            break; // a top-level chunk: the WAVE chunk ended before it
        const std::uint32_t size = le32(chunk + 4);
        const std::uint64_t body = pos + 8;
        const std::uint64_t end = body + size;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && layout.fmtOffset == 0) {
            layout.fmtOffset = body;
            layout.fmtSize = size;
        }
        if (std::memcmp(chunk, "data", 4) == 0 && layout.dataOffset == 0) {
            layout.dataOffset = body;
            layout.dataSizeField = size;
            layout.dataSize = std::min<std::uint64_t>(size, limit - body);
            if (end > limit) {
                ends.push_back(body + layout.dataSize);
                break; // a recording cut off: its audio runs to the end of the file
            }
        } else if (end > limit) {
            break; // a sub-chunk the file cannot hold is no part of the audio
        }
        ends.push_back(end);
        pos = end + (size & 1);
        if (pos != end && pos <= limit)
            ends.push_back(pos);
    }
    if (layout.fmtOffset == 0) {
        error = "has no format chunk";
        return false;
    }
    if (layout.dataOffset == 0) {
        error = "has no data chunk";
        return false;
    }
    const std::uint64_t dataEnd = layout.dataOffset + layout.dataSize;
    const std::uint64_t claimedEnd = 8ull + layout.riffSizeField;
    layout.riffSizeTrusted = claimedEnd >= dataEnd && claimedEnd <= limit &&
                             std::find(ends.begin(), ends.end(), claimedEnd) != ends.end();
    layout.waveEnd = layout.riffSizeTrusted ? claimedEnd : dataEnd;
    if (layout.recordChunkOffset == 0) {
        const std::uint64_t place = layout.waveEnd + (layout.waveEnd & 1);
        if (recordChunkAt(read, place, fileSize))
            layout.recordChunkOffset = place;
    }
    return true;
}

bool ReadWaveFormat(const WaveByteReader& read, const WaveLayout& layout, WaveFormatFields& format,
                    std::string& error)
{
    error = "has a damaged format chunk";
    unsigned char fmt[18] = {};
    const std::size_t fixed = layout.fmtSize >= 18 ? 18 : 16;
    if (layout.fmtSize < 16 || !readExactly(read, layout.fmtOffset, fmt, fixed))
        return false;
    const auto le16 = [&fmt](std::size_t at) { return std::uint16_t(fmt[at] | fmt[at + 1] << 8); };
    format = WaveFormatFields{};
    format.formatTag = le16(0);
    format.channels = le16(2);
    format.samplesPerSec = le32(fmt + 4);
    format.avgBytesPerSec = le32(fmt + 8);
    format.blockAlign = le16(12);
    format.bitsPerSample = le16(14);
    const std::uint16_t extraSize = fixed == 18 && format.formatTag != 1 ? le16(16) : 0;
    if (18ull + extraSize > layout.fmtSize && extraSize > 0)
        return false;
    format.extra.resize(extraSize);
    if (extraSize > 0 && !readExactly(read, layout.fmtOffset + 18, format.extra.data(), extraSize))
        return false;
    error.clear();
    return true;
}

bool ReadWaveLayoutOfFile(int fd, WaveLayout& layout, std::string& error)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        error = "cannot be read";
        return false;
    }
    const WaveByteReader read = [fd](std::uint64_t offset, void* buffer, std::size_t count,
                                     std::size_t& got) {
        return ReadFileAt(fd, offset, buffer, count, got);
    };
    return ReadWaveLayout(read, static_cast<std::uint64_t>(st.st_size), layout, error);
}

} // namespace tw
