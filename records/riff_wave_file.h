#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

/// HRESULT-style results of CRiffWaveFile.
using HResult = std::uint32_t;
namespace hr {
constexpr HResult ok = 0;
constexpr HResult fail = 0x80004005;           ///< any I/O or format error
constexpr HResult notInitialized = 0x800401F0; ///< nothing is open
constexpr HResult invalidArg = 0x80070057;     ///< a missing buffer or path
constexpr HResult notImpl = 0x80004001;        ///< writing to a memory source
} // namespace hr

/// A WAVEFORMATEX: the 18 fixed bytes and the extra bytes that follow them.
struct WaveFormat
{
    static constexpr std::uint16_t kPcm = 1;

    std::uint16_t formatTag = kPcm;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 16000;
    std::uint32_t avgBytesPerSec = 32000;
    std::uint16_t blockAlign = 2;
    std::uint16_t bitsPerSample = 16;
    std::vector<std::uint8_t> extra; ///< cbSize = extra.size(); always empty for PCM

    static WaveFormat Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits);
    /// The bytes stored in a "fmt " chunk: 16 for PCM, else 18 + extra.
    std::vector<std::uint8_t> ChunkBytes() const;
};

/// A small WAV reader and writer on plain file I/O.
///
/// Writing produces exactly: "RIFF" size "WAVE", "fmt " (16 bytes for PCM, else 18 + extra),
/// "fact" 4 bytes (0xFFFFFFFF while writing, 0 after Close), "data" size, the data, a pad
/// byte when the data size is odd. Both size fields are written by Close, whose result must
/// be checked: a failed write (a full disk) is reported there or by Write.
///
/// Reading accepts any RIFF/WAVE file: the first chunk must be RIFF/WAVE, "fmt " (at least
/// 16 bytes) and "data" are searched among its sub-chunks. The data size is that of the
/// "data" chunk, cut to what the file really holds (a truncated recording reads to its end).
/// Chunks behind the WAVE chunk (the "TWKI" record chunk) are ignored.
///
/// One object per file; not thread-safe; the destructor closes (ignoring the result).
class CRiffWaveFile
{
public:
    static constexpr int kModeRead = 1;
    static constexpr int kModeWrite = 2;

    CRiffWaveFile() = default;
    ~CRiffWaveFile();
    CRiffWaveFile(const CRiffWaveFile&) = delete;
    CRiffWaveFile& operator=(const CRiffWaveFile&) = delete;

    /// Read: format is ignored (may be null). A file that cannot be opened for a transient
    /// reason is retried once a second for up to a minute; a file that does not exist or
    /// cannot be read for good fails at once. Write: format is required; the file is created
    /// or emptied and the "data" chunk started.
    HResult Open(const std::string& path, const WaveFormat* format, int mode);
    /// Reads a WAV image held in memory (the bytes are copied). Writing to it is notImpl.
    HResult OpenMemory(const void* data, std::size_t size);

    /// Copies min(count, bytes still to read) bytes; got = bytes copied.
    HResult Read(void* buffer, std::uint32_t count, std::uint32_t* got);
    HResult Write(std::uint32_t count, const void* buffer, std::uint32_t* written);
    /// Read: back to the first data byte. Write: starts the "data" chunk (done by Open).
    HResult ResetFile();
    HResult Close();

    bool IsOpen() const { return m_mode != 0; }
    /// Data bytes (written so far when writing).
    std::uint32_t GetSize() const;
    std::uint16_t GetFormatTag() const { return m_format.formatTag; }
    const WaveFormat& GetFormat() const { return m_format; }
    /// Data bytes x 100 / average bytes per second; 0 when nothing is open, the data is
    /// empty or the byte rate is 0.
    std::uint32_t GetDurationCs() const;
    /// Data bytes / block alignment; 0 when the alignment is 0.
    std::uint32_t GetSampleCount() const;

private:
    HResult openRead();
    HResult openWrite(const WaveFormat& format);
    bool sourceRead(std::uint64_t offset, void* buffer, std::size_t count, std::size_t& got);
    bool flush();
    bool putBytes(const void* data, std::size_t count);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t count);
    void release();

    int m_fd = -1;
    int m_mode = 0;
    bool m_memory = false;
    std::vector<std::uint8_t> m_memoryData;
    std::string m_path;
    WaveFormat m_format;

    std::uint64_t m_sourceSize = 0;  // bytes in the file or memory image (read mode)
    std::uint64_t m_dataStart = 0;   // offset of the first data byte
    std::uint64_t m_dataSize = 0;    // data bytes
    std::uint64_t m_readPos = 0;     // offset of the next data byte to hand out
    std::uint64_t m_dataChunkAt = 0; // write mode: offset of the "data" chunk id
    bool m_dataStarted = false;

    std::vector<std::uint8_t> m_buffer; // read cache or write buffer
    std::uint64_t m_bufferOffset = 0;   // read mode: file offset of m_buffer[0]
    std::size_t m_bufferFill = 0;
    bool m_failed = false; // write mode: an earlier write failed
};

} // namespace tw
