// Record files: the record description, its file name and chunk, and the WAV reader/writer.

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

#include "records/record_info.h"
#include "records/riff_wave_file.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

TEST(RecordInfoTest, TextFieldsAreCutInUtf16UnitsAndZeroFilled)
{
    RecordInfo info;
    info.SetSkypeName(std::string(40, 'n'));
    EXPECT_EQ(info.SkypeName(), std::string(31, 'n'));
    EXPECT_EQ(info.skypeName[31], 0);
    // A surrogate pair that would straddle the limit is left out whole.
    info.SetSkypeName(std::string(30, 'a') + "\xF0\x9F\x98\x80");
    EXPECT_EQ(info.SkypeName(), std::string(30, 'a'));
    info.SetSkypeName("\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0"); // Cyrillic survives as UTF-16
    EXPECT_EQ(info.skypeName[0], 0x0436);
    EXPECT_EQ(info.SkypeName(), "\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0");
    EXPECT_EQ(info.skypeName[5], 0); // shorter text clears what an older one left
    // An unterminated field (hostile bytes) reads to the field's end, no further.
    std::fill(std::begin(info.fullName), std::end(info.fullName), u'z');
    EXPECT_EQ(info.FullName(), std::string(32, 'z'));
    info.TerminateTexts();
    EXPECT_EQ(info.FullName(), std::string(31, 'z'));
}

TEST(RecordInfoTest, NameTestsKeepEmailCopiesOut)
{
    // The e-mail copy test is case-sensitive: "_EM.WAV" is a record.
    for (auto [path, wav, mp3] : {std::tuple{"/a/ti1.wav", true, false},
                                  {"/a/X.WAV", true, false},
                                  {"/a/x_em.wav", false, false},
                                  {"/a/x_EM.WAV", true, false},
                                  {"/a/x.Mp3", false, true},
                                  {"/a/x_em.mp3", false, false},
                                  {"wav", false, false}}) {
        EXPECT_EQ(IsRecordWav(path), wav) << path;
        EXPECT_EQ(IsRecordMp3(path), mp3) << path;
    }
}

TEST(RecordInfoTest, FileNamesGiveTimesKindAndPartner)
{
    RecordInfo info;
    for (const char* bad :
         {"tix.wav", "ti10150010153xv.wav", "ti1 1500101530v.wav", "ti256000101530v.wav"})
        EXPECT_FALSE(RecordInfoFromFileName(bad, 2007, 7, 20, info)) << bad;
    ASSERT_TRUE(RecordInfoFromFileName("ti101500101530v.wav", 2007, 7, 20, info));
    EXPECT_EQ(info.type, RECORD_VOICEMAIL);
    EXPECT_EQ(info.origin, RECORD_ORIGIN_FILE_NAME);
    EXPECT_EQ(info.startTime, localTime(2007, 7, 20, 10, 15, 0));
    EXPECT_EQ(info.endTime - info.startTime, 30u);
    EXPECT_EQ(info.SkypeName(), "");
    // Same hour, earlier minute: not the next day, the entry simply ends before it starts.
    ASSERT_TRUE(RecordInfoFromFileName("ti105900105800v.mp3", 2007, 7, 20, info));
    EXPECT_LT(info.endTime, info.startTime);

    std::string asked;
    const FullNameLookup lookup = [&](const std::string& name) {
        asked = name;
        return std::string("Pat Person");
    };
    ASSERT_TRUE(RecordInfoFromFileName("ti101500101530c" + std::string(40, 'p') + ".wav", 2007, 7,
                                       20, info, lookup));
    EXPECT_EQ(info.type, RECORD_CONVERSATION);
    EXPECT_EQ(info.SkypeName(), std::string(31, 'p'));
    EXPECT_EQ(asked, std::string(31, 'p'));
    EXPECT_EQ(info.FullName(), "Pat Person");
    // Odd characters in a name stay as they are.
    ASSERT_TRUE(RecordInfoFromFileName("ti101500101530v+49 (30) \xC3\xA4\xE2\x82\xAC.wav", 2007, 7,
                                       20, info));
    EXPECT_EQ(info.SkypeName(), "+49 (30) \xC3\xA4\xE2\x82\xAC");
}

TEST(RecordInfoTest, EndPastMidnightIsTheNextDateEvenOnADaylightSavingDay)
{
    const std::time_t start = localTime(2007, 7, 20, 23, 59, 50);
    const std::string name = MakeRecordFileName(RECORD_CONVERSATION, start, start + 100, "a/b");
    EXPECT_EQ(name, "ti235950000130ca%2Fb.wav");
    EXPECT_EQ(RecordDateFolderName(start), "2007-07-20");
    RecordInfo info;
    ASSERT_TRUE(RecordInfoFromFileName(name, 2007, 7, 20, info));
    EXPECT_EQ(info.startTime, start);
    EXPECT_EQ(info.endTime, start + 100);
    // 2007-10-28 has 25 hours in Berlin; "midnight + 86400 s" would stay on the 28th.
    ASSERT_TRUE(RecordInfoFromFileName("ti235000001000vbob.wav", 2007, 10, 28, info));
    EXPECT_EQ(info.endTime, localTime(2007, 10, 29, 0, 10, 0));
    EXPECT_EQ(info.endTime - info.startTime, 20u * 60);
}

class RecordFileTest : public ::testing::Test
{
protected:
    RecordInfo infoFor(const std::string& path)
    {
        RecordInfo info;
        info.SetPath(path);
        info.SetSkypeName("bob");
        info.startTime = 1000;
        info.flags = RECFLAG_LOCKED;
        return info;
    }
    TempDir m_dir;
    std::string m_path = m_dir.file("a.wav");
    RecordInfo m_back;
};

TEST_F(RecordFileTest, AppendingTwiceLeavesOneChunk)
{
    writePcmWav(m_path, 100);
    const auto original = readFile(m_path);
    RecordInfo info = infoFor(m_path);
    ASSERT_TRUE(AppendRecordInfo(info));
    const auto once = readFile(m_path);
    ASSERT_EQ(once.size(), original.size() + 12 + 872);
    EXPECT_EQ(once, original + "RIFF" + u32(876) + "TWKI" + once.substr(original.size() + 12));
    info.SetAnnotation("changed");
    ASSERT_TRUE(AppendRecordInfo(info));
    EXPECT_EQ(readFile(m_path).size(), once.size());
    ASSERT_TRUE(ReadRecordInfo(m_path, m_back));
    EXPECT_EQ(m_back.Annotation(), "changed");
    // The block is the entry, with the size of the file as it stands with its chunk.
    info.size = static_cast<std::int64_t>(once.size());
    EXPECT_EQ(std::memcmp(&m_back, &info, sizeof info), 0);
}

TEST_F(RecordFileTest, OddWaveChunkGetsTheRecordAfterItsPadByte)
{
    writePcmWav(m_path, 5); // the writer pads the odd data, so the WAVE size is even
    auto bytes = readFile(m_path);
    // Make the WAVE chunk itself odd: drop the data pad byte and shrink the sizes.
    bytes.pop_back();
    put32(bytes, 4, std::uint32_t(bytes.size() - 8));
    writeFile(m_path, bytes);
    ASSERT_TRUE(AppendRecordInfo(infoFor(m_path)));
    const auto after = readFile(m_path);
    ASSERT_EQ(after.size(), bytes.size() + 1 + 12 + 872);
    EXPECT_EQ(after.substr(bytes.size(), 5), std::string("\0RIFF", 5)); // the pad byte
    EXPECT_TRUE(ReadRecordInfo(m_path, m_back));
    EXPECT_EQ(m_back.SkypeName(), "bob");
}

TEST_F(RecordFileTest, BadFilesGetNoChunkAndShortChunksAreNotRead)
{
    writeFile(m_path, "hello world!!");
    EXPECT_FALSE(AppendRecordInfo(infoFor(m_path)));
    EXPECT_EQ(readFile(m_path), "hello world!!");
    EXPECT_FALSE(AppendRecordInfo(infoFor(m_dir.file("missing.wav"))));
    EXPECT_FALSE(exists(m_dir.file("missing.wav")));
    // A WAVE chunk claiming more than the file holds is not extended with a hole.
    writePcmWav(m_path, 1000);
    const auto cut = readFile(m_path).substr(0, 200);
    writeFile(m_path, cut);
    EXPECT_FALSE(AppendRecordInfo(infoFor(m_path)));
    EXPECT_EQ(readFile(m_path), cut);

    writePcmWav(m_path, 10);
    EXPECT_FALSE(ReadRecordInfo(m_path, m_back)); // no chunk yet
    EXPECT_FALSE(ReadRecordInfo(m_dir.file("none.wav"), m_back));
    ASSERT_TRUE(AppendRecordInfo(infoFor(m_path)));
    auto bytes = readFile(m_path);
    // A chunk whose size field is short is still read when the bytes are there ...
    put32(bytes, bytes.size() - 880, 20);
    writeFile(m_path, bytes);
    EXPECT_TRUE(ReadRecordInfo(m_path, m_back));
    // ... a file that ends inside the 872 bytes is not.
    writeFile(m_path, bytes.substr(0, bytes.size() - 100));
    EXPECT_FALSE(ReadRecordInfo(m_path, m_back));
    // Hostile chunk sizes end the walk instead of looping or reading past the end.
    writeFile(m_path, "RIFF\xFF\xFF\xFF\xFFWAVERI");
    EXPECT_FALSE(ReadRecordInfo(m_path, m_back));
    EXPECT_FALSE(AppendRecordInfo(infoFor(m_path)));
}

TEST_F(RecordFileTest, WaveWriterWritesTheExactHeaderAndSizes)
{
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(8000, 1, 16);
    ASSERT_EQ(wav.Open(m_path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    std::uint32_t written = 0;
    ASSERT_EQ(wav.Write(3, "abc", &written), hr::ok);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(wav.GetSize(), 3u);
    ASSERT_EQ(wav.Close(), hr::ok);
    EXPECT_EQ(readFile(m_path), "RIFF" + u32(52) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
                                    u32(8000) + u32(16000) + u16(2) + u16(16) + "fact" + u32(4) +
                                    u32(0) + "data" + u32(3) + std::string("abc\0", 4));
}

TEST_F(RecordFileTest, WaveRoundTripThroughAnIndependentReader)
{
    std::vector<std::int16_t> samples(16000), back(16001);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i * 13 - 30000);
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(8000, 1, 16);
    ASSERT_EQ(wav.Open(m_path, &format, CRiffWaveFile::kModeWrite), hr::ok);
    // Written in odd pieces so the I/O buffer fills and flushes mid-way.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(samples.data());
    for (std::uint32_t at = 0; at < 32000; at += 7777)
        ASSERT_EQ(wav.Write(std::min<std::uint32_t>(7777, 32000 - at), raw + at, nullptr), hr::ok);
    ASSERT_EQ(wav.Close(), hr::ok);
    EXPECT_EQ(readFile(m_path).substr(56),
              std::string(reinterpret_cast<const char*>(raw), 32000)); // as written

    // Our reader sees the same data, also with the record chunk behind the WAVE chunk.
    ASSERT_TRUE(AppendRecordInfo(infoFor(m_path)));
    ASSERT_EQ(wav.Open(m_path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(wav.GetSize(), 32000u);
    EXPECT_EQ(wav.GetDurationCs(), 200u);
    EXPECT_EQ(wav.GetSampleCount(), 16000u);
    std::uint32_t got = 0;
    ASSERT_EQ(wav.Read(back.data(), 40000, &got), hr::ok);
    EXPECT_EQ(got, 32000u);
    EXPECT_EQ(std::vector(back.begin(), back.end() - 1), samples);
    ASSERT_EQ(wav.Read(back.data(), 10, &got), hr::ok);
    EXPECT_EQ(got, 0u);
    back[0] = 0;
    ASSERT_EQ(wav.ResetFile(), hr::ok);
    ASSERT_EQ(wav.Read(back.data(), 2, &got), hr::ok);
    EXPECT_EQ(back[0], samples[0]);
}

TEST_F(RecordFileTest, WaveReaderTakesForeignLayouts)
{
    // A LIST chunk before "fmt ", an odd-sized chunk, a 16-byte non-PCM format.
    writeFile(m_path, "RIFF" + u32(62) + "WAVELIST" + u32(3) + std::string("abc\0", 4) + "fmt " +
                          u32(16) + u16(3) + u16(1) + u32(8000) + u32(32000) + u16(4) + u16(32) +
                          "odd " + u32(1) + std::string("x\0", 2) + "data" + u32(4) + "wxyz");
    CRiffWaveFile in;
    ASSERT_EQ(in.Open(m_path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(in.GetFormatTag(), 3);
    EXPECT_TRUE(in.GetFormat().extra.empty());
    EXPECT_EQ(in.GetSize(), 4u);
    char data[4];
    std::uint32_t got = 0;
    ASSERT_EQ(in.Read(data, 4, &got), hr::ok);
    EXPECT_EQ(std::string(data, 4), "wxyz");
}

TEST_F(RecordFileTest, TruncatedWavesNeverReadPastTheirEnd)
{
    writePcmWav(m_path, 1000);
    const auto bytes = readFile(m_path);
    for (std::size_t size = 0; size < bytes.size(); size += size < 64 ? 1 : 97) {
        const std::string prefix = bytes.substr(0, size);
        writeFile(m_path, prefix);
        CRiffWaveFile in; // from a file and from memory by turns
        const HResult result = size % 2 ? in.Open(m_path, nullptr, CRiffWaveFile::kModeRead)
                                        : in.OpenMemory(prefix.data(), prefix.size());
        ASSERT_EQ(result, size < 56 ? hr::fail : hr::ok) << size;
        if (size < 56)
            continue;
        // The data size is what the file holds, so a whole read succeeds.
        EXPECT_EQ(in.GetSize(), size - 56);
        std::vector<std::uint8_t> data(2000);
        std::uint32_t got = 0;
        EXPECT_EQ(in.Read(data.data(), 2000, &got), hr::ok);
        EXPECT_EQ(got, size - 56);
    }
}

TEST_F(RecordFileTest, WaveResultCodesAndAFullDisk)
{
    CRiffWaveFile wav;
    char buffer[4];
    std::uint32_t got = 0;
    EXPECT_EQ(wav.Read(buffer, 4, &got), hr::notInitialized);
    EXPECT_EQ(wav.Close(), hr::notInitialized);
    EXPECT_EQ(wav.Open("", nullptr, CRiffWaveFile::kModeRead), hr::invalidArg);
    EXPECT_EQ(wav.Open(m_path, nullptr, CRiffWaveFile::kModeWrite), hr::invalidArg);
    // A file that does not exist fails at once instead of being retried for a minute.
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(wav.Open(m_dir.file("missing.wav"), nullptr, CRiffWaveFile::kModeRead), hr::fail);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(wav.Open(m_dir.path(), nullptr, CRiffWaveFile::kModeRead), hr::fail);

    writePcmWav(m_path, 8);
    const auto image = readFile(m_path);
    ASSERT_EQ(wav.OpenMemory(image.data(), image.size()), hr::ok);
    EXPECT_EQ(wav.GetSize(), 8u);
    EXPECT_EQ(wav.Read(nullptr, 4, &got), hr::invalidArg);
    EXPECT_EQ(wav.Write(4, "abcd", &got), hr::notImpl);
    EXPECT_EQ(wav.Close(), hr::ok);

    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    ASSERT_EQ(wav.Open("/dev/full", &format, CRiffWaveFile::kModeWrite), hr::ok);
    std::vector<std::uint8_t> data(200000);
    EXPECT_EQ(wav.Write(std::uint32_t(data.size()), data.data(), nullptr), hr::fail);
    EXPECT_EQ(wav.Close(), hr::fail);
}

} // namespace
} // namespace tw
