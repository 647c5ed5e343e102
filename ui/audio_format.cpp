#include "ui/audio_format.h"

namespace tw {

std::optional<QAudioFormat> Int16FormatFor(const QAudioDevice& device, int sampleRate, int channels)
{
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || !device.isFormatSupported(format))
        return std::nullopt;
    return format;
}

} // namespace tw
