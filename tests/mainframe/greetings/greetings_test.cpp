#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "mainframe/greetings.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace tw::test;

const std::string kShipped = std::string(TW_SOURCE_DIR) + "/data/greetings";

class GreetingListTest : public ::testing::Test
{
protected:
    void writeList(const std::string& text) { writeFile(m_dir.file(kGreetingListFile), text); }
    std::pair<std::string, std::string> greeting(int index) const
    {
        std::string name = "stale", file = "stale";
        GetGreeting(m_dir.path(), index, &name, &file);
        return {name, file};
    }
    TempDir m_dir;
};

TEST_F(GreetingListTest, LooksUpNamesAndFilesWithFallBackToTheFirst)
{
    // No list: no name, and the folder.
    EXPECT_EQ(GetGreetingCount(m_dir.path()), 0);
    EXPECT_EQ(greeting(1), std::make_pair(std::string(), m_dir.path()));
    writeList("[Greeting]\nnNumOfGreeting=3\nName1=One\nFile1=one.wav\nName2=Two\n"
              "File2=two.wav\nName3=Three\nFile3=three.wav\n");
    EXPECT_EQ(GetGreetingCount(m_dir.path()), 3);
    EXPECT_EQ(greeting(2), std::make_pair(std::string("Two"), m_dir.file("two.wav")));
    for (int index : {7, 4, 0, -1})
        EXPECT_EQ(greeting(index), std::make_pair(std::string("One"), m_dir.file("one.wav")));
    std::string file;
    GetGreeting(m_dir.path(), 3, nullptr, &file);
    EXPECT_EQ(file, m_dir.file("three.wav"));
    // A name without a file gives the folder, which the Skype link ignores.
    writeList("[Greeting]\nnNumOfGreeting=2\nName1=Only a name\n");
    EXPECT_EQ(greeting(1), std::make_pair(std::string("Only a name"), m_dir.path()));
    EXPECT_EQ(greeting(2).first, "");
}

/// The greeting format: 16 kHz mono 16-bit PCM.
void expectGreetingFormat(const WavHeader& h)
{
    EXPECT_EQ(std::tuple(h.ok, h.tag, h.rate, h.channels, h.bits, h.byteRate, h.blockAlign),
              std::tuple(true, 1, 16000u, 1, 16, 32000u, 2));
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
        expectGreetingFormat(h);
        EXPECT_GT(h.data.size(), 0.1 * 32000);
        EXPECT_LT(h.data.size(), 10 * 32000);
    }
}

TEST(ShippedGreetingsTest, InstalledWhereMissingAndNeverOverwritten)
{
    TempDir dir;
    const std::string folder = dir.file("data/Greeting");
    std::filesystem::create_directories(folder);
    writeFile(folder + "/beep.wav", "the user's own beep");
    for (int start = 0; start < 2; ++start) { // a second start changes nothing
        ASSERT_TRUE(InstallShippedGreetings(kShipped, folder));
        EXPECT_EQ(readFile(folder + "/beep.wav"), "the user's own beep");
        EXPECT_EQ(GetGreetingCount(folder), GetGreetingCount(kShipped));
        std::string file;
        GetGreeting(folder, 1, nullptr, &file);
        EXPECT_EQ(readFile(file), readFile(kShipped + "/" + file.substr(folder.size() + 1)));
    }
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
        expectGreetingFormat(parseWav(m_target));
        EXPECT_FALSE(exists(m_target + ".part"));
        return decodeWithSndfile(m_target).samples;
    }

    TempDir m_dir;
    std::string m_source = m_dir.file("source.wav");
    std::string m_target = m_dir.file("file1.wav");
};

TEST_F(GreetingConvertTest, StereoIsMixedToMonoWithoutClipping)
{
    writeSineWav(m_source, 32000, 2, 16, 2.0, 500, 0.6);
    auto out = convert(m_source);
    EXPECT_EQ(out.size(), 32000u);
    EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 500, 1);
    // Both channels hold the same tone: the mix keeps its level instead of doubling it.
    EXPECT_NEAR(rms(out, 1000, out.size() - 1000), 0.6 / std::sqrt(2.0), 0.01);

    // Both channels near full scale: a sum would clip, the mix keeps the level.
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 16000; ++i)
        samples.insert(samples.end(), 2, std::int16_t(i % 2 ? 30000 : -30000));
    writePcm16Wav(m_source, 16000, 2, samples);
    out = convert(m_source);
    ASSERT_EQ(out.size(), 16000u);
    EXPECT_NEAR(out[5000], -30000 / 32768.0, 0.001);
    EXPECT_NEAR(out[5001], 30000 / 32768.0, 0.001);
    // Opposite channels cancel.
    for (std::size_t i = 0; i < samples.size(); i += 2)
        samples[i + 1] = std::int16_t(-samples[i]);
    writePcm16Wav(m_source, 16000, 2, samples);
    EXPECT_LT(rms(convert(m_source)), 1e-4);
}

TEST_F(GreetingConvertTest, EightBitSilenceBecomesSixteenBitSilence)
{
    writeSineWav(m_source, 16000, 1, 8, 1.0, 0);
    ASSERT_EQ(parseWav(m_source).data, std::string(16000, '\x80'));
    convert(m_source);
    EXPECT_EQ(parseWav(m_target).data, std::string(32000, '\0'));
    // Resampled 8-bit silence is silence too.
    writeSineWav(m_source, 11025, 2, 8, 1.0, 0);
    convert(m_source);
    EXPECT_EQ(parseWav(m_target).data, std::string(32000, '\0'));
}

TEST_F(GreetingConvertTest, OddRatesAndCompressedSources)
{
    for (int rate : {8000, 11025, 22050, 44100, 48000, 12345}) {
        SCOPED_TRACE(rate);
        writeSineWav(m_source, rate, 1, 16, 1.5, 700);
        const auto out = convert(m_source);
        EXPECT_EQ(out.size(), std::size_t(std::llround(1.5 * rate)) * 16000 / rate);
        EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 700, 1);
    }
    // A compressed WAV and an Ogg file made by sox.
    writeSineWav(m_dir.file("tone.wav"), 44100, 2, 16, 1.0, 700);
    for (const std::string name : {"tone_adpcm.wav", "tone.ogg"}) {
        SCOPED_TRACE(name);
        const std::string options = name.ends_with(".wav") ? "-e ms-adpcm " : "";
        ASSERT_TRUE(shell(m_dir.path(), "sox tone.wav " + options + name));
        const auto out = convert(m_dir.file(name));
        EXPECT_NEAR(double(out.size()) / 16000, 1.0, 0.03);
        EXPECT_NEAR(zeroCrossingFrequency(out, 16000), 700, 2);
    }
}

TEST_F(GreetingConvertTest, FailureLeavesTheTargetAsItWas)
{
    writeFile(m_target, "the pending greeting");
    writeFile(m_dir.file("garbage.mp3"), std::string(5000, '\x17'));
    std::string error;
    EXPECT_FALSE(ConvertToGreetingFormat(m_dir.file("garbage.mp3"), m_target, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ConvertToGreetingFormat(m_dir.file("missing.wav"), m_target));
    writeSineWav(m_source, 16000, 1, 16, 1.0, 440);
    writeFile(m_dir.file("truncated.wav"), readFile(m_source).substr(0, 3000));
    EXPECT_FALSE(ConvertToGreetingFormat(m_dir.file("truncated.wav"), m_target));
    EXPECT_EQ(readFile(m_target), "the pending greeting");
    EXPECT_FALSE(exists(m_target + ".part"));
    EXPECT_FALSE(ConvertToGreetingFormat(m_source, m_dir.file("no/such/file1.wav")));
}

} // namespace
} // namespace tw
