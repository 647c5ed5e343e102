#include "ui/record_player.h"

#include <algorithm>

#include "ui/navigator.h"

namespace tw {

bool PcmSource::open(const std::string& path, std::string& error)
{
    if (!m_reader.open(path, error))
        return false;
    return QIODevice::open(QIODevice::ReadOnly);
}

bool PcmSource::seekFrame(std::int64_t frame)
{
    return m_reader.handle() && sf_seek(m_reader.handle(), frame, SEEK_SET) >= 0;
}

std::int64_t PcmSource::frame() const
{
    return m_reader.handle() ? sf_seek(m_reader.handle(), 0, SEEK_CUR) : -1;
}

qint64 PcmSource::readData(char* data, qint64 maxSize)
{
    const int frameBytes = 2 * std::max(1, channels());
    const sf_count_t want = maxSize / frameBytes;
    if (want <= 0)
        return 0;
    const sf_count_t got = m_reader.readFrames(reinterpret_cast<short*>(data), want);
    return got > 0 ? got * frameBytes : 0;
}

namespace {

AudioOutputFactory& defaultFactory()
{
    static AudioOutputFactory factory = &MakeQtAudioOutput;
    return factory;
}

} // namespace

void CRecordPlayer::SetDefaultOutputFactory(AudioOutputFactory factory)
{
    defaultFactory() = factory ? std::move(factory) : AudioOutputFactory(&MakeQtAudioOutput);
}

CRecordPlayer::CRecordPlayer(QObject* parent) : QObject(parent), m_factory(defaultFactory())
{
    m_timer.setInterval(kPositionPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CRecordPlayer::OnPositionTimer);
}

CRecordPlayer::~CRecordPlayer() = default;

void CRecordPlayer::AddDisplay(CNavigator* display)
{
    if (display)
        m_displays.push_back(display);
}

std::unique_ptr<CPlayback> CRecordPlayer::OpenPlayback(const std::string& path, std::string* error)
{
    auto playback = std::make_unique<CPlayback>();
    std::string why;
    if (!playback->m_source.open(path, why)) {
        if (error)
            *error = why;
        return nullptr;
    }
    playback->m_path = path;
    const auto& src = playback->m_source;
    playback->m_duration = static_cast<std::uint32_t>(std::max<std::int64_t>(0, src.frames()) *
                                                      100 / std::max(1, src.sampleRate()));
    setDisplays(std::max<std::uint32_t>(playback->m_duration, 1), 1);
    return playback;
}

std::uint32_t CRecordPlayer::displayPosition(const CPlayback& playback) const
{
    // The slider's position p stands for p - 1 hundredths.
    for (CNavigator* d : m_displays)
        return std::min(d->GetPos() - 1, playback.m_duration);
    return GetPosition(playback);
}

bool CRecordPlayer::startOutput(CPlayback& playback, std::string* error)
{
    const std::uint32_t at = displayPosition(playback);
    const auto frame = std::int64_t(at) * playback.m_source.sampleRate() / 100;
    playback.m_source.seekFrame(frame);
    if (!playback.m_output) {
        playback.m_output = m_factory();
        CPlayback* pb = &playback;
        playback.m_output->onDrained = [this, pb] { onDrained(pb); };
    }
    std::string why;
    if (!playback.m_output->start(playback.m_source, playback.m_source.sampleRate(),
                                  playback.m_source.channels(), why)) {
        playback.m_output.reset();
        if (error)
            *error = why;
        return false;
    }
    playback.m_base = at;
    return true;
}

bool CRecordPlayer::Play(CPlayback& playback, std::string* error)
{
    if (playback.m_state != CPlayback::Running) {
        const bool moved = displayPosition(playback) != GetPosition(playback);
        if (playback.m_state == CPlayback::Paused && !moved && playback.m_output) {
            playback.m_output->resume();
        } else if (!startOutput(playback, error)) {
            return false;
        }
        playback.m_state = CPlayback::Running;
    }
    m_timed = &playback;
    m_timer.start();
    playback.m_lastCommand = CPlayback::Played;
    return true;
}

void CRecordPlayer::TogglePause(CPlayback& playback)
{
    if (playback.m_state == CPlayback::Paused) {
        const bool moved = displayPosition(playback) != GetPosition(playback);
        if (moved || !playback.m_output) {
            if (!startOutput(playback, nullptr))
                return;
        } else {
            playback.m_output->resume();
        }
        playback.m_state = CPlayback::Running;
        m_timed = &playback;
        m_timer.start();
    } else if (playback.m_state == CPlayback::Running) {
        const std::uint32_t at = GetPosition(playback);
        if (playback.m_output)
            playback.m_output->suspend();
        playback.m_state = CPlayback::Paused;
        m_timer.stop();
        setDisplays(std::max<std::uint32_t>(playback.m_duration, 1), at + 1);
    }
    playback.m_lastCommand = CPlayback::PauseResumed;
}

void CRecordPlayer::Stop(CPlayback& playback)
{
    if (playback.m_output)
        playback.m_output->stop();
    playback.m_output.reset();
    playback.m_state = CPlayback::Stopped;
    playback.m_base = 0;
    playback.m_source.seekFrame(0);
    m_timer.stop();
    m_timed = nullptr;
    for (CNavigator* d : m_displays)
        d->SetPos(1);
    playback.m_lastCommand = CPlayback::StoppedCmd;
}

void CRecordPlayer::ClosePlayback(std::unique_ptr<CPlayback>& playback)
{
    if (!playback)
        return;
    if (playback->m_output)
        playback->m_output->stop();
    if (m_timed == playback.get()) {
        m_timer.stop();
        m_timed = nullptr;
    }
    setDisplays(1, 1);
    playback.reset();
}

std::uint32_t CRecordPlayer::GetPosition(const CPlayback& playback) const
{
    if (playback.m_state == CPlayback::Stopped)
        return playback.m_base;
    const std::int64_t played =
        playback.m_output ? playback.m_output->processedMicros() / 10000 : 0;
    return static_cast<std::uint32_t>(
        std::min<std::int64_t>(playback.m_base + played, playback.m_duration));
}

void CRecordPlayer::Seek(CPlayback& playback, std::uint32_t hundredths)
{
    hundredths = std::min(hundredths, playback.m_duration);
    if (playback.m_state == CPlayback::Running) {
        for (CNavigator* d : m_displays)
            d->SetPos(hundredths + 1);
        startOutput(playback, nullptr);
        return;
    }
    // Paused or stopped: the next Play starts from the displays' position.
    if (playback.m_output)
        playback.m_output->stop();
    playback.m_output.reset();
    playback.m_base = hundredths;
    for (CNavigator* d : m_displays)
        d->SetPos(hundredths + 1);
}

void CRecordPlayer::OnPositionTimer()
{
    // A tick that was already due when the playback stopped shows nothing.
    if (!m_timed || m_timed->m_state != CPlayback::Running)
        return;
    for (CNavigator* d : m_displays)
        d->SetPos(GetPosition(*m_timed) + 1);
}

void CRecordPlayer::onDrained(CPlayback* playback)
{
    if (playback->m_state != CPlayback::Running)
        return;
    setDisplays(std::max<std::uint32_t>(playback->m_duration, 1), playback->m_duration);
    Stop(*playback);
    QMetaObject::invokeMethod(this, &CRecordPlayer::recordEnded, Qt::QueuedConnection);
}

void CRecordPlayer::setDisplays(std::uint32_t range, std::uint32_t position)
{
    for (CNavigator* d : m_displays) {
        d->SetRange(range);
        d->SetPos(position);
    }
}

std::uint32_t CRecordPlayer::GetMediaDuration(const std::string& path)
{
    SndFileReader reader;
    std::string error;
    if (!reader.open(path, error) || reader.info().samplerate <= 0)
        return 0;
    return static_cast<std::uint32_t>(std::max<sf_count_t>(0, reader.info().frames) * 100 /
                                      reader.info().samplerate);
}

} // namespace tw
