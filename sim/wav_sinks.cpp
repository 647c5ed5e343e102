#include "sim/wav_sinks.h"

#include <algorithm>

namespace tw::sim {

std::vector<std::string> WavSinks::retarget(const std::vector<std::string>& paths)
{
    std::vector<Sink> kept;
    std::vector<std::string> failures;
    for (const std::string& path : paths) {
        if (std::any_of(kept.begin(), kept.end(), [&](const Sink& s) { return s.path == path; }))
            continue;
        auto old = std::find_if(m_sinks.begin(), m_sinks.end(),
                                [&](const Sink& s) { return s.path == path && s.writer; });
        if (old != m_sinks.end()) {
            kept.push_back(std::move(*old));
            m_sinks.erase(old);
            continue;
        }
        Sink sink{path, std::make_unique<WavWriter>()};
        if (!sink.writer->open(path)) {
            failures.push_back(path);
            continue;
        }
        kept.push_back(std::move(sink));
    }
    m_sinks = std::move(kept); // whatever was not kept is closed here
    return failures;
}

void WavSinks::write(const std::vector<int16_t>& block, std::vector<std::string>& errors)
{
    for (Sink& sink : m_sinks) {
        if (sink.failed || !sink.writer)
            continue;
        if (!sink.writer->write(block.data(), block.size())) {
            sink.failed = true;
            errors.push_back(sink.path);
        }
    }
}

} // namespace tw::sim
