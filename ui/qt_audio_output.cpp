#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include "ui/audio_format.h"
#include "ui/audio_output.h"

namespace tw {
namespace {

class QtAudioOutput : public AudioOutput
{
public:
    bool start(QIODevice& pcm, int sampleRate, int channels, std::string& error) override
    {
        stop();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            error = "No sound output device was found, so the record cannot be played.";
            return false;
        }
        const auto format = Int16FormatFor(device, sampleRate, channels);
        if (!format) {
            error = "The sound device \"" + device.description().toStdString() +
                    "\" cannot play this record's format.";
            return false;
        }
        m_sink = std::make_unique<QAudioSink>(device, *format);
        QObject::connect(m_sink.get(), &QAudioSink::stateChanged, [this](QAudio::State state) {
            if (state != QAudio::IdleState || !m_sink || m_sink->error() != QAudio::NoError)
                return;
            // Reported later, from the event loop: the receiver may delete this sink. A sink
            // deleted first takes the queued call with it.
            QMetaObject::invokeMethod(
                m_sink.get(),
                [this] {
                    if (onDrained)
                        onDrained();
                },
                Qt::QueuedConnection);
        });
        m_sink->start(&pcm);
        if (m_sink->error() != QAudio::NoError) {
            error = "The sound device \"" + device.description().toStdString() +
                    "\" could not be opened.";
            m_sink.reset();
            return false;
        }
        return true;
    }
    void suspend() override
    {
        if (m_sink)
            m_sink->suspend();
    }
    void resume() override
    {
        if (m_sink)
            m_sink->resume();
    }
    void stop() override
    {
        if (!m_sink)
            return;
        m_sink->disconnect();
        m_sink->stop();
        m_sink.reset();
    }
    std::int64_t processedMicros() const override { return m_sink ? m_sink->processedUSecs() : 0; }
    ~QtAudioOutput() override { stop(); }

private:
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace

std::unique_ptr<AudioOutput> MakeQtAudioOutput()
{
    return std::make_unique<QtAudioOutput>();
}

} // namespace tw
