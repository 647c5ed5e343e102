#include <cmath>

#include <gtest/gtest.h>

#include "records/pcm_resample.h"
#include "tests/records/audio/audio_test_util.h"

namespace tw {
namespace {

std::vector<float> sine(int rate, double freq, double seconds, double amplitude = 0.5)
{
    std::vector<float> s(static_cast<std::size_t>(rate * seconds));
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(amplitude * std::sin(2 * pi * freq * double(i) / rate));
    return s;
}

std::vector<float> resample(const std::vector<float>& in, int from, int to, std::size_t block)
{
    PcmResampler r(from, to);
    std::vector<float> out;
    for (std::size_t at = 0; at < in.size(); at += block)
        r.process(in.data() + at, std::min(block, in.size() - at), out);
    r.finish(out);
    return out;
}

TEST(ResampleTest, KeepsToneAndLevelAtCommonAndOddRates)
{
    for (int from : {8000, 11025, 22050, 32000, 44100, 48000, 7999, 96001}) {
        SCOPED_TRACE(from);
        const auto in = sine(from, 1000, 1.0);
        const auto out = resample(in, from, 16000, 4096);
        EXPECT_EQ(out.size(), in.size() * 16000 / std::size_t(from));
        EXPECT_NEAR(test::zeroCrossingFrequency(out, 16000), 1000, 1);
        // Away from the edges the level is the source's (0.5 / sqrt 2).
        EXPECT_NEAR(test::rms(out, 800, out.size() - 800), 0.5 / std::sqrt(2.0), 0.005);
        // And it is the same sine, sample by sample.
        const auto ideal = sine(16000, 1000, double(out.size()) / 16000);
        double worst = 0;
        for (std::size_t i = 800; i + 800 < out.size(); ++i)
            worst = std::max(worst, double(std::fabs(out[i] - ideal[i])));
        EXPECT_LT(worst, 0.005);
    }
}

TEST(ResampleTest, RemovesWhatDoesNotFitBelowTheNewNyquistFrequency)
{
    // 11 kHz would fold back to 5 kHz at 16 kHz without a filter.
    const auto out = resample(sine(44100, 11000, 1.0), 44100, 16000, 1000);
    EXPECT_LT(test::rms(out, 800, out.size() - 800), 0.5 * 0.001); // below -60 dB
}

TEST(ResampleTest, BlockSizeDoesNotChangeTheResult)
{
    const auto in = sine(44100, 440, 0.5);
    const auto whole = resample(in, 44100, 16000, in.size());
    for (std::size_t block : {std::size_t(1), std::size_t(7), std::size_t(1000)}) {
        const auto pieces = resample(in, 44100, 16000, block);
        ASSERT_EQ(pieces.size(), whole.size());
        for (std::size_t i = 0; i < whole.size(); ++i)
            ASSERT_FLOAT_EQ(pieces[i], whole[i]) << i;
    }
}

TEST(ResampleTest, SameRatePassesThroughAndEmptyInputGivesNothing)
{
    const auto in = sine(16000, 440, 0.1);
    EXPECT_EQ(resample(in, 16000, 16000, 100), in);
    EXPECT_TRUE(resample({}, 44100, 16000, 100).empty());
}

} // namespace
} // namespace tw
