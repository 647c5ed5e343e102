#include "ui/greeting_recorder.h"

#include <sndfile.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/codec_sndfile.h"
#include "platform/prompt.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

constexpr int kRate = 16000;

} // namespace

CRecordGreetingDlg::CRecordGreetingDlg(std::string target, Prompt& prompt,
                                       AudioCaptureFactory capture, AudioOutputFactory output,
                                       QWidget* parent)
    : QDialog(parent), m_target(std::move(target)), m_prompt(prompt),
      m_captureFactory(capture ? std::move(capture) : AudioCaptureFactory(MakeQtAudioCapture)),
      m_outputFactory(output ? std::move(output) : AudioOutputFactory(MakeQtAudioOutput)),
      m_recordBuffer(&m_take)
{
    setObjectName("RecordGreeting");
    setWindowTitle("Record Greeting Message");
    auto* hint = new QLabel("Press Record and speak your greeting (at most 90 seconds).", this);
    m_elapsed = new QLabel(this);
    m_elapsed->setAlignment(Qt::AlignCenter);
    QFont big = m_elapsed->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    m_elapsed->setFont(big);
    m_recordButton = new QPushButton("&Record", this);
    m_playButton = new QPushButton("&Play", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_recordButton->setAutoDefault(false);
    m_playButton->setAutoDefault(false);

    auto* row = new QHBoxLayout;
    row->addWidget(m_recordButton);
    row->addWidget(m_playButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_elapsed);
    layout->addLayout(row);
    layout->addWidget(buttons);

    connect(m_recordButton, &QPushButton::clicked, this, [this] { ToggleRecord(); });
    connect(m_playButton, &QPushButton::clicked, this, [this] { TogglePlay(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &CRecordGreetingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRecordGreetingDlg::reject);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnSecond(); });
    showSeconds(0);
    updateButtons();
}

CRecordGreetingDlg::~CRecordGreetingDlg()
{
    stopPlaying();
    stopRecording();
}

void CRecordGreetingDlg::showSeconds(int seconds)
{
    m_elapsed->setText(QString("%1 seconds").arg(seconds));
}

void CRecordGreetingDlg::updateButtons()
{
    m_recordButton->setText(isRecording() ? "&Stop" : "&Record");
    m_playButton->setText(isPlaying() ? "&Stop" : "&Play");
    m_recordButton->setEnabled(!isPlaying());
    m_playButton->setEnabled(!isRecording() && !m_take.isEmpty());
    m_okButton->setEnabled(!isRecording());
}

void CRecordGreetingDlg::ToggleRecord()
{
    if (isRecording())
        stopRecording();
    else
        startRecording();
    updateButtons();
}

void CRecordGreetingDlg::TogglePlay()
{
    if (isPlaying())
        stopPlaying();
    else
        startPlaying();
    updateButtons();
}

void CRecordGreetingDlg::startRecording()
{
    stopPlaying();
    m_recordBuffer.close();
    m_take.clear();
    m_recordBuffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
    auto capture = m_captureFactory();
    std::string error;
    if (!capture || !capture->start(m_recordBuffer, kRate, 1, error)) {
        m_recordBuffer.close();
        uiLog("CRecordGreetingDlg::OnRecord() - " + error);
        m_prompt.message(kTextCannotRecord, Prompt::Icon::Warning, Prompt::Buttons::Ok);
        return;
    }
    m_capture = std::move(capture);
    m_seconds = 0;
    showSeconds(0);
    m_timer.start();
}

void CRecordGreetingDlg::stopRecording()
{
    m_timer.stop();
    if (!m_capture)
        return;
    m_capture->stop();
    m_capture.reset();
    m_recordBuffer.close();
    // The input may deliver a little more than the limit before it stops.
    constexpr qsizetype limit = qsizetype(kMaxSeconds) * kBytesPerSecond;
    if (m_take.size() > limit)
        m_take.truncate(limit);
    m_take.truncate(m_take.size() - m_take.size() % 2);
}

void CRecordGreetingDlg::OnSecond()
{
    if (!isRecording())
        return;
    m_seconds = std::min(m_seconds + 1, kMaxSeconds);
    showSeconds(m_seconds);
    if (m_seconds >= kMaxSeconds) {
        stopRecording();
        updateButtons();
    }
}

void CRecordGreetingDlg::startPlaying()
{
    if (m_take.isEmpty())
        return;
    m_playBuffer.close();
    m_playBuffer.setData(m_take);
    m_playBuffer.open(QIODevice::ReadOnly);
    auto output = m_outputFactory();
    std::string error;
    if (!output || !output->start(m_playBuffer, kRate, 1, error)) {
        m_playBuffer.close();
        m_prompt.message(error.empty() ? "The greeting cannot be played." : error,
                         Prompt::Icon::Warning, Prompt::Buttons::Ok);
        return;
    }
    // Handled from the event loop: the output that reports its end must not be deleted
    // inside its own report.
    output->onDrained = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                stopPlaying();
                updateButtons();
            },
            Qt::QueuedConnection);
    };
    m_output = std::move(output);
}

void CRecordGreetingDlg::stopPlaying()
{
    if (!m_output)
        return;
    m_output->onDrained = nullptr;
    m_output->stop();
    m_output.reset();
    m_playBuffer.close();
}

bool CRecordGreetingDlg::saveTake()
{
    SndFileWriter writer;
    std::string error;
    const auto* samples = reinterpret_cast<const short*>(m_take.constData());
    if (writer.open(m_target, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, 1, error) &&
        writer.writeFrames(samples, m_take.size() / 2) && writer.close(error))
        return true;
    uiLog("CRecordGreetingDlg::OnOK() - " + m_target + " cannot be written: " + error);
    m_prompt.message("The greeting cannot be saved: " + (error.empty() ? m_target : error),
                     Prompt::Icon::Warning, Prompt::Buttons::Ok);
    return false;
}

void CRecordGreetingDlg::accept()
{
    stopRecording();
    stopPlaying();
    if (!m_take.isEmpty()) {
        if (!saveTake()) {
            updateButtons();
            return;
        }
        m_recorded = true;
    }
    QDialog::accept();
}

void CRecordGreetingDlg::reject()
{
    stopRecording();
    stopPlaying();
    QDialog::reject();
}

} // namespace tw
