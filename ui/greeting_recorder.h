#pragma once

#include <memory>
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QDialog>
#include <QTimer>

#include "ui/audio_capture.h"
#include "ui/audio_output.h"

class QLabel;
class QPushButton;

namespace tw {

class Prompt;

inline constexpr char kTextCannotRecord[] =
    "Cannot record voice! Please make sure your sound device is well installed and is not used "
    "by other programs.";

/// The greeting recorder: records up to 90 seconds from the sound input in the greeting
/// format (16 kHz, mono, 16-bit), plays the take back, and on OK saves it to the target.
/// Without a saved take the recorded flag stays clear, so that the current greeting is kept.
/// UI thread only.
class CRecordGreetingDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxSeconds = 90;
    static constexpr int kBytesPerSecond = 32000;

    /// Null factories: the default sound input and output.
    CRecordGreetingDlg(std::string target, Prompt& prompt, AudioCaptureFactory capture = {},
                       AudioOutputFactory output = {}, QWidget* parent = nullptr);
    ~CRecordGreetingDlg() override;

    bool recorded() const { return m_recorded; }
    bool isRecording() const { return m_capture != nullptr; }
    bool isPlaying() const { return m_output != nullptr; }
    const QByteArray& take() const { return m_take; }

    QPushButton* recordButton() const { return m_recordButton; }
    QPushButton* playButton() const { return m_playButton; }
    QPushButton* okButton() const { return m_okButton; }
    QLabel* elapsedLabel() const { return m_elapsed; }

    void ToggleRecord();
    void TogglePlay();
    /// The one-second tick while recording; at 90 seconds the recording ends by itself.
    void OnSecond();

    void accept() override;
    void reject() override;

private:
    void startRecording();
    void stopRecording();
    void startPlaying();
    void stopPlaying();
    void showSeconds(int seconds);
    void updateButtons();
    bool saveTake();

    std::string m_target;
    Prompt& m_prompt;
    AudioCaptureFactory m_captureFactory;
    AudioOutputFactory m_outputFactory;
    std::unique_ptr<AudioCapture> m_capture;
    std::unique_ptr<AudioOutput> m_output;
    QByteArray m_take;
    QBuffer m_recordBuffer;
    QBuffer m_playBuffer;
    QTimer m_timer;
    int m_seconds = 0;
    bool m_recorded = false;
    QLabel* m_elapsed = nullptr;
    QPushButton* m_recordButton = nullptr;
    QPushButton* m_playButton = nullptr;
    QPushButton* m_okButton = nullptr;
};

} // namespace tw
