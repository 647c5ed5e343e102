// Damaged sources: every conversion fails with a reason, leaves the source as it was and
// leaves no target or temporary file behind.

#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "records/audio_converter.h"
#include "tests/records/audio/audio_test_util.h"

namespace tw {
namespace {

using namespace tw::test;

struct BadFile
{
    const char* name;
    std::string bytes;
};

std::vector<BadFile> badFiles(const TempDir& dir)
{
    std::vector<BadFile> files;
    const std::string good = dir.file("good.wav");
    writeSineWav(good, 16000, 1, 16, 1.0, 440);
    const std::string wav = readBytes(good);
    files.push_back({"truncated.wav", wav.substr(0, wav.size() / 2)});
    files.push_back({"header_only.wav", wav.substr(0, 30)});
    std::string zeroAlign = wav;
    zeroAlign[32] = zeroAlign[33] = 0; // block alignment
    files.push_back({"zero_align.wav", zeroAlign});
    std::string zeroRate = wav;
    zeroRate[28] = zeroRate[29] = zeroRate[30] = zeroRate[31] = 0; // byte rate
    files.push_back({"zero_rate.wav", zeroRate});
    files.push_back({"empty.wav", ""});
    files.push_back({"empty.mp3", ""});
    std::mt19937 random(7);
    std::string garbage(20000, '\0');
    for (char& c : garbage)
        c = char(random());
    files.push_back({"garbage.mp3", garbage});
    files.push_back({"garbage.wav", "RIFF\x10\0\0\0WAVEjunkjunkjunk"});
    std::filesystem::remove(good);
    return files;
}

std::vector<std::string> folderListing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BadInputTest, EveryConversionFailsCleanly)
{
    TempDir dir;
    CAudioConverter converter;
    for (const auto& bad : badFiles(dir)) {
        const std::string source = dir.file(bad.name);
        writeBytes(source, bad.bytes);
        const auto before = folderListing(dir.path());
        for (int codec : {kCodecPcm, kCodecAdpcm, kCodecMp3Wave, kCodecGsm}) {
            SCOPED_TRACE(testing::Message() << bad.name << " codec " << codec);
            std::string target = dir.file("out.wav");
            std::string error;
            EXPECT_FALSE(converter.Convert(source, target, codec, 0, &error));
            EXPECT_FALSE(error.empty());
            std::string same = source;
            EXPECT_FALSE(converter.Convert(source, same, codec, 0));
            EXPECT_EQ(same, source);
            EXPECT_EQ(readBytes(source), bad.bytes);
            EXPECT_EQ(folderListing(dir.path()), before);
        }
        SCOPED_TRACE(bad.name);
        EXPECT_EQ(CAudioConverter::ConvertToPcm(source, dir.file("pcm.wav")), 0);
        EXPECT_FALSE(CAudioConverter::tiMP3WaveToPureMP3(source, dir.file("x.mp3")));
        EXPECT_EQ(folderListing(dir.path()), before);
        std::filesystem::remove(source);
    }
}

TEST(BadInputTest, DamagedWavIsNoCodecAndUnknownCodecIsRefused)
{
    TempDir dir;
    for (const auto& bad : badFiles(dir)) {
        if (std::string(bad.name).ends_with(".mp3"))
            continue;
        writeBytes(dir.file(bad.name), bad.bytes);
        EXPECT_EQ(CAudioConverter::DetectCodec(dir.file(bad.name)), -1) << bad.name;
    }
    const std::string good = dir.file("good.wav");
    writeSineWav(good, 16000, 1, 16, 0.5, 440);
    std::string target = dir.file("out.wav");
    EXPECT_FALSE(CAudioConverter().Convert(good, target, 5, 0));
    EXPECT_FALSE(CAudioConverter().Convert(good, target, -1, 0));
    EXPECT_FALSE(exists(target));
}

TEST(BadInputTest, UnwritableTargetFailsAndRemovesNothing)
{
    TempDir dir;
    const std::string source = dir.file("a.wav");
    writeSineWav(source, 16000, 1, 16, 0.5, 440);
    std::string target = dir.file("no/such/folder/out.wav");
    for (int codec : {kCodecAdpcm, kCodecMp3Wave})
        EXPECT_FALSE(CAudioConverter().Convert(source, target, codec, 0));
    EXPECT_TRUE(exists(source));
}

} // namespace
} // namespace tw
