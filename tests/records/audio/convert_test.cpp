// Conversions through each codec, checked with readers that are not ours (sox, libsndfile
// on the plain file, a hand-written header parser).

#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "records/audio_converter.h"
#include "tests/records/audio/audio_test_util.h"

namespace tw {
namespace {

using namespace tw::test;

constexpr double kSeconds = 20.0; // long enough that an MP3's encoder delay is well below 1%

class ConvertTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_source = m_dir.file("ti101500101520vbob.wav");
        writeSineWav(m_source, 16000, 1, 16, kSeconds, 440);
        m_sourceBytes = readBytes(m_source);
    }

    TempDir m_dir;
    std::string m_source;
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
        // The decoded audio is still the tone.
        const Decoded d = decodeWithSndfile(target);
        ASSERT_TRUE(d.ok);
        EXPECT_NEAR(zeroCrossingFrequency(d.samples, d.rate), 440, 2);
    }
    EXPECT_EQ(readBytes(m_source), m_sourceBytes);
}

TEST_F(ConvertTest, CompressedWavConvertsBackToPcm)
{
    std::string adpcm = m_dir.file("adpcm.wav");
    ASSERT_TRUE(m_converter.Convert(m_source, adpcm, kCodecAdpcm, 0));
    std::string pcm = m_dir.file("pcm.wav");
    ASSERT_TRUE(m_converter.Convert(adpcm, pcm, kCodecPcm, 0));
    const WavHeader h = parseWav(pcm);
    EXPECT_EQ(h.tag, 1);
    EXPECT_EQ(h.bits, 16);
    EXPECT_EQ(h.rate, 16000u);
    EXPECT_NEAR(soxDuration(pcm), kSeconds, kSeconds * 0.01);
    EXPECT_EQ(CAudioConverter::ConvertToPcm(adpcm, m_dir.file("pcm2.wav")), 1);
    EXPECT_EQ(readBytes(m_dir.file("pcm2.wav")), readBytes(pcm));
}

TEST_F(ConvertTest, Mp3WaveCarriesTheStandardFormatAndUnwrapsToItsDataChunk)
{
    std::string target = m_dir.file("mp3.wav");
    std::string error;
    ASSERT_TRUE(m_converter.Convert(m_source, target, kCodecMp3Wave, 0, &error)) << error;
    const WavHeader h = parseWav(target);
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.tag, 0x55);
    EXPECT_EQ(h.channels, 1);
    EXPECT_EQ(h.rate, 16000u);
    EXPECT_EQ(h.byteRate, 4000u); // 32 kbit/s constant
    EXPECT_EQ(h.blockAlign, 1);
    ASSERT_EQ(h.extra.size(), 12u);
    EXPECT_EQ(h.extra[0] | h.extra[1] << 8, 1);   // MPEG
    EXPECT_EQ(h.extra[6] | h.extra[7] << 8, 144); // bytes per frame at 32 kbit/s, 16 kHz
    EXPECT_EQ(h.data.size() % 144, 0u);
    EXPECT_NEAR(double(h.data.size()) / h.byteRate, kSeconds, kSeconds * 0.01);
    EXPECT_EQ(CAudioConverter::DetectCodec(target), kCodecMp3Wave);

    const std::string mp3 = m_dir.file("ti101500101520vbob.mp3");
    ASSERT_TRUE(CAudioConverter::tiMP3WaveToPureMP3(target, mp3, &error)) << error;
    EXPECT_EQ(readBytes(mp3), h.data);
    const Decoded d = decodeWithSndfile(mp3);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rate, 16000);
    EXPECT_NEAR(d.seconds(), kSeconds, kSeconds * 0.01);
    EXPECT_NEAR(zeroCrossingFrequency(d.samples, d.rate), 440, 2);
}

TEST_F(ConvertTest, UnwrapCopiesWholeBuffersAndOddRemainders)
{
    for (std::size_t size : {std::size_t(16384), std::size_t(8193), std::size_t(1)}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            data[i] = char(i * 7 + 3);
        const std::string wav = m_dir.file("frames.wav");
        // A hand-made MPEG Layer-3 WAV header around arbitrary bytes.
        std::string s = "RIFF____WAVEfmt ";
        const unsigned char fmt[] = {30,   0,    0, 0, 0x55, 0, 1, 0, 0x80, 0x3E, 0, 0,
                                     0xA0, 0x0F, 0, 0, 1,    0, 0, 0, 12,   0,    1, 0,
                                     2,    0,    0, 0, 144,  0, 1, 0, 0x51, 0x04};
        s.append(reinterpret_cast<const char*>(fmt), sizeof fmt);
        s += "data";
        for (int i = 0; i < 4; ++i)
            s.push_back(char((size >> (8 * i)) & 0xFF));
        s += data;
        if (size & 1)
            s.push_back('\0');
        const std::uint32_t riff = std::uint32_t(s.size() - 8);
        for (int i = 0; i < 4; ++i)
            s[4 + i] = char((riff >> (8 * i)) & 0xFF);
        writeBytes(wav, s);
        appendTwkiChunk(wav);
        ASSERT_TRUE(CAudioConverter::tiMP3WaveToPureMP3(wav, m_dir.file("frames.mp3")));
        EXPECT_EQ(readBytes(m_dir.file("frames.mp3")), data);
    }
}

TEST_F(ConvertTest, InPlaceLeavesOneFileInTheNewCodecAndNoUnderscoreOne)
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
}

TEST_F(ConvertTest, SourceAlreadyInTheCodecIsLeftAloneOrCopied)
{
    std::string same = m_source;
    ASSERT_TRUE(m_converter.Convert(m_source, same, kCodecPcm, 0));
    EXPECT_EQ(readBytes(m_source), m_sourceBytes);
    std::string copy = m_dir.file("copy.wav");
    writeBytes(copy, "old content");
    ASSERT_TRUE(m_converter.Convert(m_source, copy, kCodecPcm, 0));
    EXPECT_EQ(readBytes(copy), m_sourceBytes);
}

TEST_F(ConvertTest, RecordWithDescriptionChunkConverts)
{
    // Every WAV record carries a "TWKI" chunk behind its WAVE chunk, which libsndfile
    // alone refuses.
    appendTwkiChunk(m_source);
    for (int codec : {kCodecAdpcm, kCodecMp3Wave, kCodecGsm}) {
        SCOPED_TRACE(codec);
        std::string target = m_dir.file("twki" + std::to_string(codec) + ".wav");
        std::string error;
        ASSERT_TRUE(m_converter.Convert(m_source, target, codec, 0, &error)) << error;
        EXPECT_EQ(CAudioConverter::DetectCodec(target), codec);
    }
}

TEST_F(ConvertTest, ConvertToPcmReadsFlacOggAndStereoAtTheirOwnRate)
{
    // FLAC and Ogg made by sox, an independent writer.
    const std::string stereo = m_dir.file("stereo.wav");
    writeSineWav(stereo, 44100, 2, 16, 2.0, 1000);
    for (const char* ext : {"flac", "ogg"}) {
        SCOPED_TRACE(ext);
        const std::string encoded = m_dir.file(std::string("in.") + ext);
        ASSERT_EQ(std::system(("sox '" + stereo + "' '" + encoded + "'").c_str()), 0);
        const std::string pcm = m_dir.file(std::string("pcm_") + ext + ".wav");
        ASSERT_EQ(CAudioConverter::ConvertToPcm(encoded, pcm), 1);
        const WavHeader h = parseWav(pcm);
        EXPECT_EQ(h.tag, 1);
        EXPECT_EQ(h.channels, 2);
        EXPECT_EQ(h.rate, 44100u);
        EXPECT_NEAR(soxDuration(pcm), 2.0, 0.02);
    }
    EXPECT_EQ(CAudioConverter::ConvertToPcm(stereo, stereo), -1);
}

TEST(DetectCodecTest, NamesAndTags)
{
    TempDir dir;
    EXPECT_EQ(CAudioConverter::DetectCodec(dir.file("missing.wav")), -1);
    // A record MP3 is recognised by its name; an e-mail copy is not a record.
    writeBytes(dir.file("a.mp3"), "ID3");
    EXPECT_EQ(CAudioConverter::DetectCodec(dir.file("a.mp3")), kCodecLame);
    EXPECT_EQ(CAudioConverter::DetectCodec(dir.file("a_em.mp3")), -1);
    // A float WAV (tag 3) is no codec of ours.
    const std::string floatWav = dir.file("float.wav");
    writeSineWav(dir.file("int.wav"), 16000, 1, 16, 0.1, 440);
    ASSERT_EQ(
        std::system(("sox '" + dir.file("int.wav") + "' -e floating-point -b 32 '" + floatWav + "'")
                        .c_str()),
        0);
    EXPECT_EQ(CAudioConverter::DetectCodec(floatWav), -1);
    EXPECT_EQ(CAudioConverter::DetectCodec(dir.file("int.wav")), kCodecPcm);
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST(ConcurrentConvertTest, RecordThreadsConvertAtTheSameTime)
{
    // The record pipeline runs one conversion per finished record, several at once.
    test::TempDir dir;
    const std::string source = dir.file("source.wav");
    test::writeSineWav(source, 16000, 1, 16, 3.0, 440);
    const CAudioConverter converter;
    std::vector<std::thread> threads;
    std::vector<int> ok(8, 0);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            std::string target = dir.file("out" + std::to_string(i) + ".wav");
            ok[std::size_t(i)] =
                converter.Convert(source, target, i % 2 ? kCodecMp3Wave : kCodecAdpcm, 0);
        });
    }
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(ok[std::size_t(i)]) << i;
        EXPECT_EQ(test::readBytes(dir.file("out" + std::to_string(i) + ".wav")),
                  test::readBytes(dir.file(std::string("out") + (i % 2 ? "1" : "0") + ".wav")))
            << i;
    }
}

} // namespace
} // namespace tw
