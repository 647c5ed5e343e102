#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace tw {

/// Codec numbers of the settings nACodec and nACodecForEmail.
enum CodecId : int {
    kCodecPcm = 0,     ///< PCM WAV (format tag 1)
    kCodecAdpcm = 1,   ///< Microsoft ADPCM WAV (tag 2)
    kCodecMp3Wave = 2, ///< MPEG Layer-3 inside a WAV (tag 0x55), later unwrapped to .mp3
    kCodecGsm = 3,     ///< GSM 6.10 WAV (tag 0x31)
    kCodecLame = 4,    ///< an MP3 file made by the lame program
};

/// Turns records and greeting files from one audio format into another: codecs 0, 1 and 3
/// through libsndfile, codec 2 through libmp3lame, codec 4 by running the lame program.
///
/// Made once at start-up. Configure it (setters) before other threads use it; after that
/// every operation may run on any thread, several at once: nothing is shared but the
/// configuration, which is only read.
///
/// Every failure leaves the source untouched, removes what it wrote, writes one line to the
/// event log ("CAudioConverter::<operation>() - ...") and a trace line on level 2, and can
/// hand its reason to the caller.
class CAudioConverter
{
public:
    /// programFolder: searched for "lame" before PATH. configFile: the configuration file
    /// whose section "MP3", key "OPTIONS" holds the encoder options (read at each encoder
    /// run); empty means the default "-f --silent".
    explicit CAudioConverter(std::string programFolder = {}, std::string configFile = {});

    /// Converts source to codec into target. The same path for both converts in place
    /// (through source name + "_1" + extension, which takes the source's place). A source
    /// that is already in the wanted codec is copied (or, in place, left alone). When the
    /// final rename fails, target becomes the "_1" file that holds the result.
    /// start: the record's start time, the MP3 title of codec 4.
    bool Convert(const std::string& source, std::string& target, int codec, std::time_t start,
                 std::string* error = nullptr) const;

    /// 4 for a record MP3 name; for a WAV the codec of its format tag (1 -> 0, 2 -> 1,
    /// 0x55 -> 2, 0x31 -> 3); -1 for anything else, a damaged WAV included.
    static int DetectCodec(const std::string& path);

    /// Writes the data chunk of a WAV (the MPEG frames of a codec 2 file) as the whole of
    /// mp3 (replaced when present).
    static bool tiMP3WaveToPureMP3(const std::string& wav, const std::string& mp3,
                                   std::string* error = nullptr);

    /// Any audio file libsndfile reads (WAV of any codec, FLAC, Ogg, MP3) to a 16-bit PCM
    /// WAV at the source's rate and channels. 1 done, 0 failed, -1 when both name the same
    /// file.
    static int ConvertToPcm(const std::string& source, const std::string& target,
                            std::string* error = nullptr);

    /// True when the lame program is in the program folder or on PATH.
    bool LameAvailable() const;
    /// The encoder options from the configuration (at most 520 characters).
    std::string LameOptions() const;

    /// How long one lame run may take: base + one second per second of audio (the encoder
    /// runs many times faster than real time, so only a hung program reaches it).
    void setLameTimeoutBase(std::chrono::milliseconds base) { m_lameTimeoutBase = base; }
    /// MP3-in-WAV bit rate (24 or 32 kbit/s) of codec 2.
    void setMp3WaveKbps(int kbps) { m_mp3Kbps = kbps; }

private:
    bool convertTo(const std::string& source, const std::string& target, int codec,
                   std::time_t start, std::string& error) const;
    bool encodeWithLame(const std::string& source, const std::string& target, std::time_t start,
                        std::string& error) const;

    std::string m_programFolder;
    std::string m_configFile;
    std::chrono::milliseconds m_lameTimeoutBase{120000};
    int m_mp3Kbps = 32;
};

/// True when the two paths name the same file: the same text, or the same file on disk.
bool SameAudioFile(const std::string& a, const std::string& b);

} // namespace tw
