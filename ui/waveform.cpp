#include "ui/waveform.h"

#include <algorithm>
#include <cmath>

#include "audio/codec_sndfile.h"

namespace tw {

std::vector<float> ComputePeaks(const std::string& path, std::size_t buckets, std::stop_token stop)
{
    SndFileReader reader;
    std::string error;
    if (buckets == 0 || !reader.openWithAudio(path, error))
        return {};
    const auto total = static_cast<std::uint64_t>(reader.info().frames);
    const int channels = reader.info().channels;
    std::vector<float> peaks(buckets, 0.f);
    std::vector<float> block(4096 * static_cast<std::size_t>(channels));
    std::uint64_t frame = 0;
    for (;;) {
        if (stop.stop_requested())
            return {};
        const sf_count_t got = reader.readFrames(block.data(), 4096);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i, ++frame) {
            const std::size_t b = std::min<std::uint64_t>(frame * buckets / total, buckets - 1);
            for (int c = 0; c < channels; ++c)
                peaks[b] = std::max(peaks[b], std::fabs(block[i * channels + c]));
        }
    }
    // Speech sits well below full scale: scale to the loudest slice, with a gentle curve so
    // quiet talk still shows.
    const float top = *std::max_element(peaks.begin(), peaks.end());
    if (top > 0)
        for (float& p : peaks)
            p = std::sqrt(p / top);
    return peaks;
}

WaveformCache::WaveformCache(QObject* parent) : QObject(parent)
{}

WaveformCache::~WaveformCache()
{
    m_worker.request_stop();
}

const std::vector<float>* WaveformCache::cached(std::uint32_t startTime,
                                                const std::string& path) const
{
    const auto it = m_cache.find({startTime, path});
    return it == m_cache.end() ? nullptr : &it->second;
}

void WaveformCache::request(std::uint32_t startTime, const std::string& path)
{
    if (const auto* peaks = cached(startTime, path)) {
        emit ready(startTime, *peaks);
        return;
    }
    m_worker.request_stop();
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::jthread([this, startTime, path](std::stop_token stop) {
        std::vector<float> peaks = ComputePeaks(path, kBuckets, stop);
        if (stop.stop_requested())
            return;
        // The cache outlives the worker (its destructor joins), so this call is safe to queue.
        QMetaObject::invokeMethod(
            this,
            [this, startTime, path, peaks = std::move(peaks)]() mutable {
                store(startTime, path, std::move(peaks));
            },
            Qt::QueuedConnection);
    });
}

void WaveformCache::store(std::uint32_t startTime, const std::string& path,
                          std::vector<float> peaks)
{
    Key key{startTime, path};
    if (!m_cache.count(key)) {
        m_order.push_back(key);
        if (m_order.size() > kMaxEntries) {
            m_cache.erase(m_order.front());
            m_order.erase(m_order.begin());
        }
    }
    auto& slot = m_cache[key] = std::move(peaks);
    emit ready(startTime, slot);
}

void WaveformCache::waitIdle()
{
    if (m_worker.joinable())
        m_worker.join();
}

} // namespace tw
