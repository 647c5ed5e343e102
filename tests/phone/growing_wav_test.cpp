// Following a WAV file another program is still writing, as the SIP library writes a call.
#include <fstream>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "phone/growing_wav.h"
#include "phone/sip_call_media.h"
#include "tone_files.h"

namespace tw::phone {
namespace {

using test::readWav;
using test::secondsOfTone;

// Appends samples of a tone to a file, as the recorder does block by block.
void appendTone(const std::string& path, double hz, int rate, int count, int64_t* phase)
{
    std::ofstream f(path, std::ios::binary | std::ios::app);
    for (int i = 0; i < count; ++i, ++*phase) {
        const auto v = int16_t(9000 * std::sin(2 * std::numbers::pi * hz * double(*phase) / rate));
        f.write(reinterpret_cast<const char*>(&v), 2);
    }
}

void writeZeroHeader(const std::string& path)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    const std::string zeros(44, '\0');
    f.write(zeros.data(), 44);
}

class GrowingWavTest : public ::testing::Test
{
protected:
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(GrowingWavTest, PlaceholderHeaderWaitsForTheRateThenResamplesWhatArrives)
{
    const std::string file = path("remote.wav");
    GrowingWav wav(file);
    std::vector<int16_t> out;
    EXPECT_TRUE(wav.read(out)); // not there yet
    writeZeroHeader(file);
    int64_t phase = 0;
    appendTone(file, 440, 48000, 4800, &phase);
    EXPECT_TRUE(wav.read(out));
    EXPECT_TRUE(out.empty()) << "the rate is not known yet";

    wav.setRateHint(48000);
    for (int block = 0; block < 9; ++block) { // the rest of a second, read as it grows
        appendTone(file, 440, 48000, 4800, &phase);
        ASSERT_TRUE(wav.read(out));
    }
    ASSERT_TRUE(wav.read(out, true));
    EXPECT_NEAR(double(out.size()), 16000, 40);
    EXPECT_GT(secondsOfTone(out, 440), 0.9);
}

TEST_F(GrowingWavTest, OddByteAtTheEndWaitsForItsPartner)
{
    const std::string file = path("remote.wav");
    test::writeTone(file, 0, 0, 16000); // a real header, no data
    GrowingWav wav(file);
    {
        std::ofstream f(file, std::ios::binary | std::ios::app);
        const char bytes[3] = {0x10, 0x00, 0x20};
        f.write(bytes, 3);
    }
    std::vector<int16_t> out;
    ASSERT_TRUE(wav.read(out));
    {
        std::ofstream f(file, std::ios::binary | std::ios::app);
        f.put(0x00);
    }
    ASSERT_TRUE(wav.read(out, true));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], 0x10);
    EXPECT_EQ(out[1], 0x20);
}

TEST_F(GrowingWavTest, SkipToEndLeavesOutWhatWasThereBefore)
{
    const std::string file = path("remote.wav");
    test::writeTone(file, 1000, 1, 16000); // a past call's second
    GrowingWav wav(file);
    wav.skipToEnd();
    int64_t phase = 0;
    appendTone(file, 440, 16000, 8000, &phase);
    std::vector<int16_t> out;
    ASSERT_TRUE(wav.read(out, true));
    EXPECT_NEAR(double(out.size()), 8000, 40);
    EXPECT_EQ(secondsOfTone(out, 1000), 0);
}

TEST_F(GrowingWavTest, FileThatStartsOverIsFollowedFromItsNewStart)
{
    const std::string file = path("remote.wav");
    test::writeTone(file, 1000, 1, 16000);
    GrowingWav wav(file);
    std::vector<int16_t> out;
    ASSERT_TRUE(wav.read(out));
    test::writeTone(file, 440, 0.5, 16000); // shorter than what was read: a new file
    ASSERT_TRUE(wav.read(out, true));
    EXPECT_NEAR(double(out.size()), 24000, 60);
    EXPECT_GT(secondsOfTone(out, 440), 0.4);
}

TEST_F(GrowingWavTest, NotPcmIsRefusedWithAReason)
{
    const std::string file = path("remote.wav");
    {
        std::ofstream f(file, std::ios::binary);
        f << "ID3 this is not a wave file at all, just some text";
    }
    GrowingWav wav(file);
    std::vector<int16_t> out;
    EXPECT_FALSE(wav.read(out));
    EXPECT_EQ(wav.why(), "not a WAV file");
}

TEST_F(GrowingWavTest, MediaWritesTheRemoteSideAndClosesCompleteFiles)
{
    const std::string remote = path("remote.wav");
    writeZeroHeader(remote);
    SipCallMedia media({});
    media.remoteStarting(remote, true);
    media.setRemoteRate(8000); // a narrow-band codec
    EXPECT_TRUE(media.setOutputFiles({path("out.wav")}).empty());
    const std::vector<std::string> bad = media.setMicFiles({path("no/such/dir/mic.wav")});
    EXPECT_EQ(bad, std::vector<std::string>{path("no/such/dir/mic.wav")});
    int64_t phase = 0;
    appendTone(remote, 440, 8000, 4000, &phase);
    media.advance(8000, false);
    appendTone(remote, 440, 8000, 4000, &phase); // arrives after the last tick
    media.closeAll();
    const test::WavFile out = readWav(path("out.wav"));
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.rate, 16000);
    EXPECT_NEAR(double(out.samples.size()), 16000, 40);
    EXPECT_GT(secondsOfTone(out.samples, 440), 0.9);
}

} // namespace
} // namespace tw::phone
