#include "audio/pcm_resample.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

constexpr int kZeroCrossings = 24; // kernel length on each side, in zero crossings
constexpr int kTablePerCrossing = 512;
constexpr double kRolloff = 0.92;   // cut-off as a share of the lower Nyquist frequency
constexpr double kKaiserBeta = 8.0; // about 80 dB stop-band attenuation

double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-12)
            break;
    }
    return sum;
}

} // namespace

PcmResampler::PcmResampler(int inRate, int outRate)
    : m_inRate(inRate > 0 ? inRate : 1), m_outRate(outRate > 0 ? outRate : 1),
      m_passThrough(m_inRate == m_outRate)
{
    if (m_passThrough)
        return;
    // Cut-off in cycles per input sample.
    const double cutoff = 0.5 * kRolloff * std::min(1.0, double(m_outRate) / double(m_inRate));
    const double crossing = 1.0 / (2.0 * cutoff); // input samples between zero crossings
    m_halfWidth = kZeroCrossings * crossing;
    m_tableScale = kTablePerCrossing / crossing;
    const int entries = kZeroCrossings * kTablePerCrossing + 2;
    m_table.resize(static_cast<std::size_t>(entries));
    const double norm = besselI0(kKaiserBeta);
    const double pi = std::acos(-1.0);
    for (int i = 0; i < entries; ++i) {
        const double t = i / m_tableScale; // in input samples
        const double x = 2.0 * cutoff * t;
        const double sinc = i == 0 ? 1.0 : std::sin(pi * x) / (pi * x);
        const double r = t / m_halfWidth;
        const double window = r >= 1.0 ? 0.0 : besselI0(kKaiserBeta * std::sqrt(1 - r * r)) / norm;
        m_table[static_cast<std::size_t>(i)] = static_cast<float>(2.0 * cutoff * sinc * window);
    }
}

float PcmResampler::kernel(double t) const
{
    const double pos = std::fabs(t) * m_tableScale;
    const auto i = static_cast<std::size_t>(pos);
    if (i + 1 >= m_table.size())
        return 0.0f;
    const auto frac = static_cast<float>(pos - double(i));
    return m_table[i] + (m_table[i + 1] - m_table[i]) * frac;
}

float PcmResampler::sampleAt(std::int64_t index) const
{
    if (index < m_bufferStart || index >= m_inTotal)
        return 0.0f;
    return m_buffer[static_cast<std::size_t>(index - m_bufferStart)];
}

float PcmResampler::outputAt(std::int64_t k) const
{
    // Position of output k in input samples: whole part and fraction, exactly.
    const std::int64_t whole = k * m_inRate / m_outRate;
    const double t = double(whole) + double(k * m_inRate % m_outRate) / double(m_outRate);
    const auto reach = static_cast<std::int64_t>(m_halfWidth) + 1;
    double sum = 0.0;
    for (std::int64_t i = whole - reach; i <= whole + reach; ++i)
        sum += double(sampleAt(i)) * double(kernel(t - double(i)));
    return static_cast<float>(sum);
}

void PcmResampler::produce(std::int64_t upTo, std::vector<float>& out)
{
    for (; m_outNext < upTo; ++m_outNext)
        out.push_back(outputAt(m_outNext));
}

void PcmResampler::process(const float* in, std::size_t count, std::vector<float>& out)
{
    if (m_passThrough) {
        out.insert(out.end(), in, in + count);
        m_inTotal += static_cast<std::int64_t>(count);
        return;
    }
    m_buffer.insert(m_buffer.end(), in, in + count);
    m_inTotal += static_cast<std::int64_t>(count);
    // Output k is ready when every input its kernel reaches has arrived.
    const auto reach = static_cast<std::int64_t>(m_halfWidth) + 1;
    const std::int64_t lastWhole = m_inTotal - 1 - reach;
    if (lastWhole >= 0)
        produce(std::min(lastWhole * m_outRate / m_inRate + 1, m_inTotal * m_outRate / m_inRate),
                out);
    // Keep only what later outputs can still reach.
    const std::int64_t keepFrom = m_outNext * m_inRate / m_outRate - reach;
    if (keepFrom > m_bufferStart + 65536) {
        m_buffer.erase(m_buffer.begin(),
                       m_buffer.begin() + static_cast<std::ptrdiff_t>(keepFrom - m_bufferStart));
        m_bufferStart = keepFrom;
    }
}

void PcmResampler::finish(std::vector<float>& out)
{
    if (m_passThrough)
        return;
    produce(m_inTotal * m_outRate / m_inRate, out);
}

} // namespace tw
