// The greeting recorder: without a sound input it says so and nothing breaks; a take is
// limited to 90 seconds, played back, and saved in the greeting format only on OK.
#include <QAudioDevice>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "audio/codec_sndfile.h"
#include "platform/scripted_prompt.h"
#include "ui/greeting_recorder.h"
#include "ui_test_util.h"

using namespace tw;

namespace {

/// A sound input that delivers audio only when told.
class FakeCapture : public AudioCapture
{
public:
    static inline FakeCapture* last = nullptr;
    static inline bool missing = false;
    FakeCapture() { last = this; }
    ~FakeCapture() override
    {
        if (last == this)
            last = nullptr;
    }
    bool start(QIODevice& sink, int rate, int channels, std::string& error) override
    {
        if (missing) {
            error = "no sound input device";
            return false;
        }
        m_sink = &sink;
        m_bytesPerSecond = rate * channels * 2;
        return true;
    }
    void stop() override { m_sink = nullptr; }
    void deliver(double seconds)
    {
        if (m_sink)
            m_sink->write(QByteArray(int(seconds * m_bytesPerSecond), '\x01'));
    }

private:
    QIODevice* m_sink = nullptr;
    int m_bytesPerSecond = 0;
};

AudioCaptureFactory fakeCapture()
{
    return [] { return std::make_unique<FakeCapture>(); };
}

} // namespace

class GreetingRecorderTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    std::string target() const { return m_dir.filePath("custom1.wav").toStdString(); }

private slots:
    void init()
    {
        FakeCapture::missing = false;
        QFile::remove(m_dir.filePath("custom1.wav"));
    }

    void withoutAnInputDeviceItSaysSoAndSavesNothing()
    {
        FakeCapture::missing = true;
        ScriptedPrompt prompt;
        CRecordGreetingDlg dialog(target(), prompt, fakeCapture(), test::FakeOutputFactory());
        dialog.recordButton()->click();
        QVERIFY(!dialog.isRecording());
        QCOMPARE(prompt.messages().size(), size_t(1));
        QCOMPARE(prompt.messages()[0].text, std::string(kTextCannotRecord));
        QCOMPARE(dialog.recordButton()->text(), QString("&Record"));
        QVERIFY(!dialog.playButton()->isEnabled());
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.recorded());
        QVERIFY(!QFile::exists(QString::fromStdString(target())));
    }

    void theSystemsOwnInputWhenThereIsNone()
    {
        if (!QMediaDevices::audioInputs().isEmpty())
            QSKIP("this machine has a sound input");
        ScriptedPrompt prompt;
        CRecordGreetingDlg dialog(target(), prompt, {}, test::FakeOutputFactory());
        dialog.recordButton()->click();
        QVERIFY(!dialog.isRecording());
        QCOMPARE(prompt.messages().size(), size_t(1));
        QCOMPARE(prompt.messages()[0].text, std::string(kTextCannotRecord));
    }

    void aTakeStopsAtNinetySecondsAndIsSavedOnOk()
    {
        ScriptedPrompt prompt;
        CRecordGreetingDlg dialog(target(), prompt, fakeCapture(), test::FakeOutputFactory());
        dialog.recordButton()->click();
        QVERIFY(dialog.isRecording());
        QCOMPARE(dialog.recordButton()->text(), QString("&Stop"));
        QVERIFY(!dialog.playButton()->isEnabled());
        QVERIFY(!dialog.okButton()->isEnabled());
        for (int second = 1; second <= 89; ++second) {
            FakeCapture::last->deliver(1.0);
            dialog.OnSecond();
        }
        QCOMPARE(dialog.elapsedLabel()->text(), QString("89 seconds"));
        QVERIFY(dialog.isRecording());
        FakeCapture::last->deliver(1.5); // the input runs a little late
        dialog.OnSecond();
        QVERIFY(!dialog.isRecording());
        QCOMPARE(dialog.elapsedLabel()->text(), QString("90 seconds"));
        QCOMPARE(dialog.take().size(), qsizetype(90) * 32000);
        QCOMPARE(dialog.recordButton()->text(), QString("&Record"));
        QVERIFY(dialog.playButton()->isEnabled());

        dialog.playButton()->click();
        QVERIFY(dialog.isPlaying());
        QCOMPARE(dialog.playButton()->text(), QString("&Stop"));
        QVERIFY(!dialog.recordButton()->isEnabled());
        test::FakeAudioOutput::last->pull(91000);
        QCoreApplication::processEvents();
        QVERIFY(!dialog.isPlaying());
        QCOMPARE(dialog.playButton()->text(), QString("&Play"));

        dialog.accept();
        QVERIFY(dialog.recorded());
        SndFileReader reader;
        std::string error;
        QVERIFY2(reader.open(target(), error), error.c_str());
        QCOMPARE(reader.info().samplerate, 16000);
        QCOMPARE(reader.info().channels, 1);
        QCOMPARE(reader.info().frames, sf_count_t(90) * 16000);
    }

    void cancelLeavesNoFile()
    {
        ScriptedPrompt prompt;
        CRecordGreetingDlg dialog(target(), prompt, fakeCapture(), test::FakeOutputFactory());
        dialog.recordButton()->click();
        FakeCapture::last->deliver(2.0);
        dialog.recordButton()->click();
        QCOMPARE(dialog.take().size(), qsizetype(64000));
        dialog.reject();
        QVERIFY(!dialog.recorded());
        QVERIFY(!QFile::exists(QString::fromStdString(target())));
    }
};

QTEST_MAIN(GreetingRecorderTest)
#include "greeting_recorder_test.moc"
