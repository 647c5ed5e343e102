#include "audio/codec_mp3wave.h"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include <lame.h>
#include <unistd.h>

#include "audio/codec_sndfile.h"

namespace tw {
namespace {

constexpr std::uint16_t kTagMpegLayer3 = 0x55;
constexpr std::uint16_t kMpegLayer3IdMpeg = 1;
constexpr std::uint32_t kMpegLayer3FlagPaddingOff = 2;
constexpr int kDecoderDelay = 529; // samples every Layer III decoder adds

/// Little-endian writer into a fixed header.
struct HeaderWriter
{
    std::array<unsigned char, 70> bytes{};
    std::size_t at = 0;
    void u16(std::uint32_t v)
    {
        bytes[at++] = static_cast<unsigned char>(v & 0xFF);
        bytes[at++] = static_cast<unsigned char>((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void tag(const char* t)
    {
        for (int i = 0; i < 4; ++i)
            bytes[at++] = static_cast<unsigned char>(t[i]);
    }
};

/// RIFF, "fmt " (18 + 12 bytes), "fact", "data" header; sizes patched at the end.
std::array<unsigned char, 70> waveHeader(int kbps, int codecDelay, std::uint32_t samples,
                                         std::uint32_t dataBytes)
{
    const int blockSize = 72 * kbps * 1000 / Mp3WaveSettings::kSampleRate;
    HeaderWriter h;
    h.tag("RIFF");
    h.u32(4 + (8 + 30) + (8 + 4) + 8 + dataBytes + (dataBytes & 1));
    h.tag("WAVE");
    h.tag("fmt ");
    h.u32(30);
    h.u16(kTagMpegLayer3);
    h.u16(1);
    h.u32(Mp3WaveSettings::kSampleRate);
    h.u32(static_cast<std::uint32_t>(kbps * 1000 / 8));
    h.u16(1); // block alignment of a compressed stream
    h.u16(0); // bits per sample
    h.u16(12);
    h.u16(kMpegLayer3IdMpeg);
    h.u32(kMpegLayer3FlagPaddingOff);
    h.u16(static_cast<std::uint32_t>(blockSize));
    h.u16(1); // frames per block
    h.u16(static_cast<std::uint32_t>(codecDelay));
    h.tag("fact");
    h.u32(4);
    h.u32(samples);
    h.tag("data");
    h.u32(dataBytes);
    return h.bytes;
}

struct LameCloser
{
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};

void quiet(const char*, va_list)
{}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

bool encodeMp3Wave(const std::string& source, const std::string& target,
                   const Mp3WaveSettings& settings, std::string& error)
{
    if (settings.kbps != 24 && settings.kbps != 32) {
        error = "the MP3 bit rate must be 24 or 32 kbit/s";
        return false;
    }
    SndFileReader reader;
    if (!reader.openWithAudio(source, error))
        return false;
    const int channels = reader.info().channels;

    // lame fills some tables of its own on first use; set-up runs one thread at a time.
    static std::mutex setupMutex;
    std::unique_lock setupLock(setupMutex);
    std::unique_ptr<lame_global_flags, LameCloser> gf(lame_init());
    if (!gf) {
        error = "the MP3 encoder cannot be initialised";
        return false;
    }
    lame_set_errorf(gf.get(), &quiet);
    lame_set_debugf(gf.get(), &quiet);
    lame_set_msgf(gf.get(), &quiet);
    lame_set_num_channels(gf.get(), 1);
    lame_set_in_samplerate(gf.get(), reader.info().samplerate);
    lame_set_out_samplerate(gf.get(), Mp3WaveSettings::kSampleRate);
    lame_set_mode(gf.get(), MONO);
    lame_set_VBR(gf.get(), vbr_off);
    lame_set_brate(gf.get(), settings.kbps);
    lame_set_quality(gf.get(), settings.quality);
    lame_set_bWriteVbrTag(gf.get(), 0);
    if (lame_init_params(gf.get()) < 0) {
        error = "the MP3 encoder refuses this audio";
        return false;
    }
    setupLock.unlock();

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(target.c_str(), "wb"));
    if (!out) {
        error = "cannot create the target";
        return false;
    }
    const int codecDelay = lame_get_encoder_delay(gf.get()) + kDecoderDelay;
    const auto placeholder = waveHeader(settings.kbps, codecDelay, 0, 0);
    bool ok =
        std::fwrite(placeholder.data(), 1, placeholder.size(), out.get()) == placeholder.size();

    constexpr int kFrames = 8192;
    std::vector<short> buffer(static_cast<std::size_t>(kFrames) * channels);
    std::vector<short> mono(kFrames);
    std::vector<unsigned char> mp3(kFrames + kFrames / 4 + 7200);
    std::uint64_t dataBytes = 0;
    std::uint64_t inputFrames = 0;
    while (ok) {
        const auto got = static_cast<int>(reader.readFrames(buffer.data(), kFrames));
        if (got <= 0)
            break;
        inputFrames += static_cast<std::uint64_t>(got);
        const short* pcm = buffer.data();
        if (channels > 1) {
            for (int i = 0; i < got; ++i) {
                int sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += buffer[static_cast<std::size_t>(i) * channels + c];
                mono[static_cast<std::size_t>(i)] = static_cast<short>(sum / channels);
            }
            pcm = mono.data();
        }
        const int bytes =
            lame_encode_buffer(gf.get(), pcm, pcm, got, mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0) {
            error = "the MP3 encoder failed";
            ok = false;
        } else if (std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), out.get()) !=
                   static_cast<std::size_t>(bytes)) {
            error = "writing the target failed";
            ok = false;
        }
        dataBytes += static_cast<std::uint64_t>(bytes > 0 ? bytes : 0);
    }
    if (ok && reader.readError()) {
        error = std::string("cannot be decoded (") + sf_strerror(reader.handle()) + ")";
        if (sf_error(reader.handle()) == SF_ERR_NO_ERROR)
            error = "cannot be read to its end (" + std::to_string(inputFrames) + " of " +
                    std::to_string(reader.info().frames) + " frames)";
        ok = false;
    }
    if (ok) {
        const int bytes = lame_encode_flush(gf.get(), mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0 || std::fwrite(mp3.data(), 1, static_cast<std::size_t>(bytes), out.get()) !=
                             static_cast<std::size_t>(bytes)) {
            error = "writing the target failed";
            ok = false;
        }
        dataBytes += static_cast<std::uint64_t>(bytes > 0 ? bytes : 0);
    }
    // Constant bit rate: the frames written must cover the samples read, plus no more than
    // the encoder's delay and the padding of its last frames.
    const std::uint64_t samplesIn =
        inputFrames * Mp3WaveSettings::kSampleRate / std::uint64_t(reader.info().samplerate);
    const std::uint64_t frameBytes =
        72ull * static_cast<std::uint64_t>(settings.kbps) * 1000 / Mp3WaveSettings::kSampleRate;
    const std::uint64_t samplesOut = dataBytes / frameBytes * Mp3WaveSettings::kSamplesPerFrame;
    if (ok && (dataBytes % frameBytes != 0 || samplesOut < samplesIn ||
               samplesOut > samplesIn + 4 * Mp3WaveSettings::kSamplesPerFrame)) {
        error = "the encoder wrote " + std::to_string(samplesOut) + " samples for " +
                std::to_string(samplesIn) + " read";
        ok = false;
    }
    if (ok && dataBytes > 0xFFFFFF00u) {
        error = "the audio is too long for a WAV file";
        ok = false;
    }
    if (ok) {
        const std::uint64_t samples =
            inputFrames * Mp3WaveSettings::kSampleRate / std::uint64_t(reader.info().samplerate);
        const auto header =
            waveHeader(settings.kbps, codecDelay,
                       static_cast<std::uint32_t>(std::min<std::uint64_t>(samples, 0xFFFFFFFFu)),
                       static_cast<std::uint32_t>(dataBytes));
        if ((dataBytes & 1) && std::fputc(0, out.get()) == EOF)
            ok = false;
        if (ok && (std::fseek(out.get(), 0, SEEK_SET) != 0 ||
                   std::fwrite(header.data(), 1, header.size(), out.get()) != header.size()))
            ok = false;
        if (!ok)
            error = "writing the target failed";
    }
    if (std::fclose(out.release()) != 0 && ok) {
        error = "writing the target failed";
        ok = false;
    }
    if (!ok)
        ::unlink(target.c_str());
    return ok;
}

} // namespace tw
