#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

/// Band-limited sample-rate conversion of one channel of float samples: a windowed sinc
/// (Kaiser window) whose cut-off sits just below the lower of the two Nyquist frequencies,
/// so that a 44.1 kHz file taken down to 16 kHz does not fold its upper half back into the
/// speech band. Streams: feed blocks with process(), end with finish(). The output has
/// floor(input samples x outRate / inRate) samples.
class PcmResampler
{
public:
    PcmResampler(int inRate, int outRate);

    /// Appends the output that the input so far fully determines.
    void process(const float* in, std::size_t count, std::vector<float>& out);
    /// Appends the rest of the output (the input is taken as silent beyond its end).
    void finish(std::vector<float>& out);

private:
    float sampleAt(std::int64_t index) const;
    float outputAt(std::int64_t k) const;
    float kernel(double t) const;
    void produce(std::int64_t upTo, std::vector<float>& out);

    std::int64_t m_inRate;
    std::int64_t m_outRate;
    bool m_passThrough;
    double m_halfWidth = 0;  ///< kernel half-width in input samples
    double m_tableScale = 0; ///< table entries per input sample
    std::vector<float> m_table;
    std::vector<float> m_buffer; ///< input from m_bufferStart on
    std::int64_t m_bufferStart = 0;
    std::int64_t m_inTotal = 0;
    std::int64_t m_outNext = 0;
};

} // namespace tw
