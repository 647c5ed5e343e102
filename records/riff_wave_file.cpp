#include "records/riff_wave_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/trace.h"
#include "records/regular_file.h"
#include "records/wave_layout.h"

namespace tw {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kOpenAttempts = 60;
// Room the header leaves for data before a 32-bit RIFF size would overflow.
constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFFull;

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putId(std::vector<std::uint8_t>& out, const char* id)
{
    out.insert(out.end(), id, id + 4);
}

/// Errors worth waiting for: another process holds or is finishing the file, or the
/// process ran out of descriptors for a moment. Anything else will not change by waiting.
bool isTransientOpenError(int error)
{
    switch (error) {
    case EINTR:
    case EAGAIN:
    case EBUSY:
    case ETXTBSY:
    case EMFILE:
    case ENFILE:
    case ENOMEM:
        return true;
    default:
        return false;
    }
}

} // namespace

WaveFormat WaveFormat::Pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits)
{
    WaveFormat f;
    f.formatTag = kPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

std::vector<std::uint8_t> WaveFormat::ChunkBytes() const
{
    std::vector<std::uint8_t> out;
    put16(out, formatTag);
    put16(out, channels);
    put32(out, samplesPerSec);
    put32(out, avgBytesPerSec);
    put16(out, blockAlign);
    put16(out, bitsPerSample);
    if (formatTag != kPcm) {
        put16(out, static_cast<std::uint16_t>(extra.size()));
        out.insert(out.end(), extra.begin(), extra.end());
    }
    return out;
}

CRiffWaveFile::~CRiffWaveFile()
{
    Close();
}

HResult CRiffWaveFile::Open(const std::string& path, const WaveFormat* format, int mode)
{
    if (path.empty())
        return hr::invalidArg;
    if (mode != kModeRead && mode != kModeWrite)
        return hr::invalidArg;
    if (mode == kModeWrite && !format)
        return hr::invalidArg;
    Close();
    m_path = path;
    if (mode == kModeWrite)
        return openWrite(*format);

    for (int attempt = 1;; ++attempt) {
        m_fd = OpenRegularFile(path);
        if (m_fd >= 0)
            break;
        const int error = errno;
        if (!isTransientOpenError(error) || attempt >= kOpenAttempts)
            return hr::fail;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        tracef(2, "mmioOpen(count:%d, file:%s)", attempt + 1, path.c_str());
    }
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0) {
        release();
        return hr::fail;
    }
    m_sourceSize = static_cast<std::uint64_t>(st.st_size);
    m_mode = kModeRead;
    const HResult result = openRead();
    if (result != hr::ok)
        release();
    return result;
}

HResult CRiffWaveFile::OpenMemory(const void* data, std::size_t size)
{
    if (!data && size > 0)
        return hr::invalidArg;
    Close();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_memoryData.assign(bytes, bytes + size);
    m_memory = true;
    m_sourceSize = size;
    m_mode = kModeRead;
    const HResult result = openRead();
    if (result != hr::ok)
        release();
    return result;
}

bool CRiffWaveFile::sourceRead(std::uint64_t offset, void* buffer, std::size_t count,
                               std::size_t& got)
{
    got = 0;
    if (offset >= m_sourceSize)
        return true;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_sourceSize - offset));
    if (m_memory) {
        std::memcpy(buffer, m_memoryData.data() + offset, count);
        got = count;
        return true;
    }
    return ReadFileAt(m_fd, offset, buffer, count, got);
}

HResult CRiffWaveFile::openRead()
{
    WaveLayout layout;
    std::string error;
    const WaveByteReader read = [this](std::uint64_t offset, void* buffer, std::size_t count,
                                       std::size_t& got) {
        return sourceRead(offset, buffer, count, got);
    };
    WaveFormatFields fields;
    if (!ReadWaveLayout(read, m_sourceSize, layout, error) ||
        !ReadWaveFormat(read, layout, fields, error))
        return hr::fail;
    m_format.formatTag = fields.formatTag;
    m_format.channels = fields.channels;
    m_format.samplesPerSec = fields.samplesPerSec;
    m_format.avgBytesPerSec = fields.avgBytesPerSec;
    m_format.blockAlign = fields.blockAlign;
    m_format.bitsPerSample = fields.bitsPerSample;
    m_format.extra = std::move(fields.extra);
    m_dataStart = layout.dataOffset;
    m_dataSize = layout.dataSize;
    return ResetFile();
}

HResult CRiffWaveFile::openWrite(const WaveFormat& format)
{
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return hr::fail;
    m_mode = kModeWrite;
    m_format = format;
    if (m_format.formatTag == WaveFormat::kPcm)
        m_format.extra.clear();
    m_buffer.reserve(kBufferSize);
    m_bufferFill = 0;
    m_bufferOffset = 0;
    m_failed = false;

    const std::vector<std::uint8_t> fmt = m_format.ChunkBytes();
    std::vector<std::uint8_t> head;
    putId(head, "RIFF");
    put32(head, 0);
    putId(head, "WAVE");
    putId(head, "fmt ");
    put32(head, static_cast<std::uint32_t>(fmt.size()));
    head.insert(head.end(), fmt.begin(), fmt.end());
    if (fmt.size() & 1)
        head.push_back(0);
    putId(head, "fact");
    put32(head, 4);
    put32(head, 0xFFFFFFFF);
    if (!putBytes(head.data(), head.size())) {
        release();
        return hr::fail;
    }
    const HResult result = ResetFile();
    if (result != hr::ok)
        release();
    return result;
}

bool CRiffWaveFile::putBytes(const void* data, std::size_t count)
{
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        if (m_buffer.size() == kBufferSize && !flush())
            return false;
        const std::size_t take = std::min(count, kBufferSize - m_buffer.size());
        m_buffer.insert(m_buffer.end(), in, in + take);
        in += take;
        count -= take;
    }
    return true;
}

bool CRiffWaveFile::writeAt(std::uint64_t offset, const void* data, std::size_t count)
{
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        const ssize_t n = ::pwrite(m_fd, in, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        in += n;
        count -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// Write mode: m_bufferOffset is where the buffered bytes go in the file.
bool CRiffWaveFile::flush()
{
    if (m_failed)
        return false;
    if (!m_buffer.empty() && !writeAt(m_bufferOffset, m_buffer.data(), m_buffer.size())) {
        m_failed = true;
        return false;
    }
    m_bufferOffset += m_buffer.size();
    m_buffer.clear();
    // The size fields follow what is on disk, so that a writer that never reaches Close
    // (a crash, a full disk) still leaves a file whose header tells where its audio ends.
    if (m_dataStarted && m_bufferOffset > m_dataStart) {
        std::vector<std::uint8_t> field;
        put32(field, static_cast<std::uint32_t>(m_bufferOffset - m_dataStart));
        put32(field, static_cast<std::uint32_t>(m_bufferOffset - 8));
        if (!writeAt(m_dataChunkAt + 4, field.data(), 4) || !writeAt(4, field.data() + 4, 4)) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

HResult CRiffWaveFile::Read(void* buffer, std::uint32_t count, std::uint32_t* got)
{
    if (got)
        *got = 0;
    if (m_mode == 0)
        return hr::notInitialized;
    if (!buffer && count > 0)
        return hr::invalidArg;
    if (m_mode != kModeRead)
        return hr::fail;
    const std::uint64_t end = m_dataStart + m_dataSize;
    std::uint32_t want =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(count, end - m_readPos));
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t copied = 0;
    while (want > 0) {
        if (m_readPos < m_bufferOffset || m_readPos >= m_bufferOffset + m_bufferFill) {
            m_buffer.resize(kBufferSize);
            std::size_t filled = 0;
            if (!sourceRead(m_readPos, m_buffer.data(), kBufferSize, filled) || filled == 0) {
                m_bufferFill = 0;
                if (got)
                    *got = copied;
                return hr::fail;
            }
            m_bufferOffset = m_readPos;
            m_bufferFill = filled;
        }
        const std::size_t inBuffer =
            static_cast<std::size_t>(m_bufferOffset + m_bufferFill - m_readPos);
        const std::uint32_t take =
            static_cast<std::uint32_t>(std::min<std::size_t>(want, inBuffer));
        std::memcpy(out + copied, m_buffer.data() + (m_readPos - m_bufferOffset), take);
        copied += take;
        want -= take;
        m_readPos += take;
    }
    if (got)
        *got = copied;
    return hr::ok;
}

HResult CRiffWaveFile::Write(std::uint32_t count, const void* buffer, std::uint32_t* written)
{
    if (written)
        *written = 0;
    if (m_mode == 0)
        return hr::notInitialized;
    if (m_memory)
        return hr::notImpl;
    if (!buffer && count > 0)
        return hr::invalidArg;
    if (m_mode != kModeWrite || !m_dataStarted || m_failed)
        return hr::fail;
    if (m_dataStart + m_dataSize + count + 1 > kMaxRiffSize + 8)
        return hr::fail;
    if (!putBytes(buffer, count))
        return hr::fail;
    m_dataSize += count;
    if (written)
        *written = count;
    return hr::ok;
}

HResult CRiffWaveFile::ResetFile()
{
    if (m_mode == 0)
        return hr::notInitialized;
    if (m_mode == kModeRead) {
        m_readPos = m_dataStart;
        return hr::ok;
    }
    if (m_dataStarted)
        return hr::fail;
    m_dataChunkAt = m_bufferOffset + m_buffer.size();
    const std::uint8_t head[8] = {'d', 'a', 't', 'a', 0, 0, 0, 0};
    if (!putBytes(head, sizeof head))
        return hr::fail;
    m_dataStart = m_dataChunkAt + 8;
    m_dataSize = 0;
    m_dataStarted = true;
    return hr::ok;
}

HResult CRiffWaveFile::Close()
{
    if (m_mode == 0)
        return hr::notInitialized;
    bool ok = true;
    if (m_mode == kModeWrite) {
        if (!m_dataStarted)
            ok = ResetFile() == hr::ok;
        if (ok && (m_dataSize & 1)) {
            const std::uint8_t pad = 0;
            ok = putBytes(&pad, 1);
        }
        ok = ok && flush();
        std::vector<std::uint8_t> field;
        put32(field, static_cast<std::uint32_t>(m_dataSize));
        ok = ok && writeAt(m_dataChunkAt + 4, field.data(), 4);
        field.clear();
        put32(field, RiffSizeForWaveEnd(m_dataStart + m_dataSize));
        ok = ok && writeAt(4, field.data(), 4);
        // The "fact" chunk sits right before "data"; its value becomes 0 once complete.
        field.assign(4, 0);
        ok = ok && writeAt(m_dataChunkAt - 4, field.data(), 4);
        if (::close(m_fd) != 0)
            ok = false;
        m_fd = -1;
    }
    release();
    return ok ? hr::ok : hr::fail;
}

void CRiffWaveFile::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_mode = 0;
    m_memory = false;
    m_memoryData.clear();
    m_memoryData.shrink_to_fit();
    m_buffer.clear();
    m_bufferFill = 0;
    m_bufferOffset = 0;
    m_dataStart = m_dataSize = m_readPos = m_dataChunkAt = 0;
    m_dataStarted = false;
    m_failed = false;
    m_sourceSize = 0;
}

std::uint32_t CRiffWaveFile::GetSize() const
{
    return m_mode == 0 ? 0 : static_cast<std::uint32_t>(m_dataSize);
}

std::uint32_t CRiffWaveFile::GetDurationCs() const
{
    if (m_mode == 0 || m_dataSize == 0 || m_format.avgBytesPerSec == 0)
        return 0;
    return static_cast<std::uint32_t>(m_dataSize * 100 / m_format.avgBytesPerSec);
}

std::uint32_t CRiffWaveFile::GetSampleCount() const
{
    if (m_mode == 0 || m_format.blockAlign == 0)
        return 0;
    return static_cast<std::uint32_t>(m_dataSize / m_format.blockAlign);
}

} // namespace tw
