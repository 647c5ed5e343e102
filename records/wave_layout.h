#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

// Where the parts of a RIFF/WAVE file lie, and above all where its audio ends. Every reader
// and writer of WAV files here (CRiffWaveFile, the strict header check of the converter, the
// libsndfile view and the record chunk writer) takes that answer from this one place.
//
// The RIFF size field is never trusted on its own: a writer that was interrupted leaves 0,
// an old tool may leave a stale value, a damaged file any value. The field is believed only
// when it ends exactly where one of the WAVE chunk's own sub-chunks ends, at or behind the end
// of the data chunk, and inside the file. Otherwise the WAVE chunk is taken to end where the
// data chunk ends (its size bounded by the file). The record chunk ("RIFF" size "TWKI", which
// every WAV record carries behind its WAVE chunk) is recognised right behind the WAVE chunk or
// as the file's last 884 bytes, and never counts as audio.

/// Reads up to count bytes at offset into buffer; got = bytes read (short at the end of the
/// source). False on a read error.
using WaveByteReader =
    std::function<bool(std::uint64_t offset, void* buffer, std::size_t count, std::size_t& got)>;

struct WaveLayout
{
    static constexpr std::uint64_t kRecordChunkBytes = 12 + 872;

    std::uint64_t fileSize = 0;
    std::uint32_t riffSizeField = 0;
    std::uint64_t fmtOffset = 0; ///< first byte of the "fmt " chunk's body
    std::uint32_t fmtSize = 0;
    std::uint64_t dataOffset = 0; ///< first byte of the "data" chunk's body
    std::uint32_t dataSizeField = 0;
    std::uint64_t dataSize = 0; ///< the data chunk's size bounded by the file
    /// Just behind the WAVE chunk's content (pad byte excluded).
    std::uint64_t waveEnd = 0;
    /// Offset of the record chunk, 0 when the file has none.
    std::uint64_t recordChunkOffset = 0;
    /// The RIFF size field agrees with the chunks.
    bool riffSizeTrusted = false;

    /// The data chunk's size field promises more than the file holds.
    bool DataTruncated() const { return dataSize < dataSizeField; }
    /// The RIFF size field as the chunks say it should be (the pad byte included).
    std::uint32_t RiffSizeFromChunks() const;
    /// Where the record chunk is or belongs: behind the WAVE chunk and its pad byte.
    std::uint64_t RecordChunkPlace() const;
};

/// Maps a RIFF/WAVE image of fileSize bytes. False with a short English reason in error
/// ("is not a RIFF/WAVE file", "has no format chunk", "has no data chunk", "cannot be read")
/// when the image has no usable structure.
bool ReadWaveLayout(const WaveByteReader& read, std::uint64_t fileSize, WaveLayout& layout,
                    std::string& error);

/// The fields of a "fmt " chunk (a WAVEFORMATEX).
struct WaveFormatFields
{
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    /// The cbSize bytes behind the 18 fixed ones; empty for PCM and for a 16-byte chunk
    /// (which has no cbSize field: two bytes of the next chunk are not taken for one).
    std::vector<std::uint8_t> extra;
};

/// Reads the "fmt " chunk the layout found. False with error "has a damaged format chunk"
/// when it is shorter than 16 bytes, its extra bytes run past it, or it cannot be read.
bool ReadWaveFormat(const WaveByteReader& read, const WaveLayout& layout, WaveFormatFields& format,
                    std::string& error);

/// The same for an open file descriptor (its size from fstat).
bool ReadWaveLayoutOfFile(int fd, WaveLayout& layout, std::string& error);

/// The RIFF size field of a WAVE chunk whose content ends at end (pad byte added when odd);
/// what every writer of WAV files here puts in the header.
std::uint32_t RiffSizeForWaveEnd(std::uint64_t end);

} // namespace tw
