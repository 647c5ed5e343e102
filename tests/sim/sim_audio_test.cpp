// skype-sim's call audio: the files named by ALTER CALL are valid 16 kHz mono 16-bit WAVs
// holding the greeting pause, the caller's voice and the microphone.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include "tests/sim/sim_fixture.h"

using namespace tw::simtest;

namespace {

bool writeWav(const QString& path, const std::vector<int16_t>& samples)
{
    SF_INFO info{0, 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    const auto count = sf_count_t(samples.size());
    const bool written = f && sf_write_short(f, samples.data(), count) == count;
    sf_close(f);
    return written;
}

struct Wav
{
    SF_INFO info{};
    std::vector<int16_t> samples;
};

Wav readWav(const QString& path) // with libsndfile, an independent reader
{
    Wav w;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &w.info);
    w.samples.resize(f ? size_t(w.info.frames) : 0);
    sf_read_short(f, w.samples.data(), sf_count_t(w.samples.size()));
    sf_close(f);
    return w;
}

/// The header's sizes agree with the file: what a reader relies on.
void expectConsistentHeader(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    ASSERT_GE(b.size(), 44);
    EXPECT_EQ(b.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 4), uint32_t(b.size() - 8));
    EXPECT_EQ(b.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 40), uint32_t(b.size() - 44));
}

} // namespace

TEST(SkypeSimAudio, WritesGreetingPauseVoiceAndMicrophoneInRealTime)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<int16_t> voice(8000); // half a second, a pattern with no zeros
    for (size_t i = 0; i < voice.size(); ++i)
        voice[i] = int16_t((int(i * 37 % 2000) - 1000) | 1);
    const QString voicePath = dir.filePath("voice.wav"), greetPath = dir.filePath("greeting.wav");
    ASSERT_TRUE(writeWav(voicePath, voice));
    ASSERT_TRUE(writeWav(greetPath, std::vector<int16_t>(4800, 1234))); // 0.3 s

    SimProcess sim({"--voice", voicePath});
    TestClient c("audio");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    control("Ring", {"bob", "", ""});
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS RINGING"));

    // Paths with spaces and commas; every ALTER is acknowledged by its exact echo.
    const QString out = dir.filePath("out, call 1.wav");
    const QString mic = dir.filePath("mic.wav");
    const QStringList alters = {
        QString("ALTER CALL 100 SET_INPUT FILE=\"%1\"").arg(greetPath),
        QString("#9 ALTER CALL 100 SET_OUTPUT SOUNDCARD=\"default\", FILE=\"%1\"").arg(out),
        QString("ALTER CALL 100 SET_CAPTURE_MIC FILE=\"%1\"").arg(mic),
    };
    for (const QString& alter : alters)
        EXPECT_EQ(c.invoke(alter), alter);
    EXPECT_EQ(c.invoke("GET CALL 100 CAPTURE_MIC"),
              QString("CALL 100 CAPTURE_MIC FILE=\"%1\"").arg(mic));

    EXPECT_EQ(c.invoke("SET CALL 100 STATUS INPROGRESS"), "CALL 100 STATUS INPROGRESS");
    ASSERT_TRUE(c.waitForNote("CALL 100 VAA_INPUT_STATUS FALSE"));
    EXPECT_LT(c.notes.indexOf("CALL 100 VAA_INPUT_STATUS TRUE"),
              c.notes.indexOf("CALL 100 VAA_INPUT_STATUS FALSE"));

    // Real time: after a second of call the output holds about a second of sound.
    ASSERT_TRUE(waitFor([&] { return QFileInfo(out).size() >= 44 + 2 * 16000; }, 20s));
    expectConsistentHeader(out); // valid while still being written

    // Stopping the microphone capture closes that file; the output goes on.
    const QString stop = "ALTER CALL 100 SET_CAPTURE_MIC";
    EXPECT_EQ(c.invoke(stop), stop);
    EXPECT_EQ(c.invoke("GET CALL 100 CAPTURE_MIC"), "CALL 100 CAPTURE_MIC ");
    const qint64 micSize = QFileInfo(mic).size();
    const qint64 outSize = QFileInfo(out).size();
    ASSERT_TRUE(waitFor([&] { return QFileInfo(out).size() > outSize; }, 10s));
    EXPECT_EQ(QFileInfo(mic).size(), micSize);

    control("HangUp", {"100"});
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS FINISHED"));
    const qint64 finalSize = QFileInfo(out).size();
    spin(300ms);
    EXPECT_EQ(QFileInfo(out).size(), finalSize) << "closed at FINISHED";

    expectConsistentHeader(out);
    expectConsistentHeader(mic);
    const Wav o = readWav(out);
    EXPECT_EQ(o.info.samplerate, 16000);
    EXPECT_EQ(o.info.channels, 1);
    EXPECT_EQ(o.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    // The caller listens to the greeting, says his piece, then keeps quiet.
    std::vector<int16_t> expected(4800);
    expected.insert(expected.end(), voice.begin(), voice.end());
    expected.resize(std::max(expected.size(), o.samples.size()));
    const auto differ = std::mismatch(o.samples.begin(), o.samples.end(), expected.begin());
    EXPECT_EQ(differ.first - o.samples.begin(), expected.end() - expected.begin());

    // The microphone is a 1000 Hz tone: about 2000 zero crossings a second.
    const Wav m = readWav(mic);
    ASSERT_GE(m.samples.size(), 8000u);
    int crossings = 0;
    for (size_t i = 1; i < m.samples.size(); ++i)
        crossings += (m.samples[i - 1] < 0) != (m.samples[i] < 0);
    const double perSecond = crossings * 16000.0 / double(m.samples.size());
    EXPECT_NEAR(perSecond, 2000, 100);
}

TEST(SkypeSimAudio, UnusableFilesAreAcknowledgedAndReported)
{
    SimProcess sim;
    TestClient c("badfiles");
    ASSERT_EQ(c.invoke("NAME Tellwick"), "OK");
    control("Ring", {"bob", "", ""});
    ASSERT_TRUE(c.waitForNote("CALL 100 STATUS RINGING"));
    for (const QString alter : {"ALTER CALL 100 SET_INPUT FILE=\"/nonexistent/greeting.wav\"",
                                "ALTER CALL 100 SET_OUTPUT FILE=\"/nonexistent/dir/out.wav\""})
        EXPECT_EQ(c.invoke(alter), alter);
    EXPECT_TRUE(c.invoke("ALTER CALL 100 SET_OUTPUT FILE=/no/quotes").startsWith("ERROR "));
    EXPECT_TRUE(c.invoke("ALTER CALL 7 SET_OUTPUT").startsWith("ERROR 12 "));
    c.invoke("SET CALL 100 STATUS INPROGRESS");
    // A greeting that cannot be played ends at once.
    EXPECT_TRUE(c.waitForNote("CALL 100 VAA_INPUT_STATUS FALSE"));
    EXPECT_FALSE(c.notes.contains("CALL 100 VAA_INPUT_STATUS TRUE"));
    EXPECT_TRUE(c.waitForNote("CALL 100 DURATION 1"));
    EXPECT_TRUE(sim.running());
}
