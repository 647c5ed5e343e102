#include <gtest/gtest.h>

#include "records/wave_append.h"
#include "tests/records/audio/audio_test_util.h"

namespace tw {
namespace {

using namespace tw::test;

TEST(AppendWaveTest, JoinsTwoSecondsAndOneSecondUnderTheFirstName)
{
    TempDir dir;
    std::string first = dir.file("greeting.wav");
    const std::string second = dir.file("beep.wav");
    writeSineWav(first, 16000, 1, 16, 2.0, 300);
    writeSineWav(second, 16000, 1, 16, 1.0, 1000);
    const std::string firstData = parseWav(first).data;
    const std::string secondData = parseWav(second).data;

    std::string error;
    ASSERT_TRUE(AppendWave(first, second, false, &error)) << error;
    EXPECT_EQ(first, dir.file("greeting.wav"));
    EXPECT_NEAR(soxDuration(first), 3.0, 0.001);
    EXPECT_EQ(parseWav(first).data, firstData + secondData);
    EXPECT_FALSE(exists(dir.file("greeting_4.wav")));
    EXPECT_TRUE(exists(second));

    ASSERT_TRUE(AppendWave(first, second, true));
    EXPECT_NEAR(soxDuration(first), 4.0, 0.001);
    EXPECT_FALSE(exists(second));
}

TEST(AppendWaveTest, RefusesDifferentFormatsLeavingBothFiles)
{
    TempDir dir;
    const std::string second = dir.file("b.wav");
    writeSineWav(second, 16000, 1, 16, 1.0, 1000);
    const struct
    {
        int rate, channels, bits;
    } others[] = {{16000, 2, 16}, {8000, 1, 16}, {16000, 1, 8}};
    for (const auto& o : others) {
        SCOPED_TRACE(testing::Message() << o.rate << "/" << o.channels << "/" << o.bits);
        std::string first = dir.file("a.wav");
        writeSineWav(first, o.rate, o.channels, o.bits, 2.0, 300);
        const std::string firstBytes = readBytes(first);
        const std::string secondBytes = readBytes(second);
        std::string error;
        EXPECT_FALSE(AppendWave(first, second, true, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(first, dir.file("a.wav"));
        EXPECT_EQ(readBytes(first), firstBytes);
        EXPECT_EQ(readBytes(second), secondBytes);
        EXPECT_FALSE(exists(dir.file("a_4.wav")));
    }
}

TEST(AppendWaveTest, MissingOrDamagedInputFails)
{
    TempDir dir;
    std::string first = dir.file("a.wav");
    writeSineWav(first, 16000, 1, 16, 1.0, 300);
    const std::string firstBytes = readBytes(first);
    EXPECT_FALSE(AppendWave(first, dir.file("missing.wav"), true));
    writeBytes(dir.file("text.wav"), "not a wave file at all");
    EXPECT_FALSE(AppendWave(first, dir.file("text.wav"), true));
    EXPECT_TRUE(exists(dir.file("text.wav")));
    EXPECT_EQ(readBytes(first), firstBytes);
    EXPECT_FALSE(exists(dir.file("a_4.wav")));
}

TEST(AppendWaveTest, JoiningAFileWithItselfKeepsTheResult)
{
    TempDir dir;
    std::string first = dir.file("a.wav");
    writeSineWav(first, 16000, 1, 16, 1.0, 300);
    ASSERT_TRUE(AppendWave(first, first, true));
    EXPECT_NEAR(soxDuration(first), 2.0, 0.001);
}

} // namespace
} // namespace tw
