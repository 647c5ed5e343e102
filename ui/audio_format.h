#pragma once

#include <optional>

#include <QAudioDevice>
#include <QAudioFormat>

namespace tw {

/// 16-bit PCM at the rate and channel count, when the device takes it; nullopt otherwise
/// (a null device included).
std::optional<QAudioFormat> Int16FormatFor(const QAudioDevice& device, int sampleRate,
                                           int channels);

} // namespace tw
