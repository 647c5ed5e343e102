#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QIODevice;

namespace tw {

/// Where decoded 16-bit PCM goes: the sound device (QtAudioOutput) or, in tests, a fake
/// that pulls the data on command. UI thread only.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;
    /// Starts pulling interleaved 16-bit samples from pcm. False, with a reason for the user
    /// in error, when there is no device or it refuses.
    virtual bool start(QIODevice& pcm, int sampleRate, int channels, std::string& error) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    /// Microseconds of audio played since start().
    virtual std::int64_t processedMicros() const = 0;
    /// Called (on the UI thread) when the source has run dry and everything was played.
    std::function<void()> onDrained;
};

using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

/// The sound device through Qt Multimedia's QAudioSink on the default output.
std::unique_ptr<AudioOutput> MakeQtAudioOutput();

} // namespace tw
