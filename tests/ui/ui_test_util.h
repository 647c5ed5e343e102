#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>

namespace tw::test {

/// The build tree's program data folder (skins as installed).
std::string BuildDataFolder();

/// A BMP as the skin writes it: 14-byte file header, 40-byte information header, colour
/// table, rows. Fields can be bent to make bad files.
struct BmpShape
{
    int width = 3;
    int height = 2;
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t infoSize = 40;
    int tableColours = -1; ///< colours actually written (-1: as the header says)
};
QByteArray MakeBmp(const BmpShape& shape, std::uint32_t fill = 0x00336699);

/// Writes bytes to a file; false when that fails.
bool WriteFile(const std::string& path, const QByteArray& bytes);

} // namespace tw::test

#include <memory>

#include "records/record_info.h"
#include "ui/audio_output.h"

namespace tw {
class CRecordStorage;
}

namespace tw::test {

/// A record with a real WAV file (audioSeconds of a 16 kHz tone) added to the storage's
/// index; length in the list is `seconds`.
RecordInfo AddRecord(CRecordStorage& storage, std::uint32_t type, std::uint32_t start,
                     std::uint32_t seconds, const std::string& partner, std::uint32_t flags = 0,
                     double audioSeconds = 0.5);

/// A sound output that plays only when told: pull(ms) consumes that much audio.
class FakeAudioOutput : public AudioOutput
{
public:
    static inline bool deviceMissing = false;
    static inline FakeAudioOutput* last = nullptr;

    FakeAudioOutput() { last = this; }
    ~FakeAudioOutput() override
    {
        if (last == this)
            last = nullptr;
    }
    bool start(QIODevice& pcm, int sampleRate, int channels, std::string& error) override;
    void suspend() override { m_suspended = true; }
    void resume() override { m_suspended = false; }
    void stop() override { m_pcm = nullptr; }
    std::int64_t processedMicros() const override { return m_frames * 1000000 / m_rate; }
    /// Plays ms of audio; at the end of the source reports it drained.
    void pull(int ms);
    bool suspended() const { return m_suspended; }
    /// The frame the source was at when start() ran.
    std::int64_t startedAtFrame() const { return m_startFrame; }

private:
    QIODevice* m_pcm = nullptr;
    int m_rate = 16000;
    int m_channels = 1;
    std::int64_t m_frames = 0;
    std::int64_t m_startFrame = -1;
    bool m_suspended = false;
};

AudioOutputFactory FakeOutputFactory();

} // namespace tw::test
