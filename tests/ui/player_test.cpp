// The record player: decoding to PCM, the position display, pause and seek, the end of a
// record, and a machine without a sound device. The sound device is a fake that plays only
// when told.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "records/record_storage.h"
#include "ui/navigator.h"
#include "ui/record_player.h"
#include "ui/skin.h"
#include "ui_test_util.h"

using namespace tw;
using namespace tw::test;

class PlayerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CRecordStorage> m_storage;
    std::string m_twoSeconds;

private slots:
    void initTestCase()
    {
        SetSkinFolder(BuildDataFolder());
        m_storage = std::make_unique<CRecordStorage>();
        QVERIFY(m_storage->OpenStorageFolder(m_dir.path().toStdString(), nullptr));
        m_twoSeconds =
            AddRecord(*m_storage, RECORD_VOICEMAIL, 1700000000, 2, "alice", 0, 2.0).Path();
    }

    void init() { FakeAudioOutput::deviceMissing = false; }

    void playsFollowsAndStopsWithoutLateUpdates()
    {
        CNavigator slider;
        CRecordPlayer player;
        player.AddDisplay(&slider);
        player.SetOutputFactory(FakeOutputFactory());
        std::string error;
        auto pb = player.OpenPlayback(m_twoSeconds, &error);
        QVERIFY2(pb, error.c_str());
        QCOMPARE(pb->duration(), 200u);
        QCOMPARE(slider.GetRange(), 200u);
        QVERIFY(player.Play(*pb));
        QVERIFY(player.PositionTimerActive());
        QCOMPARE(FakeAudioOutput::last->startedAtFrame(), 0);
        FakeAudioOutput::last->pull(500);
        player.OnPositionTimer();
        QCOMPARE(slider.GetPos(), 51u);
        player.Stop(*pb);
        QCOMPARE(slider.GetPos(), 1u);
        QVERIFY(!player.PositionTimerActive());
        // A tick that was already queued when the playback stopped changes nothing.
        player.OnPositionTimer();
        QCOMPARE(slider.GetPos(), 1u);
        QCOMPARE(pb->lastCommand(), int(CPlayback::StoppedCmd));
        player.ClosePlayback(pb);
        QVERIFY(!pb);
        QCOMPARE(slider.GetRange(), 1u);
    }

    void pausingMovingAndResumingStartsAtTheSlider()
    {
        CNavigator slider;
        CRecordPlayer player;
        player.AddDisplay(&slider);
        player.SetOutputFactory(FakeOutputFactory());
        auto pb = player.OpenPlayback(m_twoSeconds, nullptr);
        QVERIFY(player.Play(*pb));
        FakeAudioOutput::last->pull(300);
        player.TogglePause(*pb);
        QCOMPARE(pb->state(), int(CPlayback::Paused));
        QCOMPARE(slider.GetPos(), 31u);
        slider.SetPos(151); // the user drags to 1.5 s
        player.TogglePause(*pb);
        QCOMPARE(pb->state(), int(CPlayback::Running));
        QCOMPARE(FakeAudioOutput::last->startedAtFrame(), 24000);
        FakeAudioOutput::last->pull(100);
        QCOMPARE(player.GetPosition(*pb), 160u);
        player.ClosePlayback(pb);
    }

    void theEndStopsAtTheStartAndPlaysAgainFromThere()
    {
        CNavigator slider;
        CRecordPlayer player;
        player.AddDisplay(&slider);
        player.SetOutputFactory(FakeOutputFactory());
        QSignalSpy ended(&player, &CRecordPlayer::recordEnded);
        auto pb = player.OpenPlayback(m_twoSeconds, nullptr);
        QVERIFY(player.Play(*pb));
        FakeAudioOutput::last->pull(2500);
        QCOMPARE(pb->state(), int(CPlayback::Stopped));
        QCOMPARE(slider.GetPos(), 1u);
        QCOMPARE(ended.size(), 0); // posted, not called from inside the output
        QCoreApplication::processEvents();
        QCOMPARE(ended.size(), 1);
        QVERIFY(player.Play(*pb));
        QCOMPARE(FakeAudioOutput::last->startedAtFrame(), 0);
        player.ClosePlayback(pb);
    }

    void noSoundDeviceIsToldAndChangesNothing()
    {
        FakeAudioOutput::deviceMissing = true;
        CRecordPlayer player;
        player.SetOutputFactory(FakeOutputFactory());
        auto pb = player.OpenPlayback(m_twoSeconds, nullptr);
        std::string error;
        QVERIFY(!player.Play(*pb, &error));
        QVERIFY(error.find("No sound output device") != std::string::npos);
        QCOMPARE(pb->state(), int(CPlayback::Stopped));
        QVERIFY(!player.PositionTimerActive());
        player.ClosePlayback(pb);
    }

    void lengthsAndUnreadableFiles()
    {
        QCOMPARE(CRecordPlayer::GetMediaDuration(m_twoSeconds), 200u);
        const std::string missing = m_dir.filePath("gone.wav").toStdString();
        QCOMPARE(CRecordPlayer::GetMediaDuration(missing), 0u);
        CRecordPlayer player;
        std::string error;
        QVERIFY(!player.OpenPlayback(missing, &error));
        QVERIFY(!error.empty());
        const std::string junk = m_dir.filePath("junk.wav").toStdString();
        WriteFile(junk, QByteArray("RIFF\x10\0\0\0WAVEjunkjunk", 20));
        QVERIFY(!player.OpenPlayback(junk, &error));
    }
};

QTEST_MAIN(PlayerTest)
#include "player_test.moc"
