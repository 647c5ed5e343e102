#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "mainframe/greetings.h"
#include "tests/records/audio/audio_test_util.h"

namespace tw {
namespace {

using namespace tw::test;

const std::string kShipped = std::string(TW_SOURCE_DIR) + "/data/greetings";

void writeList(const TempDir& dir, const std::string& text)
{
    writeBytes(dir.file(kGreetingListFile), text);
}

TEST(GreetingListTest, LooksUpNamesAndFilesWithFallBackToTheFirst)
{
    TempDir dir;
    writeList(dir, "[Greeting]\nnNumOfGreeting=3\nName1=One\nFile1=one.wav\nName2=Two\n"
                   "File2=two.wav\nName3=Three\nFile3=three.wav\n");
    EXPECT_EQ(GetGreetingCount(dir.path()), 3);
    std::string name, file;
    GetGreeting(dir.path(), 2, &name, &file);
    EXPECT_EQ(name, "Two");
    EXPECT_EQ(file, dir.file("two.wav"));
    for (int index : {7, 4, 0, -1}) {
        GetGreeting(dir.path(), index, &name, &file);
        EXPECT_EQ(name, "One") << index;
        EXPECT_EQ(file, dir.file("one.wav")) << index;
    }
    GetGreeting(dir.path(), 3, nullptr, &file);
    EXPECT_EQ(file, dir.file("three.wav"));
    GetGreeting(dir.path(), 3, &name, nullptr);
    EXPECT_EQ(name, "Three");
}

TEST(GreetingListTest, EmptyOrMissingListGivesNoNameAndTheFolder)
{
    TempDir dir;
    EXPECT_EQ(GetGreetingCount(dir.path()), 0);
    std::string name = "stale", file = "stale";
    GetGreeting(dir.path(), 1, &name, &file);
    EXPECT_EQ(name, "");
    EXPECT_EQ(file, dir.path());
    writeList(dir, "[Greeting]\nnNumOfGreeting=2\nName1=Only a name\n");
    GetGreeting(dir.path(), 1, &name, &file);
    EXPECT_EQ(name, "Only a name");
    EXPECT_EQ(file, dir.path()); // no File1: the folder, which the Skype link ignores
    GetGreeting(dir.path(), 2, &name, &file);
    EXPECT_EQ(name, "");
}

TEST(GreetingListTest, LookupFitsTheSettingsLoader)
{
    TempDir dir;
    CSettings::GreetingLookup lookup = MakeGreetingLookup(dir.path());
    std::string name, file;
    EXPECT_FALSE(lookup(1, name, file));
    writeList(dir, "[Greeting]\nnNumOfGreeting=1\nName1=Hello\nFile1=hello.wav\n");
    EXPECT_TRUE(lookup(5, name, file));
    EXPECT_EQ(name, "Hello");
    EXPECT_EQ(file, dir.file("hello.wav"));
}

TEST(ShippedGreetingsTest, ListNamesGreetingFilesInTheGreetingFormat)
{
    const int count = GetGreetingCount(kShipped);
    ASSERT_GE(count, 1);
    std::vector<std::string> files{kShipped + "/" + kBeepFile};
    for (int i = 1; i <= count; ++i) {
        std::string name, file;
        GetGreeting(kShipped, i, &name, &file);
        EXPECT_FALSE(name.empty()) << i;
        files.push_back(file);
    }
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        const WavHeader h = parseWav(file);
        ASSERT_TRUE(h.ok);
        EXPECT_EQ(h.tag, 1);
        EXPECT_EQ(h.rate, 16000u);
        EXPECT_EQ(h.channels, 1);
        EXPECT_EQ(h.bits, 16);
        const double seconds = double(h.data.size()) / 32000;
        EXPECT_GT(seconds, 0.1);
        EXPECT_LT(seconds, 10.0);
    }
}

TEST(ShippedGreetingsTest, InstalledWhereMissingAndNeverOverwritten)
{
    TempDir dir;
    const std::string folder = dir.file("data/Greeting");
    std::filesystem::create_directories(folder);
    writeBytes(folder + "/beep.wav", "the user's own beep");
    ASSERT_TRUE(InstallShippedGreetings(kShipped, folder));
    EXPECT_EQ(readBytes(folder + "/beep.wav"), "the user's own beep");
    EXPECT_EQ(GetGreetingCount(folder), GetGreetingCount(kShipped));
    std::string file;
    GetGreeting(folder, 1, nullptr, &file);
    EXPECT_EQ(readBytes(file), readBytes(kShipped + "/" + file.substr(folder.size() + 1)));
    // A second start changes nothing.
    ASSERT_TRUE(InstallShippedGreetings(kShipped, folder));
    EXPECT_FALSE(InstallShippedGreetings(dir.file("nowhere"), dir.file("other")));
}

class GreetingConvertTest : public ::testing::Test
{
protected:
    /// Converts and checks the greeting format; returns the decoded samples.
    std::vector<float> convert(const std::string& source)
    {
        std::string error;
        EXPECT_TRUE(ConvertToGreetingFormat(source, m_target, &error)) << error;
        const WavHeader h = parseWav(m_target);
        EXPECT_EQ(h.tag, 1);
        EXPECT_EQ(h.rate, 16000u);
        EXPECT_EQ(h.channels, 1);
        EXPECT_EQ(h.bits, 16);
        EXPECT_EQ(h.byteRate, 32000u);
        EXPECT_EQ(h.blockAlign, 2);
        EXPECT_FALSE(exists(m_target + ".part"));
        return decodeWithSndfile(m_target).samples;
    }

    TempDir m_dir;
    std::string m_target = m_dir.file("file1.wav");
};

TEST_F(GreetingConvertTest, Stereo32kHzBecomesMono16kHzWithHalfTheSamples)
{
    const std::string source = m_dir.file("stereo.wav");
    writeSineWav(source, 32000, 2, 16, 2.0, 500, 0.6);
    const auto out = convert(source);
    EXPECT_EQ(out.size(), 32000u);
    EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 500, 1);
    // Both channels hold the same tone: the mix keeps its level instead of doubling it.
    EXPECT_NEAR(rms(out, 1000, out.size() - 1000), 0.6 / std::sqrt(2.0), 0.01);
}

TEST_F(GreetingConvertTest, OppositeChannelsCancelAndLoudOnesDoNotClip)
{
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 16000; ++i) {
        samples.push_back(i % 2 ? 30000 : -30000);
        samples.push_back(i % 2 ? 30000 : -30000);
    }
    // Both channels near full scale: a sum would clip, the mix keeps the level.
    const std::string loud = m_dir.file("loud.wav");
    writePcm16Wav(loud, 16000, 2, samples);
    auto out = convert(loud);
    ASSERT_EQ(out.size(), 16000u);
    EXPECT_NEAR(out[5000], -30000 / 32768.0, 0.001);
    EXPECT_NEAR(out[5001], 30000 / 32768.0, 0.001);
    for (std::size_t i = 0; i < samples.size(); i += 2)
        samples[i + 1] = std::int16_t(-samples[i]);
    writePcm16Wav(loud, 16000, 2, samples);
    out = convert(loud);
    EXPECT_LT(rms(out), 1e-4);
}

TEST_F(GreetingConvertTest, EightBitSilenceBecomesSixteenBitSilence)
{
    const std::string source = m_dir.file("silence8.wav");
    writeSineWav(source, 16000, 1, 8, 1.0, 0);
    ASSERT_EQ(parseWav(source).data, std::string(16000, '\x80'));
    convert(source);
    EXPECT_EQ(parseWav(m_target).data, std::string(32000, '\0'));
    // Resampled 8-bit silence is silence too.
    writeSineWav(source, 11025, 2, 8, 1.0, 0);
    convert(source);
    EXPECT_EQ(parseWav(m_target).data, std::string(2 * (11025 * 16000 / 11025), '\0'));
}

TEST_F(GreetingConvertTest, OddRatesAndCompressedSources)
{
    for (int rate : {8000, 11025, 22050, 44100, 48000, 12345}) {
        SCOPED_TRACE(rate);
        const std::string source = m_dir.file("odd.wav");
        writeSineWav(source, rate, 1, 16, 1.5, 700);
        const auto out = convert(source);
        EXPECT_EQ(out.size(), std::size_t(std::llround(1.5 * rate)) * 16000 / rate);
        EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 700, 1);
    }
    // A compressed WAV and an Ogg file made by sox.
    const std::string wav = m_dir.file("tone.wav");
    writeSineWav(wav, 44100, 2, 16, 1.0, 700);
    for (const char* args : {"-e ms-adpcm tone_adpcm.wav", "tone.ogg"}) {
        SCOPED_TRACE(args);
        const std::string command = "cd '" + m_dir.path() + "' && sox tone.wav " + args;
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string name = std::string(args).substr(std::string(args).rfind(' ') + 1);
        const auto out = convert(m_dir.file(name));
        EXPECT_NEAR(double(out.size()) / 16000, 1.0, 0.03);
        EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 700, 2);
    }
}

TEST_F(GreetingConvertTest, FailureLeavesTheTargetAsItWas)
{
    writeBytes(m_target, "the pending greeting");
    const std::string garbage = m_dir.file("garbage.mp3");
    writeBytes(garbage, std::string(5000, '\x17'));
    std::string error;
    EXPECT_FALSE(ConvertToGreetingFormat(garbage, m_target, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ConvertToGreetingFormat(m_dir.file("missing.wav"), m_target));
    const std::string truncated = m_dir.file("truncated.wav");
    writeSineWav(truncated, 16000, 1, 16, 1.0, 440);
    writeBytes(truncated, readBytes(truncated).substr(0, 3000));
    EXPECT_FALSE(ConvertToGreetingFormat(truncated, m_target));
    EXPECT_EQ(readBytes(m_target), "the pending greeting");
    EXPECT_FALSE(exists(m_target + ".part"));
    // A target folder that does not exist.
    const std::string good = m_dir.file("good.wav");
    writeSineWav(good, 16000, 1, 16, 0.2, 440);
    EXPECT_FALSE(ConvertToGreetingFormat(good, m_dir.file("no/such/file1.wav")));
}

} // namespace
} // namespace tw
