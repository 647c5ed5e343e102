#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/wav_io.h"

namespace tw::sim {

/// The WAV files one side of a call goes to (16 kHz mono 16-bit PCM): a client may name
/// several, switch them mid-call, and a file that fails is reported once and then left.
class WavSinks
{
public:
    /// Files already open stay open and go on; new ones are created (emptied); the rest are
    /// closed. Returns the paths that could not be opened.
    std::vector<std::string> retarget(const std::vector<std::string>& paths);
    /// Appends the block to every open file; a file that fails is added to errors once.
    void write(const std::vector<int16_t>& block, std::vector<std::string>& errors);
    void closeAll() { m_sinks.clear(); }
    bool empty() const { return m_sinks.empty(); }

private:
    struct Sink
    {
        std::string path;
        std::unique_ptr<WavWriter> writer;
        bool failed = false;
    };
    std::vector<Sink> m_sinks;
};

} // namespace tw::sim
