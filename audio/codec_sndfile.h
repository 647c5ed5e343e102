#pragma once

#include <cstdio>
#include <string>

#include <sndfile.h>

namespace tw {

/// A libsndfile reader for any file libsndfile understands (WAV of any codec it knows, FLAC,
/// Ogg, MP3 ...). For a RIFF/WAVE file the length libsndfile sees ends with the WAVE chunk,
/// because libsndfile refuses a file that carries a further top-level chunk (our "TWKI"
/// record description) behind it, and its RIFF size field is the one the chunks give
/// (ReadWaveLayout), whatever the file holds there; a WAV whose header does not hold up
/// (truncated data, a block alignment or byte rate of 0) is refused before libsndfile sees it.
class SndFileReader
{
public:
    SndFileReader() = default;
    SndFileReader(const SndFileReader&) = delete;
    SndFileReader& operator=(const SndFileReader&) = delete;
    ~SndFileReader();

    /// False with a reason in error when the file cannot be read as audio.
    bool open(const std::string& path, std::string& error);
    /// As open, and also false ("holds no audio") for a file without a single frame: a
    /// conversion of such a file would pass an empty record for a good one.
    bool openWithAudio(const std::string& path, std::string& error);
    void close();

    const SF_INFO& info() const { return m_info; }
    SNDFILE* handle() const { return m_sf; }
    /// Reads up to frames frames of interleaved samples; 0 at the end (or on an error, which
    /// readError() then reports).
    sf_count_t readFrames(short* buffer, sf_count_t frames);
    sf_count_t readFrames(float* buffer, sf_count_t frames);
    /// True when libsndfile reported a decoding error during reading, or when a WAV's
    /// frames ran out before the number its data chunk holds.
    bool readError() const;
    /// Frames handed out so far.
    sf_count_t framesRead() const { return m_framesRead; }

private:
    static sf_count_t vioLength(void* self);
    static sf_count_t vioSeek(sf_count_t offset, int whence, void* self);
    static sf_count_t vioRead(void* buffer, sf_count_t count, void* self);
    static sf_count_t vioTell(void* self);
    sf_count_t delivered(sf_count_t got, sf_count_t asked);

    bool m_wave = false;
    bool m_atEnd = false;
    sf_count_t m_framesRead = 0;
    std::FILE* m_file = nullptr;
    sf_count_t m_length = 0;
    sf_count_t m_pos = 0;     ///< where libsndfile reads next
    sf_count_t m_filePos = 0; ///< where the stdio stream stands (-1 unknown)
    SNDFILE* m_sf = nullptr;
    SF_INFO m_info{};
    bool m_patchRiffSize = false;     ///< bytes 4-7 are presented as m_riffSize
    unsigned char m_riffSize[4] = {}; ///< the RIFF size the chunks give
};

/// Writes a WAV file with libsndfile (format is SF_FORMAT_WAV | subtype). close() reports
/// whether every byte reached the file.
class SndFileWriter
{
public:
    SndFileWriter() = default;
    SndFileWriter(const SndFileWriter&) = delete;
    SndFileWriter& operator=(const SndFileWriter&) = delete;
    ~SndFileWriter();

    bool open(const std::string& path, int format, int sampleRate, int channels,
              std::string& error);
    bool writeFrames(const short* buffer, sf_count_t frames);
    bool writeFrames(const float* buffer, sf_count_t frames);
    bool close(std::string& error);

private:
    static sf_count_t vioLength(void* self);
    static sf_count_t vioSeek(sf_count_t offset, int whence, void* self);
    static sf_count_t vioRead(void* buffer, sf_count_t count, void* self);
    static sf_count_t vioWrite(const void* buffer, sf_count_t count, void* self);
    static sf_count_t vioTell(void* self);

    // libsndfile writes each small codec block with its own system call; a buffered
    // stream underneath keeps that cheap.
    std::FILE* m_file = nullptr;
    bool m_ioFailed = false;
    SNDFILE* m_sf = nullptr;
};

/// Opens target and checks that it holds framesRead frames, or up to slack more (the padding
/// of a codec's last block). False with a reason in error otherwise.
bool checkWrittenLength(const std::string& target, sf_count_t framesRead, sf_count_t slack,
                        std::string& error);

/// Reads source (anything SndFileReader opens) and writes target as a WAV of the libsndfile
/// subtype (SF_FORMAT_PCM_16, SF_FORMAT_MS_ADPCM or SF_FORMAT_GSM610) at the source's rate.
/// GSM 6.10 is mono only, and ADPCM takes at most two channels: other sources are mixed
/// down to mono. The target must hold as many frames as were read from the source (up to
/// one codec block more), and the source as many as it promises. On failure the target is
/// removed and error says why.
bool encodeWavWithSndfile(const std::string& source, const std::string& target, int subtype,
                          std::string& error);

} // namespace tw
