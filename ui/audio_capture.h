#pragma once

#include <functional>
#include <memory>
#include <string>

class QIODevice;

namespace tw {

/// Where recorded 16-bit PCM comes from: the default sound input (Qt Multimedia's
/// QAudioSource) or, in tests, a fake that writes on command. UI thread only.
class AudioCapture
{
public:
    virtual ~AudioCapture() = default;
    /// Starts writing 16-bit samples at the rate and channel count into sink. False, with a
    /// reason in error, when there is no input device or it refuses.
    virtual bool start(QIODevice& sink, int sampleRate, int channels, std::string& error) = 0;
    virtual void stop() = 0;
};

using AudioCaptureFactory = std::function<std::unique_ptr<AudioCapture>()>;

/// The default sound input through QAudioSource.
std::unique_ptr<AudioCapture> MakeQtAudioCapture();

} // namespace tw
