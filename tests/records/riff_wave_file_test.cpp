#include <chrono>
#include <cstring>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "records/record_info.h"
#include "records/riff_wave_file.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using test::readFile;
using test::writeFile;

std::vector<std::uint8_t> bytesOf(std::initializer_list<std::string_view> parts)
{
    std::vector<std::uint8_t> out;
    for (auto part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::string le32(std::uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

class RiffWaveFileTest : public ::testing::Test
{
protected:
    test::TempFolder m_dir;
};

TEST_F(RiffWaveFileTest, WritesTheExactHeaderAndSizes)
{
    const std::string path = m_dir / "pcm.wav";
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(8000, 1, 16);
    ASSERT_EQ(wav.Open(path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    std::uint32_t written = 0;
    ASSERT_EQ(wav.Write(3, "abc", &written), hr::ok);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(wav.GetSize(), 3u);
    ASSERT_EQ(wav.Close(), hr::ok);
    const std::string fmt = std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(16000) +
                            std::string("\x02\x00\x10\x00", 4);
    const auto expected =
        bytesOf({"RIFF", le32(4 + 24 + 12 + 8 + 4), "WAVE", "fmt ", le32(16), fmt, "fact", le32(4),
                 le32(0), "data", le32(3), "abc", std::string(1, '\0')});
    EXPECT_EQ(readFile(path), expected);
}

TEST_F(RiffWaveFileTest, NonPcmFormatKeepsItsExtraBytes)
{
    const std::string path = m_dir / "mp3.wav";
    WaveFormat format;
    format.formatTag = 0x55;
    format.samplesPerSec = 16000;
    format.avgBytesPerSec = 3000;
    format.blockAlign = 1;
    format.bitsPerSample = 0;
    format.extra = {1, 0, 2, 0, 0, 0, 3, 0, 1, 0, 0x71, 0x05};
    CRiffWaveFile wav;
    ASSERT_EQ(wav.Open(path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    ASSERT_EQ(wav.Write(4, "data", nullptr), hr::ok);
    ASSERT_EQ(wav.Close(), hr::ok);
    const auto bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 12u + 8 + 30 + 12 + 8 + 4);
    EXPECT_EQ(bytes[16], 30); // fmt size: 18 + 12
    EXPECT_EQ(std::memcmp(bytes.data() + 50, "fact", 4), 0);

    CRiffWaveFile in;
    ASSERT_EQ(in.Open(path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(in.GetFormatTag(), 0x55);
    EXPECT_EQ(in.GetFormat().extra, format.extra);
    EXPECT_EQ(in.GetSize(), 4u);
}

TEST_F(RiffWaveFileTest, RoundTripThroughAnIndependentReader)
{
    const std::string path = m_dir / "ramp.wav";
    std::vector<std::int16_t> samples(16000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i * 13 - 30000);
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    ASSERT_EQ(wav.Open(path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    // Written in odd pieces so the I/O buffer fills and flushes mid-way.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(samples.data());
    for (std::uint32_t at = 0; at < 32000;) {
        const std::uint32_t n = std::min<std::uint32_t>(7777, 32000 - at);
        ASSERT_EQ(wav.Write(n, raw + at, nullptr), hr::ok);
        at += n;
    }
    ASSERT_EQ(wav.Close(), hr::ok);

    SF_INFO sfInfo{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &sfInfo);
    ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sfInfo.samplerate, 16000);
    EXPECT_EQ(sfInfo.channels, 1);
    EXPECT_EQ(sfInfo.frames, 16000);
    std::vector<std::int16_t> back(16000);
    EXPECT_EQ(sf_read_short(sf, back.data(), 16000), 16000);
    sf_close(sf);
    EXPECT_EQ(back, samples);

    // Our reader sees the same data, also with the record chunk behind the WAVE chunk.
    RecordInfo info;
    info.SetPath(path);
    ASSERT_TRUE(AppendRecordInfo(info));
    CRiffWaveFile in;
    ASSERT_EQ(in.Open(path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(in.GetSize(), 32000u);
    EXPECT_EQ(in.GetDurationCs(), 100u);
    EXPECT_EQ(in.GetSampleCount(), 16000u);
    std::vector<std::int16_t> ours(16001);
    std::uint32_t got = 0;
    ASSERT_EQ(in.Read(ours.data(), 40000, &got), hr::ok);
    EXPECT_EQ(got, 32000u);
    ours.resize(16000);
    EXPECT_EQ(ours, samples);
    ASSERT_EQ(in.Read(ours.data(), 10, &got), hr::ok);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(in.ResetFile(), hr::ok);
    std::int16_t first = 0;
    ASSERT_EQ(in.Read(&first, 2, &got), hr::ok);
    EXPECT_EQ(first, samples[0]);
}

TEST_F(RiffWaveFileTest, DurationOfAnEightKilohertzSecond)
{
    const std::string path = m_dir / "8k.wav";
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(8000, 1, 16);
    ASSERT_EQ(wav.Open(path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    std::vector<std::uint8_t> data(16000);
    ASSERT_EQ(wav.Write(16000, data.data(), nullptr), hr::ok);
    ASSERT_EQ(wav.Close(), hr::ok);
    ASSERT_EQ(wav.Open(path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(wav.GetDurationCs(), 100u);
    EXPECT_EQ(wav.GetSampleCount(), 8000u);
    wav.Close();
    EXPECT_EQ(wav.GetDurationCs(), 0u);
}

TEST_F(RiffWaveFileTest, ReadsForeignLayouts)
{
    // A LIST chunk before "fmt ", an odd-sized chunk, a 16-byte non-PCM format.
    const std::string fmt = std::string("\x03\x00\x01\x00", 4) + le32(8000) + le32(32000) +
                            std::string("\x04\x00\x20\x00", 4);
    const auto bytes = bytesOf({"RIFF", le32(4 + 12 + 24 + 10 + 12), "WAVE", "LIST", le32(3),
                                std::string("abc\0", 4), "fmt ", le32(16), fmt, "odd ", le32(1),
                                std::string("x\0", 2), "data", le32(4), "wxyz"});
    const std::string path = m_dir / "foreign.wav";
    writeFile(path, bytes);
    CRiffWaveFile in;
    ASSERT_EQ(in.Open(path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(in.GetFormatTag(), 3);
    EXPECT_TRUE(in.GetFormat().extra.empty());
    EXPECT_EQ(in.GetSize(), 4u);
    char data[4];
    std::uint32_t got = 0;
    ASSERT_EQ(in.Read(data, 4, &got), hr::ok);
    EXPECT_EQ(std::string(data, 4), "wxyz");
}

TEST_F(RiffWaveFileTest, TruncatedFilesNeverReadPastTheirEnd)
{
    const std::string good = m_dir / "good.wav";
    test::writePcmWav(good, 1000);
    const auto bytes = readFile(good);
    const std::string path = m_dir / "cut.wav";
    for (std::size_t size = 0; size < bytes.size(); size += size < 64 ? 1 : 97) {
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + size);
        CRiffWaveFile in;
        HResult result;
        if (size % 2) {
            writeFile(path, prefix);
            result = in.Open(path, nullptr, CRiffWaveFile::kModeRead);
        } else {
            result = in.OpenMemory(prefix.data(), prefix.size());
        }
        if (size < 56) {
            EXPECT_EQ(result, hr::fail) << size;
            continue;
        }
        ASSERT_EQ(result, hr::ok) << size;
        // The data size is what the file holds, so a whole read succeeds.
        EXPECT_EQ(in.GetSize(), size - 56);
        std::vector<std::uint8_t> data(2000);
        std::uint32_t got = 0;
        EXPECT_EQ(in.Read(data.data(), 2000, &got), hr::ok);
        EXPECT_EQ(got, size - 56);
    }
}

TEST_F(RiffWaveFileTest, ResultCodes)
{
    CRiffWaveFile wav;
    char buffer[4];
    std::uint32_t got = 0;
    EXPECT_EQ(wav.Read(buffer, 4, &got), hr::notInitialized);
    EXPECT_EQ(wav.Close(), hr::notInitialized);
    EXPECT_EQ(wav.Open("", nullptr, CRiffWaveFile::kModeRead), hr::invalidArg);
    EXPECT_EQ(wav.Open(m_dir / "x.wav", nullptr, CRiffWaveFile::kModeWrite), hr::invalidArg);

    // A file that does not exist fails at once instead of being retried for a minute.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(wav.Open(m_dir / "missing.wav", nullptr, CRiffWaveFile::kModeRead), hr::fail);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(wav.Open(m_dir.path(), nullptr, CRiffWaveFile::kModeRead), hr::fail);

    const std::string path = m_dir / "a.wav";
    test::writePcmWav(path, 8);
    const auto image = readFile(path);
    ASSERT_EQ(wav.OpenMemory(image.data(), image.size()), hr::ok);
    EXPECT_EQ(wav.GetSize(), 8u);
    EXPECT_EQ(wav.Read(nullptr, 4, &got), hr::invalidArg);
    EXPECT_EQ(wav.Write(4, "abcd", &got), hr::notImpl);
    EXPECT_EQ(wav.Close(), hr::ok);
}

TEST_F(RiffWaveFileTest, AFullDiskIsReported)
{
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    ASSERT_EQ(wav.Open("/dev/full", &format, CRiffWaveFile::kModeWrite), hr::ok);
    std::vector<std::uint8_t> data(200000);
    const HResult written =
        wav.Write(static_cast<std::uint32_t>(data.size()), data.data(), nullptr);
    const HResult closed = wav.Close();
    EXPECT_EQ(written, hr::fail);
    EXPECT_EQ(closed, hr::fail);
}

} // namespace
} // namespace tw
