// The side panel's recent record list: positions, the display, the buttons and playback.
#include <algorithm>

#include <QDateTime>
#include <QLabel>
#include <QLocale>

#include "mainframe/settings.h"
#include "platform/prompt.h"
#include "records/record_info.h"
#include "records/record_storage.h"
#include "records/riff_wave_file.h"
#include "ui/image_button.h"
#include "ui/navigator.h"
#include "ui/partner_directory.h"
#include "ui/side_panel.h"
#include "ui/side_panel_state_button.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

/// A record's length in hundredths: the WAV header's for a WAV record, decoded otherwise.
std::uint32_t recordLength(const std::string& path)
{
    if (IsRecordWav(path)) {
        CRiffWaveFile wav;
        if (wav.Open(path, nullptr, CRiffWaveFile::kModeRead) != hr::ok)
            return 0;
        return wav.GetDurationCs();
    }
    return CRecordPlayer::GetMediaDuration(path);
}

} // namespace

std::optional<RecordInfo> CSPanel::currentRecord() const
{
    if (m_position < 1 || m_position > int(m_records.size()) || !m_setup.storage)
        return std::nullopt;
    return m_setup.storage->Index().FindRecord(m_records[std::size_t(m_position - 1)]);
}

void CSPanel::saveList()
{
    if (m_setup.saveList)
        m_setup.saveList(m_records, m_position);
}

void CSPanel::AddRecentRecord(std::uint32_t key)
{
    m_records.push_back(key);
    GoTo(int(m_records.size()), true);
    saveList();
}

void CSPanel::RemoveRecentRecord(std::uint32_t key)
{
    const auto it = std::find(m_records.begin(), m_records.end(), key);
    if (it == m_records.end())
        return;
    const bool wasCurrent = int(it - m_records.begin()) + 1 == m_position;
    m_records.erase(it);
    if (wasCurrent && m_playback) {
        // The record's file is going: nothing may keep it open.
        closePlayback();
        m_playAll = false;
    }
    GoTo(int(m_records.size()), false);
    // The position may already stand on the last entry; the entries shown still changed.
    updateButtons();
    updateDisplay();
    saveList();
}

void CSPanel::Reload()
{
    saveList();
    closePlayback();
    m_playAll = false;
    m_records.clear();
    m_position = 0;
    int position = 0;
    if (m_setup.loadList)
        m_setup.loadList(m_records, position);
    position = std::clamp(position, 0, int(m_records.size()));
    if (!m_records.empty() && position == 0)
        position = 1;
    GoTo(position, true);
}

void CSPanel::Refresh()
{
    if (!m_created)
        return;
    if (m_setup.settings) {
        Button(spcmd::VoiceMails)->SetState(m_setup.settings->fVoiceMailEnable ? 2 : 1);
        Button(spcmd::Conversations)->SetState(m_setup.settings->fConversationRecord ? 2 : 1);
    }
    RefreshRecordButton();
    updateButtons();
    updateDisplay();
}

void CSPanel::RefreshRecordButton()
{
    if (!m_created)
        return;
    CImageButton* record = Button(spcmd::Record);
    const int state = m_setup.activeCallState ? m_setup.activeCallState() : 0;
    record->setEnabled(state == 1 || state == 2);
    if (state == 2)
        record->SetState(2);
    else if (state == 1)
        record->SetState(1);
}

void CSPanel::GoTo(int n, bool force)
{
    const int count = int(m_records.size());
    n = count == 0 ? 0 : std::clamp(n, 1, count);
    if (n != m_position)
        closePlayback();
    if (n == m_position && !force)
        return;
    m_position = n;
    if (!m_created)
        return;
    const auto info = currentRecord();
    const std::uint32_t length = info ? recordLength(info->Path()) : 0;
    if (length > 1) {
        m_bar->SetRange(length);
        m_bar->SetPos(1);
    } else {
        resetBar();
    }
    updateButtons();
    updateDisplay();
}

void CSPanel::resetBar()
{
    if (m_bar->GetRange() != 1 || m_bar->GetPos() != 1) {
        m_bar->SetRange(1);
        m_bar->SetPos(1);
    }
}

void CSPanel::updateButtons()
{
    if (!m_created)
        return;
    const int count = int(m_records.size());
    CImageButton* play = Button(spcmd::Play);
    const int playState = play->GetState();
    play->setEnabled(count > 0);
    // Enabling brings a two-state button back to its first face: keep pause while playing.
    if (count > 0 && playState == 2)
        play->SetState(2);
    Button(spcmd::Previous)->setEnabled(count > 0 && m_position != 1);
    Button(spcmd::Next)->setEnabled(count > 0 && m_position != count);
}

void CSPanel::updateDisplay()
{
    if (!m_created)
        return;
    QLabel* name = m_fields[0];
    QLabel* time = m_fields[1];
    QLabel* index = m_fields[2];
    if (m_records.empty()) {
        name->setText("No new records");
        name->setToolTip("Caller name");
        time->clear();
        time->setToolTip("Call time");
        index->clear();
        m_state->SetStatus(-1);
        m_state->setToolTip({});
        Button(spcmd::Reset)->setEnabled(false);
        resetBar();
        return;
    }
    const int count = int(m_records.size());
    m_position = std::min(m_position, count);
    index->setText(QString("%1/%2").arg(m_position).arg(count));
    Button(spcmd::Reset)->setEnabled(true);
    const auto info = currentRecord();
    if (!info)
        return; // a record the index no longer knows: the fields keep what they showed
    const std::string skypeName = info->SkypeName();
    std::string fullName = info->FullName();
    std::uint32_t status = 0;
    std::string lookedUp;
    if (m_setup.directory && !skypeName.empty())
        m_setup.directory->lookupUser(skypeName, &lookedUp, &status);
    if (fullName.empty())
        fullName = lookedUp.empty() ? skypeName : lookedUp;
    name->setText(QString::fromStdString(fullName));
    name->setToolTip(QString(" %1 (%2)")
                         .arg(QString::fromStdString(fullName), QString::fromStdString(skypeName)));
    const QDateTime start = QDateTime::fromSecsSinceEpoch(info->startTime);
    time->setText(start.toString("HH:mm"));
    const QLocale locale;
    time->setToolTip(locale.toString(start.date(), QLocale::ShortFormat) + " " +
                     locale.toString(start.time(), QLocale::ShortFormat));
    m_state->SetStatus(int(std::min<std::uint32_t>(status, 6)));
    const char* word = status == 1 ? "Online" : status == 2 ? "Busy" : "Offline";
    m_state->setToolTip(QString(word) + "(" + "Click to call, right-click to call or chat" + ")");
}

bool CSPanel::openCurrent()
{
    closePlayback();
    if (!m_setup.storage || m_position < 1)
        return false;
    CRecordIndex& index = m_setup.storage->Index();
    const std::uint32_t key = m_records[std::size_t(m_position - 1)];
    const auto info = index.FindRecord(key);
    if (!info)
        return false;
    if (!(info->flags & RECFLAG_PLAYED))
        index.SetRecordFlags(key, info->flags | RECFLAG_PLAYED);
    std::string why;
    m_playback = m_player.OpenPlayback(info->Path(), &why);
    if (!m_playback) {
        uiLog("CSPanel: the record \"" + info->Path() + "\" cannot be played: " + why);
        return false;
    }
    return true;
}

void CSPanel::playCurrent()
{
    std::string why;
    if (!openCurrent() || !m_player.Play(*m_playback, &why)) {
        if (!why.empty())
            uiLog("CSPanel: " + why);
        m_playAll = false;
        Button(spcmd::Play)->SetState(1);
        return;
    }
    Button(spcmd::Play)->SetState(2);
}

void CSPanel::onPlayClicked(int state)
{
    m_playAll = false;
    if (state == 2) {
        if (!m_playback) {
            playCurrent();
        } else if (m_playback->lastCommand() != CPlayback::Played) {
            if (!m_player.Play(*m_playback))
                Button(spcmd::Play)->SetState(1);
        }
    } else if (m_playback && m_playback->lastCommand() == CPlayback::Played) {
        m_player.TogglePause(*m_playback);
    }
}

void CSPanel::PlayAll()
{
    if (m_records.empty())
        return;
    m_playAll = true;
    GoTo(int(m_records.size()), true);
    playCurrent();
}

bool CSPanel::PlayRecord(std::uint32_t key)
{
    const auto it = std::find(m_records.begin(), m_records.end(), key);
    if (it == m_records.end())
        return false;
    m_playAll = false;
    GoTo(int(it - m_records.begin()) + 1, true);
    ShowInFront();
    playCurrent();
    return true;
}

bool CSPanel::ReleaseRecord(std::uint32_t key)
{
    if (!m_playback || m_position < 1 || m_records[std::size_t(m_position - 1)] != key)
        return false;
    closePlayback();
    m_playAll = false;
    Button(spcmd::Play)->SetState(1);
    return true;
}

void CSPanel::OnRecordAction(int code)
{
    switch (code) {
    case 1:
        Button(spcmd::Play)->SetState(2);
        break;
    case 2:
        Button(spcmd::Play)->SetState(1);
        break;
    case 3:
        if (m_playAll && m_position > 1) {
            GoTo(m_position - 1, false);
            playCurrent();
        } else {
            m_playAll = false;
            Button(spcmd::Play)->SetState(1);
        }
        break;
    default:
        break;
    }
}

void CSPanel::askReset()
{
    m_playAll = false;
    if (m_setup.prompt && m_setup.prompt->message("Do you want to clear the Recent Record Display?",
                                                  Prompt::Icon::Question,
                                                  Prompt::Buttons::YesNo) != Prompt::Answer::Yes)
        return;
    closePlayback();
    m_records.clear();
    m_position = 0;
    resetBar();
    Button(spcmd::Play)->SetState(1);
    updateButtons();
    updateDisplay();
    saveList();
}

} // namespace tw
