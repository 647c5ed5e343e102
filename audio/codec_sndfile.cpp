#include "audio/codec_sndfile.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <unistd.h>

#include "audio/codec_wav_probe.h"
#include "records/regular_file.h"

namespace tw {

SndFileReader::~SndFileReader()
{
    close();
}

void SndFileReader::close()
{
    if (m_sf)
        sf_close(m_sf);
    m_sf = nullptr;
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool SndFileReader::open(const std::string& path, std::string& error)
{
    close();
    m_info = SF_INFO{};
    m_pos = 0;
    m_patchRiffSize = false;
    m_wave = false;
    m_atEnd = false;
    m_framesRead = 0;
    m_file = OpenRegularFileStream(path);
    if (!m_file) {
        error = errno == EINVAL ? "is not a regular file" : "cannot be opened";
        return false;
    }
    ::fseeko(m_file, 0, SEEK_END);
    m_length = static_cast<sf_count_t>(::ftello(m_file));
    ::fseeko(m_file, 0, SEEK_SET);
    m_filePos = 0;
    if (m_length <= 0) {
        error = "is empty";
        close();
        return false;
    }
    if (isRiffWave(path)) {
        WavProbe probe;
        if (!probeWav(path, probe, error)) {
            close();
            return false;
        }
        // libsndfile sees the WAVE chunk alone, with the RIFF size the chunks give (a stale
        // or unfinished size field in the file would make it read no audio at all).
        const WaveLayout& layout = probe.layout;
        const std::uint64_t limit =
            layout.recordChunkOffset ? layout.recordChunkOffset : layout.fileSize;
        const std::uint64_t padded = layout.waveEnd + (layout.waveEnd & 1);
        const std::uint64_t end = padded <= limit ? padded : layout.waveEnd;
        m_length = static_cast<sf_count_t>(end);
        const auto riffSize = static_cast<std::uint32_t>(end - 8);
        for (int i = 0; i < 4; ++i)
            m_riffSize[i] = static_cast<unsigned char>(riffSize >> (8 * i));
        m_patchRiffSize = true;
        m_wave = true;
    }
    SF_VIRTUAL_IO io{&vioLength, &vioSeek, &vioRead, nullptr, &vioTell};
    m_sf = sf_open_virtual(&io, SFM_READ, &m_info, this);
    if (!m_sf) {
        error = std::string("is not an audio file that can be read (") + sf_strerror(nullptr) + ")";
        close();
        return false;
    }
    if (m_info.channels <= 0 || m_info.samplerate <= 0) {
        error = "has no channels or no sample rate";
        close();
        return false;
    }
    // Float sources (and decoded MP3/Ogg) may exceed full scale; clip instead of wrapping.
    sf_command(m_sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

sf_count_t SndFileReader::readFrames(short* buffer, sf_count_t frames)
{
    return delivered(m_sf ? sf_readf_short(m_sf, buffer, frames) : 0, frames);
}

sf_count_t SndFileReader::readFrames(float* buffer, sf_count_t frames)
{
    return delivered(m_sf ? sf_readf_float(m_sf, buffer, frames) : 0, frames);
}

sf_count_t SndFileReader::delivered(sf_count_t got, sf_count_t asked)
{
    if (got > 0)
        m_framesRead += got;
    if (got < asked)
        m_atEnd = true;
    return got;
}

bool SndFileReader::readError() const
{
    if (m_sf && sf_error(m_sf) != SF_ERR_NO_ERROR)
        return true;
    // A WAV's length is known exactly from its data chunk: ending early means the audio
    // could not all be read, which must not pass for a shorter recording.
    return m_sf && m_wave && m_atEnd && m_framesRead != m_info.frames;
}

sf_count_t SndFileReader::vioLength(void* self)
{
    return static_cast<SndFileReader*>(self)->m_length;
}

sf_count_t SndFileReader::vioSeek(sf_count_t offset, int whence, void* self)
{
    auto* r = static_cast<SndFileReader*>(self);
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target = r->m_pos + offset;
    else if (whence == SEEK_END)
        target = r->m_length + offset;
    if (target < 0)
        return -1;
    r->m_pos = target;
    return target;
}

sf_count_t SndFileReader::vioRead(void* buffer, sf_count_t count, void* self)
{
    auto* r = static_cast<SndFileReader*>(self);
    if (count <= 0 || r->m_pos >= r->m_length)
        return 0;
    if (count > r->m_length - r->m_pos)
        count = r->m_length - r->m_pos;
    // Seek only when libsndfile moved: a seek would drop the stdio buffer.
    if (r->m_filePos != r->m_pos) {
        if (::fseeko(r->m_file, static_cast<off_t>(r->m_pos), SEEK_SET) != 0)
            return 0;
        r->m_filePos = r->m_pos;
    }
    const auto got =
        static_cast<sf_count_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), r->m_file));
    if (r->m_patchRiffSize) {
        auto* bytes = static_cast<unsigned char*>(buffer);
        for (sf_count_t at = std::max<sf_count_t>(r->m_pos, 4);
             at < std::min<sf_count_t>(r->m_pos + got, 8); ++at)
            bytes[at - r->m_pos] = r->m_riffSize[at - 4];
    }
    r->m_pos += got;
    r->m_filePos = got == count ? r->m_pos : -1;
    return got;
}

sf_count_t SndFileReader::vioTell(void* self)
{
    return static_cast<SndFileReader*>(self)->m_pos;
}

SndFileWriter::~SndFileWriter()
{
    if (m_sf)
        sf_close(m_sf);
    if (m_file)
        std::fclose(m_file);
}

bool SndFileWriter::open(const std::string& path, int format, int sampleRate, int channels,
                         std::string& error)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info)) {
        error = "the target format is not possible for this audio";
        return false;
    }
    m_file = std::fopen(path.c_str(), "w+b");
    if (!m_file) {
        error = "cannot create the target";
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
    SF_VIRTUAL_IO io{&vioLength, &vioSeek, &vioRead, &vioWrite, &vioTell};
    m_sf = sf_open_virtual(&io, SFM_WRITE, &info, this);
    if (!m_sf) {
        error = std::string("cannot create the target (") + sf_strerror(nullptr) + ")";
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    sf_command(m_sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool SndFileWriter::writeFrames(const short* buffer, sf_count_t frames)
{
    return m_sf && sf_writef_short(m_sf, buffer, frames) == frames && !m_ioFailed;
}

bool SndFileWriter::writeFrames(const float* buffer, sf_count_t frames)
{
    return m_sf && sf_writef_float(m_sf, buffer, frames) == frames && !m_ioFailed;
}

bool SndFileWriter::close(std::string& error)
{
    if (!m_sf)
        return false;
    const int writeError = sf_error(m_sf);
    const int closeError = sf_close(m_sf);
    m_sf = nullptr;
    const int fileError = std::fclose(m_file);
    m_file = nullptr;
    if (writeError != SF_ERR_NO_ERROR || closeError != 0 || fileError != 0 || m_ioFailed) {
        error = "writing the target failed";
        return false;
    }
    return true;
}

sf_count_t SndFileWriter::vioLength(void* self)
{
    auto* w = static_cast<SndFileWriter*>(self);
    const off_t here = ::ftello(w->m_file);
    if (here < 0 || ::fseeko(w->m_file, 0, SEEK_END) != 0)
        return -1;
    const off_t end = ::ftello(w->m_file);
    ::fseeko(w->m_file, here, SEEK_SET);
    return end;
}

sf_count_t SndFileWriter::vioSeek(sf_count_t offset, int whence, void* self)
{
    auto* w = static_cast<SndFileWriter*>(self);
    if (::fseeko(w->m_file, static_cast<off_t>(offset), whence) != 0)
        return -1;
    return ::ftello(w->m_file);
}

sf_count_t SndFileWriter::vioRead(void* buffer, sf_count_t count, void* self)
{
    auto* w = static_cast<SndFileWriter*>(self);
    return count <= 0 ? 0
                      : static_cast<sf_count_t>(
                            std::fread(buffer, 1, static_cast<std::size_t>(count), w->m_file));
}

sf_count_t SndFileWriter::vioWrite(const void* buffer, sf_count_t count, void* self)
{
    auto* w = static_cast<SndFileWriter*>(self);
    if (count <= 0)
        return 0;
    const auto done =
        static_cast<sf_count_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), w->m_file));
    if (done != count)
        w->m_ioFailed = true;
    return done;
}

sf_count_t SndFileWriter::vioTell(void* self)
{
    return ::ftello(static_cast<SndFileWriter*>(self)->m_file);
}

namespace {

/// Frames a codec may add behind the audio: libsndfile fills the last block and may write
/// one more (two blocks).
sf_count_t blockFrames(int subtype)
{
    switch (subtype) {
    case SF_FORMAT_MS_ADPCM:
        return 2 * 2048;
    case SF_FORMAT_GSM610:
        return 2 * 320;
    default:
        return 0;
    }
}

} // namespace

bool checkWrittenLength(const std::string& target, sf_count_t framesRead, sf_count_t slack,
                        std::string& error)
{
    SndFileReader written;
    std::string why;
    if (!written.open(target, why)) {
        error = "the written target cannot be read back (" + why + ")";
        return false;
    }
    const sf_count_t frames = written.info().frames;
    if (frames < framesRead || frames > framesRead + slack) {
        error = "the target holds " + std::to_string(frames) + " frames where " +
                std::to_string(framesRead) + " were read";
        return false;
    }
    return true;
}

bool SndFileReader::openWithAudio(const std::string& path, std::string& error)
{
    if (!open(path, error))
        return false;
    if (m_info.frames > 0)
        return true;
    close();
    error = "holds no audio";
    return false;
}

bool encodeWavWithSndfile(const std::string& source, const std::string& target, int subtype,
                          std::string& error)
{
    SndFileReader reader;
    if (!reader.openWithAudio(source, error))
        return false;
    const int channels = reader.info().channels;
    const bool mixDown = (subtype == SF_FORMAT_GSM610 && channels > 1) ||
                         (subtype == SF_FORMAT_MS_ADPCM && channels > 2);
    const int outChannels = mixDown ? 1 : channels;

    SndFileWriter writer;
    if (!writer.open(target, SF_FORMAT_WAV | subtype, reader.info().samplerate, outChannels, error))
        return false;

    constexpr sf_count_t kFrames = 8192;
    std::vector<short> buffer(static_cast<std::size_t>(kFrames * channels));
    std::vector<short> mono(mixDown ? kFrames : 0);
    bool ok = true;
    sf_count_t framesRead = 0;
    for (;;) {
        const sf_count_t got = reader.readFrames(buffer.data(), kFrames);
        if (got <= 0)
            break;
        framesRead += got;
        if (mixDown) {
            for (sf_count_t i = 0; i < got; ++i) {
                int sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += buffer[static_cast<std::size_t>(i * channels + c)];
                mono[static_cast<std::size_t>(i)] = static_cast<short>(sum / channels);
            }
        }
        if (!writer.writeFrames(mixDown ? mono.data() : buffer.data(), got)) {
            error = "writing the target failed";
            ok = false;
            break;
        }
    }
    if (ok && reader.readError()) {
        error = std::string("cannot be decoded (") + sf_strerror(reader.handle()) + ")";
        if (sf_error(reader.handle()) == SF_ERR_NO_ERROR)
            error = "cannot be read to its end (" + std::to_string(framesRead) + " of " +
                    std::to_string(reader.info().frames) + " frames)";
        ok = false;
    }
    std::string closeError;
    if (!writer.close(closeError) && ok) {
        error = closeError;
        ok = false;
    }
    if (ok)
        ok = checkWrittenLength(target, framesRead, blockFrames(subtype), error);
    if (!ok)
        ::unlink(target.c_str());
    return ok;
}

} // namespace tw
