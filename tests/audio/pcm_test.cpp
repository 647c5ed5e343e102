// PCM work behind the greetings: joining two WAV files and changing the sample rate.

#include <cmath>

#include <gtest/gtest.h>

#include "audio/pcm_resample.h"
#include "audio/wave_append.h"
#include "records/record_naming.h"
#include "tests/records/test_util.h"

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
    const std::string joined = parseWav(first).data + parseWav(second).data;
    std::string error;
    ASSERT_TRUE(AppendWave(first, second, false, &error)) << error;
    EXPECT_EQ(first, dir.file("greeting.wav"));
    EXPECT_NEAR(soxDuration(first), 3.0, 0.001);
    EXPECT_EQ(parseWav(first).data, joined);
    EXPECT_FALSE(exists(FinishTempPath(first, "join")));
    EXPECT_TRUE(exists(second));
    ASSERT_TRUE(AppendWave(first, second, true));
    EXPECT_NEAR(soxDuration(first), 4.0, 0.001);
    EXPECT_FALSE(exists(second));
    // Joined with itself, the result is kept.
    ASSERT_TRUE(AppendWave(first, first, true));
    EXPECT_NEAR(soxDuration(first), 8.0, 0.001);
}

TEST(AppendWaveTest, RefusalLeavesBothFilesUntouched)
{
    TempDir dir;
    const std::string second = dir.file("b.wav");
    writeSineWav(second, 16000, 1, 16, 1.0, 1000);
    const std::string secondBytes = readFile(second);
    std::string first = dir.file("a.wav");
    const auto expectRefused = [&](const std::string& other, const std::string& what) {
        const std::string firstBytes = readFile(first);
        std::string error;
        EXPECT_FALSE(AppendWave(first, other, true, &error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_EQ(first, dir.file("a.wav"));
        EXPECT_EQ(readFile(first), firstBytes) << what;
        EXPECT_FALSE(exists(FinishTempPath(first, "join"))) << what;
    };
    // Different channels, rate or sample size.
    for (auto [rate, channels, bits] : {std::tuple{16000, 2, 16}, {8000, 1, 16}, {16000, 1, 8}}) {
        writeSineWav(first, rate, channels, bits, 2.0, 300);
        expectRefused(second, std::to_string(rate) + "/" + std::to_string(channels));
        EXPECT_EQ(readFile(second), secondBytes);
    }
    writeSineWav(first, 16000, 1, 16, 1.0, 300);
    expectRefused(dir.file("missing.wav"), "missing");
    writeFile(dir.file("text.wav"), "not a wave file at all");
    expectRefused(dir.file("text.wav"), "text");
    EXPECT_TRUE(exists(dir.file("text.wav")));
}

std::vector<float> sine(int rate, double freq, double seconds)
{
    std::vector<float> s(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.5 * std::sin(2 * std::acos(-1.0) * freq * double(i) / rate));
    return s;
}

std::vector<float> resample(const std::vector<float>& in, int from, std::size_t block)
{
    PcmResampler r(from, 16000);
    std::vector<float> out;
    for (std::size_t at = 0; at < in.size(); at += block)
        r.process(in.data() + at, std::min(block, in.size() - at), out);
    r.finish(out);
    return out;
}

TEST(ResampleTest, KeepsTheToneAtCommonAndOddRatesWhateverTheBlockSize)
{
    for (int from : {8000, 11025, 32000, 44100, 48000, 7999, 96001}) {
        SCOPED_TRACE(from);
        const auto in = sine(from, 1000, 1.0);
        const auto out = resample(in, from, 4096);
        EXPECT_EQ(out.size(), in.size() * 16000 / std::size_t(from));
        // Away from the edges it is the same sine, sample by sample.
        const auto ideal = sine(16000, 1000, double(out.size()) / 16000);
        double worst = 0;
        for (std::size_t i = 800; i + 800 < out.size(); ++i)
            worst = std::max(worst, double(std::fabs(out[i] - ideal[i])));
        EXPECT_LT(worst, 0.005);
        for (std::size_t block : {1, 7, 1000})
            EXPECT_EQ(resample(in, from, block), out) << block;
    }
    // 11 kHz would fold back to 5 kHz at 16 kHz without a filter: below -60 dB.
    const auto folded = resample(sine(44100, 11000, 1.0), 44100, 1000);
    EXPECT_LT(rms(folded, 800, folded.size() - 800), 0.5 * 0.001);
    const auto same = sine(16000, 440, 0.1);
    EXPECT_EQ(resample(same, 16000, 100), same);
    EXPECT_TRUE(resample({}, 44100, 100).empty());
}

} // namespace
} // namespace tw
