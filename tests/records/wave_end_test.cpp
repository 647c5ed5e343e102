// Where a WAV's audio ends when its RIFF size field is wrong: the record chunk lands behind
// the audio and never on it, and every reader sees the same audio as sox before and after.

#include <gtest/gtest.h>

#include "records/riff_wave_file.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

class WaveEndTest : public ::testing::Test
{
protected:
    /// A one-second record file as our writer leaves it, with the RIFF size field replaced.
    std::string recordWithRiffSize(std::uint32_t riffSize)
    {
        writePcmWav(m_path, 32000);
        std::string bytes = readFile(m_path);
        put32(bytes, 4, riffSize);
        writeFile(m_path, bytes);
        return bytes;
    }

    RecordInfo info() const
    {
        RecordInfo r;
        r.SetPath(m_path);
        r.type = RECORD_VOICEMAIL;
        r.startTime = 1184914800;
        r.endTime = r.startTime + 1;
        return r;
    }

    /// The chunk is behind the audio, the audio unchanged for sox and for CRiffWaveFile.
    void expectChunkBehindAudio(const std::string& before, const std::string& what)
    {
        const std::string after = readFile(m_path);
        ASSERT_EQ(after.size(), before.size() + 884) << what;
        EXPECT_EQ(after.substr(8, before.size() - 8), before.substr(8)) << what;
        EXPECT_EQ(after.substr(before.size(), 4), "RIFF") << what;
        EXPECT_EQ(le32(after, 4), before.size() - 8) << what; // repaired from the chunks
        RecordInfo back;
        ASSERT_TRUE(ReadRecordInfo(m_path, back)) << what;
        EXPECT_EQ(back.startTime, 1184914800u) << what;
        EXPECT_EQ(back.size, std::int64_t(after.size())) << what;
        CRiffWaveFile wav;
        ASSERT_EQ(wav.Open(m_path, nullptr, CRiffWaveFile::kModeRead), hr::ok) << what;
        EXPECT_EQ(wav.GetSize(), 32000u) << what;
    }

    TempDir m_dir;
    std::string m_path = m_dir.file("ti090000090001vbob.wav");
};

TEST_F(WaveEndTest, UnfinishedOrStaleRiffSizeGetsTheChunkBehindTheAudio)
{
    for (const std::uint32_t riffSize : {0u, 36u, 48u, 0xFFFFFFF0u}) {
        const std::string what = "RIFF size " + std::to_string(riffSize);
        const std::string before = recordWithRiffSize(riffSize);
        const std::string audio = soxAudio(m_path);
        ASSERT_EQ(audio.size(), 32000u) << what;
        ASSERT_TRUE(AppendRecordInfo(info())) << what;
        expectChunkBehindAudio(before, what);
        EXPECT_EQ(soxAudio(m_path), audio) << what;
        // Again over the chunk already there: one chunk, the same length.
        ASSERT_TRUE(AppendRecordInfo(info())) << what;
        EXPECT_EQ(readFile(m_path).size(), before.size() + 884) << what;
    }
}

TEST_F(WaveEndTest, ARiffSizeSwallowingTheChunkIsNotBelieved)
{
    writePcmWav(m_path, 32000);
    const std::string audio = soxAudio(m_path);
    ASSERT_TRUE(AppendRecordInfo(info()));
    std::string bytes = readFile(m_path);
    put32(bytes, 4, std::uint32_t(bytes.size() - 8)); // the chunk inside the WAVE chunk
    writeFile(m_path, bytes);
    RecordInfo changed = info();
    changed.SetAnnotation("again");
    ASSERT_TRUE(AppendRecordInfo(changed));
    const std::string after = readFile(m_path);
    EXPECT_EQ(after.size(), bytes.size()); // still one chunk, in its place
    EXPECT_EQ(le32(after, 4), bytes.size() - 884 - 8);
    RecordInfo back;
    ASSERT_TRUE(ReadRecordInfo(m_path, back));
    EXPECT_EQ(back.Annotation(), "again");
    CRiffWaveFile wav;
    ASSERT_EQ(wav.Open(m_path, nullptr, CRiffWaveFile::kModeRead), hr::ok);
    EXPECT_EQ(wav.GetSize(), 32000u);
    EXPECT_EQ(soxAudio(m_path), audio);
}

TEST_F(WaveEndTest, UnknownBytesBehindTheAudioAreNeverWrittenOver)
{
    // A writer that stopped before its sizes: the audio runs on behind an empty data chunk.
    writePcmWav(m_path, 32000);
    std::string bytes = readFile(m_path);
    put32(bytes, 4, 0);
    put32(bytes, 52, 0);
    writeFile(m_path, bytes);
    EXPECT_FALSE(AppendRecordInfo(info()));
    EXPECT_EQ(readFile(m_path), bytes);
    // A data chunk cut off by the end of the file keeps no chunk behind it either.
    writePcmWav(m_path, 32000);
    bytes = readFile(m_path).substr(0, 20000);
    writeFile(m_path, bytes);
    EXPECT_FALSE(AppendRecordInfo(info()));
    EXPECT_EQ(readFile(m_path), bytes);
}

TEST_F(WaveEndTest, TheWriterKeepsItsSizesCurrentOnDisk)
{
    // A writer that never reaches Close (a crash) leaves a file whose header is true for
    // everything it flushed.
    {
        CRiffWaveFile wav;
        const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
        ASSERT_EQ(wav.Open(m_path, &format, CRiffWaveFile::kModeWrite), hr::ok);
        const std::string data(200000, '\x11');
        ASSERT_EQ(wav.Write(std::uint32_t(data.size()), data.data(), nullptr), hr::ok);
        const std::string onDisk = readFile(m_path);
        ASSERT_GT(onDisk.size(), 56u);
        EXPECT_EQ(le32(onDisk, 4), onDisk.size() - 8);
        EXPECT_EQ(le32(onDisk, 52), onDisk.size() - 56);
        EXPECT_EQ(soxAudio(m_path).size(), onDisk.size() - 56);
    }
    EXPECT_EQ(soxAudio(m_path).size(), 200000u);
}

} // namespace
} // namespace tw
