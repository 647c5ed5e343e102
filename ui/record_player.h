#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QIODevice>
#include <QObject>
#include <QTimer>

#include "audio/codec_sndfile.h"
#include "ui/audio_output.h"

namespace tw {

class CNavigator;

/// A record file decoded by libsndfile into 16-bit PCM on demand, for the sound output to
/// pull. Every record format reads the same way (WAV of any codec, MP3), which the media
/// framework's own parsers do not manage.
class PcmSource : public QIODevice
{
public:
    bool open(const std::string& path, std::string& error);
    int sampleRate() const { return m_reader.info().samplerate; }
    int channels() const { return m_reader.info().channels; }
    std::int64_t frames() const { return m_reader.info().frames; }
    /// Goes to a frame; the next read starts there.
    bool seekFrame(std::int64_t frame);
    /// The frame the next read starts at.
    std::int64_t frame() const;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    SndFileReader m_reader;
};

/// One open record file. Positions exchanged with the windows are hundredths of a second.
class CPlayback
{
public:
    enum State { Stopped = 0, Paused = 1, Running = 2 };
    enum Command { Opened = 0, Played = 1, PauseResumed = 2, StoppedCmd = 3 };

    int state() const { return m_state; }
    int lastCommand() const { return m_lastCommand; }
    /// Length in hundredths of a second.
    std::uint32_t duration() const { return m_duration; }
    const std::string& path() const { return m_path; }

private:
    friend class CRecordPlayer;
    std::string m_path;
    PcmSource m_source;
    std::unique_ptr<AudioOutput> m_output;
    std::uint32_t m_duration = 0;
    std::uint32_t m_base = 0; ///< position (hundredths) where the output last started
    int m_state = Stopped;
    int m_lastCommand = Opened;
};

/// The playback engine of one record window: opens a record as a CPlayback, plays, pauses,
/// stops and seeks it, and keeps the window's position slider up to date with the 100 ms
/// position timer (1004) while playing. When a record has played to its end it stops by
/// itself (back at the start) and tells the window through recordEnded(), posted. UI thread
/// only.
class CRecordPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPositionTimerId = 1004;
    static constexpr int kPositionPeriodMs = 100;

    explicit CRecordPlayer(QObject* parent = nullptr);
    ~CRecordPlayer() override;

    /// The position displays (the control panel's slider, the side panel's bar); any may be
    /// absent.
    void AddDisplay(CNavigator* display);
    /// Replaces the sound device of this player (tests).
    void SetOutputFactory(AudioOutputFactory factory) { m_factory = std::move(factory); }
    /// The sound device of players made from now on (tests run without a sound card).
    static void SetDefaultOutputFactory(AudioOutputFactory factory);

    /// Null, with a reason in error, when the file cannot be decoded.
    std::unique_ptr<CPlayback> OpenPlayback(const std::string& path, std::string* error);
    /// Starts or resumes at the displays' position. False (state unchanged) when the sound
    /// output refuses; error then says why.
    bool Play(CPlayback& playback, std::string* error = nullptr);
    void TogglePause(CPlayback& playback);
    void Stop(CPlayback& playback);
    void ClosePlayback(std::unique_ptr<CPlayback>& playback);
    /// Hundredths of a second, at most the duration.
    std::uint32_t GetPosition(const CPlayback& playback) const;
    void Seek(CPlayback& playback, std::uint32_t hundredths);
    /// Handler of timer 1004: the displays follow the playback.
    void OnPositionTimer();
    bool PositionTimerActive() const { return m_timer.isActive(); }

    /// The length of any audio file in hundredths of a second; 0 when it cannot be read.
    static std::uint32_t GetMediaDuration(const std::string& path);

signals:
    /// A record played to its end (already stopped and back at the start).
    void recordEnded();

private:
    bool startOutput(CPlayback& playback, std::string* error);
    void onDrained(CPlayback* playback);
    void setDisplays(std::uint32_t range, std::uint32_t position);
    std::uint32_t displayPosition(const CPlayback& playback) const;

    std::vector<CNavigator*> m_displays;
    AudioOutputFactory m_factory;
    QTimer m_timer;
    CPlayback* m_timed = nullptr; ///< the playback the timer follows
};

} // namespace tw
