// Conversions through each codec, checked with readers that are not ours (sox, libsndfile
// on the plain file, a hand-written header parser), and damaged sources.

#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "audio/audio_converter.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace tw::test;

constexpr double kSeconds = 20.0; // long enough that an MP3's encoder delay is well below 1%

class ConvertTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeSineWav(m_source, 16000, 1, 16, kSeconds, 440);
        appendTwkiChunk(m_source); // as every WAV record carries, which libsndfile refuses
        m_sourceBytes = readFile(m_source);
    }

    TempDir m_dir;
    std::string m_source = m_dir.file("ti101500101520vbob.wav");
    std::string m_sourceBytes;
    CAudioConverter m_converter;
};

TEST_F(ConvertTest, CompressedWavsOpenInSoxWithTheirTagAndDuration)
{
    const struct
    {
        int codec;
        std::uint16_t tag;
    } cases[] = {{kCodecAdpcm, 2}, {kCodecGsm, 0x31}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        std::string target = m_dir.file("out" + std::to_string(c.codec) + ".wav");
        std::string error;
        ASSERT_TRUE(m_converter.Convert(m_source, target, c.codec, 0, &error)) << error;
        EXPECT_EQ(parseWav(target).tag, c.tag);
        EXPECT_EQ(CAudioConverter::DetectCodec(target), c.codec);
        EXPECT_NEAR(soxDuration(target), kSeconds, kSeconds * 0.01);
        const Decoded d = decodeWithSndfile(target); // still the tone
        ASSERT_TRUE(d.ok);
        EXPECT_NEAR(zeroCrossingFrequency(d.samples, d.rate), 440, 2);
    }
    EXPECT_EQ(readFile(m_source), m_sourceBytes);

    // And back to PCM, through Convert and through ConvertToPcm alike.
    std::string pcm = m_dir.file("pcm.wav");
    ASSERT_TRUE(m_converter.Convert(m_dir.file("out1.wav"), pcm, kCodecPcm, 0));
    const WavHeader h = parseWav(pcm);
    EXPECT_EQ(std::tuple(h.tag, h.bits, h.rate), std::tuple(1, 16, 16000u));
    EXPECT_NEAR(soxDuration(pcm), kSeconds, kSeconds * 0.01);
    EXPECT_EQ(CAudioConverter::ConvertToPcm(m_dir.file("out1.wav"), m_dir.file("pcm2.wav")), 1);
    EXPECT_EQ(readFile(m_dir.file("pcm2.wav")), readFile(pcm));
}

TEST_F(ConvertTest, Mp3WaveCarriesTheStandardFormatAndUnwrapsToItsDataChunk)
{
    std::string target = m_dir.file("mp3.wav");
    std::string error;
    ASSERT_TRUE(m_converter.Convert(m_source, target, kCodecMp3Wave, 0, &error)) << error;
    const WavHeader h = parseWav(target);
    ASSERT_TRUE(h.ok);
    // MPEG Layer-3 at a constant 32 kbit/s.
    EXPECT_EQ(std::tuple(h.tag, h.channels, h.rate, h.byteRate, h.blockAlign),
              std::tuple(0x55, 1, 16000u, 4000u, 1));
    ASSERT_EQ(h.extra.size(), 12u);
    EXPECT_EQ(le32(h.extra, 0) & 0xFFFF, 1u);   // MPEG
    EXPECT_EQ(le32(h.extra, 6) & 0xFFFF, 144u); // bytes per frame at 32 kbit/s, 16 kHz
    EXPECT_EQ(h.data.size() % 144, 0u);
    EXPECT_NEAR(double(h.data.size()) / h.byteRate, kSeconds, kSeconds * 0.01);
    EXPECT_EQ(CAudioConverter::DetectCodec(target), kCodecMp3Wave);

    const std::string mp3 = m_dir.file("ti101500101520vbob.mp3");
    ASSERT_TRUE(CAudioConverter::tiMP3WaveToPureMP3(target, mp3, &error)) << error;
    EXPECT_EQ(readFile(mp3), h.data);
    const Decoded d = decodeWithSndfile(mp3);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rate, 16000);
    EXPECT_NEAR(d.seconds(), kSeconds, kSeconds * 0.01);
    EXPECT_NEAR(zeroCrossingFrequency(d.samples, d.rate), 440, 2);
}

TEST_F(ConvertTest, InPlaceLeavesOneFileAndSameCodecCopies)
{
    std::string target = m_source;
    ASSERT_TRUE(m_converter.Convert(m_source, target, kCodecAdpcm, 0));
    EXPECT_EQ(target, m_source);
    EXPECT_EQ(parseWav(m_source).tag, 2);
    EXPECT_FALSE(exists(m_dir.file("ti101500101520vbob_1.wav")));
    EXPECT_NEAR(soxDuration(m_source), kSeconds, kSeconds * 0.01);
    // Another spelling of the same path is in place too, not a read over a write.
    std::string other = m_dir.path() + "/./ti101500101520vbob.wav";
    ASSERT_TRUE(m_converter.Convert(m_source, other, kCodecGsm, 0));
    EXPECT_EQ(parseWav(m_source).tag, 0x31);
    EXPECT_FALSE(exists(m_dir.file("ti101500101520vbob_1.wav")));

    // A source already in the codec is left alone in place, or copied over a target.
    const std::string gsm = readFile(m_source);
    ASSERT_TRUE(m_converter.Convert(m_source, target, kCodecGsm, 0));
    EXPECT_EQ(readFile(m_source), gsm);
    std::string copy = m_dir.file("copy.wav");
    writeFile(copy, "old content");
    ASSERT_TRUE(m_converter.Convert(m_source, copy, kCodecGsm, 0));
    EXPECT_EQ(readFile(copy), gsm);
}

TEST_F(ConvertTest, ConvertToPcmReadsFlacOggAndDetectCodecKnowsRecords)
{
    writeSineWav(m_dir.file("stereo.wav"), 44100, 2, 16, 2.0, 1000);
    for (const std::string ext : {"flac", "ogg"}) { // made by sox, an independent writer
        SCOPED_TRACE(ext);
        ASSERT_TRUE(shell(m_dir.path(), "sox stereo.wav in." + ext));
        const std::string pcm = m_dir.file("pcm_" + ext + ".wav");
        ASSERT_EQ(CAudioConverter::ConvertToPcm(m_dir.file("in." + ext), pcm), 1);
        const WavHeader h = parseWav(pcm);
        EXPECT_EQ(std::tuple(h.tag, h.channels, h.rate), std::tuple(1, 2, 44100u));
        EXPECT_NEAR(soxDuration(pcm), 2.0, 0.02);
    }
    EXPECT_EQ(CAudioConverter::ConvertToPcm(m_source, m_source), -1);
    EXPECT_EQ(CAudioConverter::DetectCodec(m_source), kCodecPcm);
    // A record MP3 is recognised by its name; an e-mail copy is not a record.
    writeFile(m_dir.file("a.mp3"), "ID3");
    EXPECT_EQ(CAudioConverter::DetectCodec(m_dir.file("a.mp3")), kCodecLame);
    EXPECT_EQ(CAudioConverter::DetectCodec(m_dir.file("a_em.mp3")), -1);
}

// A record whose RIFF size was left stale (or 0, by a writer that never finished) converts
// with all its audio: every codec's result is as long as the source, which is untouched.
TEST_F(ConvertTest, StaleRiffSizeConvertsTheWholeRecording)
{
    CAudioConverter converter;
    for (const std::uint32_t riffSize : {0u, 36u}) {
        std::string bytes = m_sourceBytes;
        put32(bytes, 4, riffSize);
        writeFile(m_source, bytes);
        ASSERT_NEAR(soxDuration(m_source), kSeconds, 0.01); // sox reads the data chunk
        for (int codec : {kCodecPcm, kCodecAdpcm, kCodecMp3Wave, kCodecGsm, kCodecLame}) {
            if (codec == kCodecLame && !converter.LameAvailable())
                continue;
            SCOPED_TRACE(testing::Message() << "RIFF size " << riffSize << " codec " << codec);
            std::string target = m_dir.file(codec == kCodecLame ? "out.mp3" : "out.wav");
            std::string error;
            ASSERT_TRUE(converter.Convert(m_source, target, codec, 0, &error)) << error;
            if (codec == kCodecMp3Wave) { // 32 kbit/s
                EXPECT_NEAR(parseWav(target).data.size() / 4000.0, kSeconds, 0.2);
            } else if (codec != kCodecPcm) { // PCM already: a copy of the record, chunk and all
                EXPECT_NEAR(decodeWithSndfile(target).seconds(), kSeconds, 0.1);
            }
            if (codec != kCodecLame && codec != kCodecMp3Wave) {
                EXPECT_NEAR(soxDuration(target), kSeconds, 0.1);
            }
            EXPECT_EQ(readFile(m_source), bytes);
        }
        // The PCM reading of the record is its audio, sample for sample.
        std::string pcm = m_dir.file("pcm.wav");
        ASSERT_TRUE(converter.Convert(m_source, pcm, kCodecPcm, 0));
        EXPECT_EQ(soxAudio(pcm), soxAudio(m_source));
    }
}

TEST_F(ConvertTest, RecordThreadsConvertAtTheSameTime)
{
    // The record pipeline runs one conversion per finished record, several at once.
    std::vector<std::string> targets(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < 8; ++i) {
        targets[i] = m_dir.file("out" + std::to_string(i) + ".wav");
        threads.emplace_back([this, &targets, i] {
            EXPECT_TRUE(
                m_converter.Convert(m_source, targets[i], i % 2 ? kCodecMp3Wave : kCodecAdpcm, 0))
                << i;
        });
    }
    for (std::size_t i = 0; i < 8; ++i) {
        threads[i].join();
        EXPECT_EQ(readFile(targets[i]), readFile(targets[i % 2])) << i;
    }
}

std::vector<std::string> folderListing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every conversion fails with a reason, leaves the source as it was and leaves no target or
// temporary file behind.
TEST(BadInputTest, EveryConversionFailsCleanly)
{
    TempDir dir;
    const std::string good = dir.file("good.wav");
    writeSineWav(good, 16000, 1, 16, 1.0, 440);
    const std::string wav = readFile(good);
    std::string zeroAlign = wav, zeroRate = wav, garbage(20000, '\0');
    zeroAlign[32] = zeroAlign[33] = 0; // block alignment
    put32(zeroRate, 28, 0);            // byte rate
    std::mt19937 random(7);
    for (char& c : garbage)
        c = char(random());
    const std::pair<const char*, std::string> badFiles[] = {
        {"truncated.wav", wav.substr(0, wav.size() / 2)},
        {"header_only.wav", wav.substr(0, 30)},
        {"zero_align.wav", zeroAlign},
        {"zero_rate.wav", zeroRate},
        {"empty.wav", ""},
        {"empty.mp3", ""},
        {"garbage.mp3", garbage},
        {"garbage.wav", std::string("RIFF\x10\0\0\0WAVEjunkjunkjunk", 24)},
    };
    std::filesystem::remove(good);
    CAudioConverter converter;
    for (const auto& [name, bytes] : badFiles) {
        const std::string source = dir.file(name);
        writeFile(source, bytes);
        const auto before = folderListing(dir.path());
        for (int codec : {kCodecPcm, kCodecAdpcm, kCodecMp3Wave, kCodecGsm}) {
            SCOPED_TRACE(testing::Message() << name << " codec " << codec);
            std::string target = dir.file("out.wav");
            std::string error;
            EXPECT_FALSE(converter.Convert(source, target, codec, 0, &error));
            EXPECT_FALSE(error.empty());
            std::string same = source;
            EXPECT_FALSE(converter.Convert(source, same, codec, 0));
            EXPECT_EQ(same, source);
            EXPECT_EQ(readFile(source), bytes);
            EXPECT_EQ(folderListing(dir.path()), before);
        }
        SCOPED_TRACE(name);
        EXPECT_EQ(CAudioConverter::ConvertToPcm(source, dir.file("pcm.wav")), 0);
        EXPECT_FALSE(CAudioConverter::tiMP3WaveToPureMP3(source, dir.file("x.mp3")));
        EXPECT_EQ(folderListing(dir.path()), before);
        EXPECT_EQ(CAudioConverter::DetectCodec(source),
                  std::string(name).ends_with(".mp3") ? 4 : -1);
        std::filesystem::remove(source);
    }
    // A sound source with an unknown codec or an unwritable target.
    writeFile(good, wav);
    std::string target = dir.file("out.wav");
    EXPECT_FALSE(converter.Convert(good, target, 5, 0));
    EXPECT_FALSE(converter.Convert(good, target, -1, 0));
    EXPECT_FALSE(exists(target));
    target = dir.file("no/such/folder/out.wav");
    for (int codec : {kCodecAdpcm, kCodecMp3Wave})
        EXPECT_FALSE(converter.Convert(good, target, codec, 0));
    EXPECT_EQ(readFile(good), wav);
}

} // namespace
} // namespace tw
