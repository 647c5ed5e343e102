#include "mainframe/main_frame.h"

#include "app/log.h"
#include "app/settings.h"
#include "app/trace.h"
#include "mail/mail_outbox.h"
#include "mainframe/log_record_views.h"
#include "platform/prompt.h"
#include "records/audio_converter.h"
#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_commands.h"
#include "skype/skype_link.h"

namespace tw {

CMainFrame::CMainFrame(EventLoop& loop, Prompt& prompt, CSettings& settings, Setup setup)
    : m_loop(loop), m_prompt(prompt), m_settings(settings), m_setup(std::move(setup)),
      m_storage(std::make_unique<CRecordStorage>(&prompt, m_setup.freeSpace)),
      m_converter(std::make_unique<CAudioConverter>(m_setup.folders.programFolder,
                                                    m_setup.folders.configFile)),
      m_outbox(std::make_unique<CMailOutbox>(&loop)), m_logViews(std::make_unique<LogRecordViews>()),
      m_pipeline(std::make_unique<CRecordPipeline>(*m_storage, *m_converter, m_outbox.get(), loop))
{
    m_pipeline->setViews(m_logViews.get());
}

CMainFrame::~CMainFrame()
{
    Exit();
}

PipelineSettings CMainFrame::pipelineSettings() const
{
    PipelineSettings p;
    p.fVoiceMailEmail = m_settings.fVoiceMailEmail;
    p.nACodec = m_settings.nACodec;
    p.nACodecForEmail = m_settings.nACodecForEmail;
    p.fromName = m_setup.appTitle;
    p.EmailFrom = m_settings.EmailFrom;
    p.EmailToCount = m_settings.EmailToCount;
    p.EmailTo = m_settings.EmailTo;
    p.EmailSubject = m_settings.EmailSubject;
    return p;
}

void CMainFrame::PushSettings()
{
    m_outbox->SetMailFolder(m_setup.folders.dataFolder);
    pushMailAccount();
    if (!m_storage->OpenStorageFolder(m_settings.sRecordStorageFolder, nullptr))
        appLog().Write("CRecordStorage::OpenStorageFolder() - " + m_settings.sRecordStorageFolder +
                       " cannot be opened.");
    const int minFree = m_settings.nRecordStorageMinFreeSpace;
    m_storage->SetMinFreeSpace(minFree < 0 ? 0 : static_cast<std::uint64_t>(minFree));
    m_storage->SetRecycle(m_settings.fRecordStorageRecycle);
    m_pipeline->setSettings(pipelineSettings());
}

void CMainFrame::PushMailSettings()
{
    pushMailAccount();
    m_pipeline->setSettings(pipelineSettings());
}

void CMainFrame::pushMailAccount()
{
    // An unknown security value (a hand-edited file) must not weaken the connection: it is
    // read as "automatic", which still never sends a password in clear to a remote server.
    const SmtpSecurity security =
        ParseSmtpSecurity(m_settings.EmailSecurity).value_or(SmtpSecurity::Automatic);
    m_outbox->SetSecurity(security, m_settings.EmailCAFile);
    m_outbox->SetAccount(m_settings.EmailServer, m_settings.EmailUserName, m_settings.EmailPW);
    // Items left waiting by an earlier run, or waiting for a mended account, go out now.
    m_outbox->Resume();
}

void CMainFrame::ApplyStartUp()
{
    if (m_settings.fStartUp)
        SetStartWithWindows(true);
}

bool CMainFrame::SetStartWithWindows(bool on)
{
    // A failure is not the user's concern: the entry is only a convenience.
    const bool done = m_setup.autostart.Set(on);
    if (!done)
        tracef(2, "CMainFrame::SetStartWithWindows(%d) failed", on ? 1 : 0);
    return done;
}

void CMainFrame::StartTimer()
{
    m_loop.startTimer(this, kStorageTimerId, kStorageCheckPeriod);
    m_timerRunning = true;
}

void CMainFrame::onTimer(int id)
{
    if (id == kStorageTimerId)
        checkStorage();
}

void CMainFrame::checkStorage()
{
    m_storage->MeasureFreeSpace();
    if (m_storage->EnsureFreeSpace())
        return;
    // The warning is shown from a task of its own, so the tick returns at once; while one
    // warning is still open, the next tick does not stack a second one on it.
    if (m_warningOpen)
        return;
    m_warningOpen = true;
    m_loop.post([this, alive = std::weak_ptr<int>(m_alive)] {
        if (!alive.lock())
            return;
        m_prompt.message(kTextStorageLow, Prompt::Icon::Information, Prompt::Buttons::Ok);
        if (alive.lock())
            m_warningOpen = false;
    });
}

void CMainFrame::setCallHandling(CSkypeLink* link, CallHandling* handling)
{
    m_link = link;
    m_handling = handling;
}

CMainFrame::RecordToggle CMainFrame::ToggleRecording()
{
    CSkypeCall* call = m_link && m_handling ? m_link->currentCall() : nullptr;
    if (!call)
        return RecordToggle::NoCall;
    const bool stopping = call->has(CF_VOICEMAIL) || call->has(CF_CAPTURING);
    if (!stopping && call->has(CF_ONHOLD))
        return RecordToggle::NoCall;
    m_handling->ToggleRecord();
    return stopping ? RecordToggle::Stopped : RecordToggle::Started;
}

void CMainFrame::setViews(RecordViews* views)
{
    m_pipeline->setViews(views ? views : m_logViews.get());
}

void CMainFrame::Exit()
{
    if (m_exiting)
        return;
    m_exiting = true;
    appLog().Write("CMainFrame::Exit()");
    m_pipeline->Stop();
    // Mails still waiting keep their e-mail copies: the outbox sends them after the next
    // start and deletes each copy when its item is done.
    m_outbox->Stop();
    if (m_timerRunning) {
        m_loop.killTimer(this, kStorageTimerId);
        m_timerRunning = false;
    }
    m_storage->SaveIndex();
}

} // namespace tw
