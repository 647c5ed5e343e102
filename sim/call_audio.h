#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/call_media.h"
#include "sim/wav_io.h"
#include "sim/wav_sinks.h"

namespace tw::sim {

/// The sound of one call as the substitute makes it up: the caller's side (what the local
/// user hears, written to SET_OUTPUT files) and the local microphone (written to
/// SET_CAPTURE_MIC files). The caller keeps quiet while a greeting plays into the call, then
/// speaks: the voice samples once, or a 440 Hz tone without end when no voice was given.
/// The microphone is a 1000 Hz tone, silent while muted.
class CallAudio : public CallMedia
{
public:
    using Voice = std::shared_ptr<const std::vector<int16_t>>;

    explicit CallAudio(Voice voice);

    /// Point the output or microphone capture at these files: files already open stay open
    /// and go on; new ones are created (emptied); the rest are closed. Returns the paths that
    /// could not be opened.
    std::vector<std::string> setOutputFiles(const std::vector<std::string>& paths) override;
    std::vector<std::string> setMicFiles(const std::vector<std::string>& paths) override;

    /// The greeting lasts as long as the file's sound; false when it holds none.
    bool startGreeting(const std::string& path) override;
    void stopGreeting() override { m_greetingLeft = 0; }

    /// A greeting of this many samples starts playing into the call (0: none / stopped).
    void setGreeting(int64_t samples) { m_greetingLeft = samples; }
    bool greetingPlaying() const { return m_greetingLeft > 0; }

    /// Advances the call by count samples and writes them to every open file. Returns true
    /// when a greeting finished playing during this stretch.
    bool advance(int64_t count, bool micMuted) override;

    void closeAll() override;
    std::vector<std::string> takeWriteErrors() override;

private:
    Voice m_voice;
    int64_t m_voicePos = 0;
    int64_t m_greetingLeft = 0;
    int64_t m_callerPhase = 0;
    int64_t m_micPhase = 0;
    WavSinks m_out;
    WavSinks m_mic;
    std::vector<std::string> m_writeErrors;
};

} // namespace tw::sim
