#include "sim/call_audio.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tw::sim {

namespace {

constexpr double kCallerToneHz = 440.0;
constexpr double kMicToneHz = 1000.0;
constexpr double kCallerAmplitude = 8000.0;
constexpr double kMicAmplitude = 6000.0;

int16_t tone(double hz, double amplitude, int64_t n)
{
    // The phase counter wraps every second so long calls keep full precision.
    const double t = double(n % kSampleRate) / kSampleRate;
    return int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * t)));
}

} // namespace

CallAudio::CallAudio(Voice voice) : m_voice(std::move(voice))
{}

bool CallAudio::startGreeting(const std::string& path)
{
    const int64_t samples = soundLengthIn16kSamples(path);
    setGreeting(std::max<int64_t>(samples, 0));
    return samples > 0;
}

std::vector<std::string> CallAudio::setOutputFiles(const std::vector<std::string>& paths)
{
    return m_out.retarget(paths);
}

std::vector<std::string> CallAudio::setMicFiles(const std::vector<std::string>& paths)
{
    return m_mic.retarget(paths);
}

bool CallAudio::advance(int64_t count, bool micMuted)
{
    if (count <= 0)
        return false;
    std::vector<int16_t> caller(size_t(count), 0);
    std::vector<int16_t> mic(size_t(count), 0);
    bool greetingEnded = false;
    for (int64_t i = 0; i < count; ++i) {
        if (m_greetingLeft > 0) {
            if (--m_greetingLeft == 0)
                greetingEnded = true;
        } else if (m_voice) {
            if (m_voicePos < int64_t(m_voice->size()))
                caller[size_t(i)] = (*m_voice)[size_t(m_voicePos++)];
        } else {
            caller[size_t(i)] = tone(kCallerToneHz, kCallerAmplitude, m_callerPhase++);
        }
        const int16_t m = tone(kMicToneHz, kMicAmplitude, m_micPhase++);
        mic[size_t(i)] = micMuted ? 0 : m;
    }
    m_out.write(caller, m_writeErrors);
    m_mic.write(mic, m_writeErrors);
    return greetingEnded;
}

void CallAudio::closeAll()
{
    m_out.closeAll();
    m_mic.closeAll();
}

std::vector<std::string> CallAudio::takeWriteErrors()
{
    return std::exchange(m_writeErrors, {});
}

} // namespace tw::sim
