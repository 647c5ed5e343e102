#include "ui_test_util.h"

#include <QFile>

namespace tw::test {
namespace {

void put32(QByteArray& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

void put16(QByteArray& b, std::uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

} // namespace

std::string BuildDataFolder()
{
    return std::string(TW_BINARY_DIR) + "/share/tellwick";
}

QByteArray MakeBmp(const BmpShape& s, std::uint32_t fill)
{
    const int colours = s.bitsPerPixel == 8 ? (s.coloursUsed ? int(s.coloursUsed) : 256) : 0;
    const int tableColours = s.tableColours >= 0 ? s.tableColours : colours;
    const int row = ((s.bitsPerPixel * s.width + 7) / 8 + 3) / 4 * 4;
    QByteArray b;
    b.append("BM");
    put32(b, 0); // file size: not read
    put32(b, 0);
    put32(b, 54 + 4 * tableColours);
    put32(b, s.infoSize);
    put32(b, std::uint32_t(s.width));
    put32(b, std::uint32_t(s.height));
    put16(b, 1);
    put16(b, std::uint16_t(s.bitsPerPixel));
    put32(b, s.compression);
    put32(b, std::uint32_t(row * s.height));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.coloursUsed);
    put32(b, 0);
    for (int i = 0; i < tableColours; ++i)
        put32(b, i == 1 ? fill : 0);
    for (int y = 0; y < s.height; ++y) {
        QByteArray line;
        for (int x = 0; x < s.width; ++x) {
            switch (s.bitsPerPixel) {
            case 8:
                line.append(char(1));
                break;
            case 16: // 5-5-5 of the fill colour
                put16(line, std::uint16_t((((fill >> 19) & 31) << 10) | (((fill >> 11) & 31) << 5) |
                                          ((fill >> 3) & 31)));
                break;
            case 24:
                line.append(char(fill & 0xFF));
                line.append(char((fill >> 8) & 0xFF));
                line.append(char((fill >> 16) & 0xFF));
                break;
            case 32:
                put32(line, fill);
                break;
            default:
                line.append(char(0x11));
                break;
            }
        }
        line.append(QByteArray(row - line.size() > 0 ? row - line.size() : 0, '\0'));
        b.append(line.left(row));
    }
    return b;
}

bool WriteFile(const std::string& path, const QByteArray& bytes)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace tw::test

#include <cmath>

#include "platform/file_util.h"
#include "records/record_storage.h"
#include "records/riff_wave_file.h"
#include "ui/record_player.h"

namespace tw::test {

RecordInfo AddRecord(CRecordStorage& storage, std::uint32_t type, std::uint32_t start,
                     std::uint32_t seconds, const std::string& partner, std::uint32_t flags,
                     double audioSeconds)
{
    const std::string day = JoinPath(storage.GetFolder(), RecordDateFolderName(start));
    EnsureFolderPath(day);
    const std::string path =
        JoinPath(day, MakeRecordFileName(type, start, start + seconds, partner));
    const auto frames = static_cast<std::size_t>(audioSeconds * 16000);
    std::vector<std::int16_t> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = std::int16_t(8000 * std::sin(double(i) * 0.2) * (i < frames / 2 ? 0.2 : 1));
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    const auto bytes = std::uint32_t(samples.size() * 2);
    if (wav.Open(path, &format, CRiffWaveFile::kModeWrite) != hr::ok ||
        wav.Write(bytes, reinterpret_cast<const char*>(samples.data()), nullptr) != hr::ok ||
        wav.Close() != hr::ok)
        qFatal("cannot write %s", path.c_str());
    RecordInfo info;
    info.type = type;
    info.SetPath(path);
    info.SetSkypeName(partner);
    info.SetFullName(partner + " full");
    info.startTime = start;
    info.endTime = start + seconds;
    info.flags = flags;
    info.size = bytes + 44;
    if (storage.Index().AddRecord(info) != 1)
        qFatal("cannot add the record of %s", path.c_str());
    return info;
}

bool FakeAudioOutput::start(QIODevice& pcm, int sampleRate, int channels, std::string& error)
{
    if (deviceMissing) {
        error = "No sound output device was found, so the record cannot be played.";
        return false;
    }
    m_pcm = &pcm;
    m_rate = sampleRate;
    m_channels = channels;
    m_frames = 0;
    m_suspended = false;
    m_startFrame = -1;
    if (auto* source = dynamic_cast<PcmSource*>(&pcm))
        m_startFrame = source->frame();
    return true;
}

void FakeAudioOutput::pull(int ms)
{
    if (!m_pcm || m_suspended)
        return;
    QByteArray buffer(int(std::int64_t(ms) * m_rate / 1000) * 2 * m_channels, '\0');
    const qint64 got = m_pcm->read(buffer.data(), buffer.size());
    if (got > 0)
        m_frames += got / (2 * m_channels);
    if (got < buffer.size() && onDrained)
        onDrained();
}

AudioOutputFactory FakeOutputFactory()
{
    return [] { return std::make_unique<FakeAudioOutput>(); };
}

} // namespace tw::test
