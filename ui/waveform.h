#pragma once

#include <cstdint>
#include <map>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QObject>

namespace tw {

/// Peak levels (0…1) of an audio file in `buckets` equal slices, or empty when it cannot be
/// read. Stops early (empty result) when stop is requested.
std::vector<float> ComputePeaks(const std::string& path, std::size_t buckets,
                                std::stop_token stop = {});

/// The waveform strips of records, computed on a worker thread and kept per record (start
/// time and file path, so a converted file is measured again). One computation at a time: a
/// new request abandons the one running. UI thread only; ready() arrives on it.
class WaveformCache : public QObject
{
    Q_OBJECT

public:
    static constexpr std::size_t kBuckets = 800;
    static constexpr std::size_t kMaxEntries = 64;

    explicit WaveformCache(QObject* parent = nullptr);
    ~WaveformCache() override;

    /// Emits ready() at once when cached, else when the worker has finished.
    void request(std::uint32_t startTime, const std::string& path);
    const std::vector<float>* cached(std::uint32_t startTime, const std::string& path) const;
    /// Waits for the running computation (tests).
    void waitIdle();

signals:
    void ready(std::uint32_t startTime, const std::vector<float>& peaks);

private:
    void store(std::uint32_t startTime, const std::string& path, std::vector<float> peaks);

    using Key = std::pair<std::uint32_t, std::string>;
    std::map<Key, std::vector<float>> m_cache;
    std::vector<Key> m_order; ///< oldest first, for trimming
    std::jthread m_worker;
};

} // namespace tw
