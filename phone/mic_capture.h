// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

class QAudioSource;
class QIODevice;

namespace tw::phone {

/// The default microphone at 16 kHz mono 16-bit, for calls taken on the sound card: the SIP
/// library offers no tap of the local side alone, so the phone listens to the microphone
/// beside it (the sound server lets both read it).
class MicCapture : public QObject
{
    Q_OBJECT

public:
    using Sink = std::function<void(const std::vector<int16_t>&)>;

    explicit MicCapture(QObject* parent = nullptr);
    ~MicCapture() override;

    /// Starts handing the samples to sink; false when there is no microphone.
    bool start(Sink sink);
    void stop();

private:
    void drain();

    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_device = nullptr;
    Sink m_sink;
};

} // namespace tw::phone
