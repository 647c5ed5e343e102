#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_util.h"
#include "skype/record_finish_audio.h"
#include "wav_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::concat;
using test::ramp;
using test::readWav;
using test::writeWav;

class FinishAudio : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("tw_finish_audio_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    std::size_t fileCount() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), {}));
    }

    fs::path m_dir;
};

TEST_F(FinishAudio, CutDropsExactlyTheGreeting)
{
    // 1.25 s of greeting (20 000 samples) then the caller; sizes cross the 8 KiB buffer.
    const auto greeting = ramp(20000, 0);
    const auto caller = ramp(30001, 7);
    ASSERT_TRUE(writeWav(path("vm.wav"), concat(greeting, caller)));
    EXPECT_EQ(CutGreeting(path("vm.wav"), 125), CutResult::Done);
    const auto out = readWav(path("vm.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.samples, caller);
    EXPECT_EQ(out.format.channels, 1);
    EXPECT_EQ(fileCount(), 1u); // no "_5" left behind
}

TEST_F(FinishAudio, CutRefusesWhatHoldsNoMessage)
{
    ASSERT_TRUE(writeWav(path("short.wav"), ramp(7999, 0))); // 0.49 s
    EXPECT_EQ(CutGreeting(path("short.wav"), 50), CutResult::Unusable);
    ASSERT_TRUE(writeWav(path("stereo.wav"), ramp(64000, 0), 2));
    EXPECT_EQ(CutGreeting(path("stereo.wav"), 50), CutResult::Unusable);
    EXPECT_EQ(CutGreeting(path("missing.wav"), 50), CutResult::Unreadable);
    ASSERT_TRUE(writeWav(path("exact.wav"), ramp(8000, 0))); // exactly the greeting
    EXPECT_EQ(CutGreeting(path("exact.wav"), 50), CutResult::Done);
    EXPECT_TRUE(readWav(path("exact.wav")).samples.empty());
}

TEST_F(FinishAudio, TwoChannelMixPutsOthersLeftMicrophoneRightAndPadsTheShorterSide)
{
    const auto others = ramp(5000, 100);
    const auto mic = ramp(3000, -20000);
    ASSERT_TRUE(writeWav(path("o.wav"), others));
    ASSERT_TRUE(writeWav(path("m.wav"), mic));
    ASSERT_TRUE(MixInto(path("o.wav"), path("m.wav"), true));
    const auto out = readWav(path("o.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.channels, 2);
    EXPECT_EQ(out.format.blockAlign, 4);
    EXPECT_EQ(out.format.avgBytesPerSec, 64000u);
    ASSERT_EQ(out.samples.size(), 10000u);
    for (std::size_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(out.samples[2 * i], others[i]) << i;
        ASSERT_EQ(out.samples[2 * i + 1], i < mic.size() ? mic[i] : 0) << i;
    }
    EXPECT_TRUE(FileExists(path("m.wav"))); // the caller deletes it
}

TEST_F(FinishAudio, OneChannelMixSumsWithClipping)
{
    ASSERT_TRUE(writeWav(path("o.wav"), {30000, -30000, 5, 1, 2}));
    ASSERT_TRUE(writeWav(path("m.wav"), {10000, -10000, -5, 0, 0, 0, 9}));
    ASSERT_TRUE(MixInto(path("o.wav"), path("m.wav"), false));
    const auto out = readWav(path("o.wav"));
    EXPECT_EQ(out.format.channels, 1);
    EXPECT_EQ(out.samples, (std::vector<std::int16_t>{32767, -32768, 0, 1, 2, 0, 9}));
}

TEST_F(FinishAudio, FailedMixLeavesBothFilesAsTheyWere)
{
    ASSERT_TRUE(writeWav(path("o.wav"), ramp(100, 0)));
    ASSERT_TRUE(writeWav(path("m.wav"), ramp(100, 0), 2));
    EXPECT_FALSE(MixInto(path("o.wav"), path("m.wav"), true));
    EXPECT_EQ(readWav(path("o.wav")).samples, ramp(100, 0));
    EXPECT_FALSE(MixInto(path("o.wav"), path("gone.wav"), true));
    EXPECT_EQ(readWav(path("o.wav")).samples, ramp(100, 0));
    EXPECT_EQ(fileCount(), 2u);
}

} // namespace
} // namespace tw
