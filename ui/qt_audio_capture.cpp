#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>

#include "ui/audio_capture.h"
#include "ui/audio_format.h"

namespace tw {
namespace {

class QtAudioCapture : public AudioCapture
{
public:
    bool start(QIODevice& sink, int sampleRate, int channels, std::string& error) override
    {
        stop();
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        if (device.isNull()) {
            error = "no sound input device";
            return false;
        }
        const auto format = Int16FormatFor(device, sampleRate, channels);
        if (!format) {
            error = "the input \"" + device.description().toStdString() +
                    "\" cannot record 16-bit audio at " + std::to_string(sampleRate) + " Hz";
            return false;
        }
        m_source = std::make_unique<QAudioSource>(device, *format);
        m_source->start(&sink);
        if (m_source->error() != QAudio::NoError) {
            error = "the input \"" + device.description().toStdString() + "\" cannot be opened";
            m_source.reset();
            return false;
        }
        return true;
    }
    void stop() override
    {
        if (!m_source)
            return;
        m_source->stop();
        m_source.reset();
    }
    ~QtAudioCapture() override { stop(); }

private:
    std::unique_ptr<QAudioSource> m_source;
};

} // namespace

std::unique_ptr<AudioCapture> MakeQtAudioCapture()
{
    return std::make_unique<QtAudioCapture>();
}

} // namespace tw
