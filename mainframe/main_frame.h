#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "mainframe/autostart_entry.h"
#include "mainframe/record_pipeline.h"
#include "platform/app_folders.h"
#include "platform/event_loop.h"

namespace tw {

class CAudioConverter;
class CMailOutbox;
class CRecordStorage;
class CSettings;
class CSkypeLink;
class CallHandling;
class FreeSpaceSource;
class LogRecordViews;
class Prompt;
class RecordViews;

/// The main frame's duties that need no window: it holds the live record storage, the
/// audio converter, the mail outbox and the record pipeline; pushes the settings into them;
/// runs the one-minute storage check (timer 1000) with its warning; keeps the start-with-
/// login entry; offers F12 (start or stop recording the current call); and runs Exit once.
/// The window that the user sees is built around it.
///
/// Threads: UI thread only, except what the pipeline says of itself.
class CMainFrame : private TimerClient
{
public:
    static constexpr int kStorageTimerId = 1000;
    static constexpr std::chrono::milliseconds kStorageCheckPeriod{60000};

    struct Setup
    {
        AppFolders folders;
        std::string appTitle; ///< sender name of the notification mails
        AutostartEntry autostart;
        /// Null: the system's statvfs.
        std::shared_ptr<FreeSpaceSource> freeSpace;
    };

    /// What F12 did to the current call.
    enum class RecordToggle { NoCall, Started, Stopped };

    /// settings and prompt outlive the frame.
    CMainFrame(EventLoop& loop, Prompt& prompt, CSettings& settings, Setup setup);
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    /// The main frame's share of pushing the loaded settings: the outbox gets the data folder
    /// and the mail account, the record storage opens sRecordStorageFolder and gets the
    /// minimum free space and recycling, the pipeline its settings.
    void PushSettings();
    /// At start-up: writes the start-with-login entry when fStartUp is set (a clear flag
    /// removes nothing here).
    void ApplyStartUp();
    /// Starts timer 1000, the one-minute storage check.
    void StartTimer();
    /// Writes or removes the start-with-login entry.
    bool SetStartWithWindows(bool on);
    /// Hands the mail account to the outbox and the mail settings to the pipeline again
    /// (after the Options dialog).
    void PushMailSettings();

    /// The Skype link and its call handling for F12; null while there is none.
    void setCallHandling(CSkypeLink* link, CallHandling* handling);
    /// F12: stops the current call's voice mail or recording, or starts recording it.
    RecordToggle ToggleRecording();

    /// Runs once: logs "CMainFrame::Exit()", finishes the records in the pipeline, stops the
    /// outbox (waiting for its sender; mails still waiting, with their e-mail copies, are
    /// sent after the next start), kills timer 1000 and saves the record index. Later calls
    /// do nothing.
    void Exit();
    bool isExiting() const { return m_exiting; }

    /// Null restores the log-line views of a run without windows.
    void setViews(RecordViews* views);

    CRecordStorage& storage() { return *m_storage; }
    CAudioConverter& converter() { return *m_converter; }
    CMailOutbox& outbox() { return *m_outbox; }
    CRecordPipeline& pipeline() { return *m_pipeline; }
    CSettings& settings() { return m_settings; }

private:
    void pushMailAccount();
    void onTimer(int id) override;
    void checkStorage();
    PipelineSettings pipelineSettings() const;

    EventLoop& m_loop;
    Prompt& m_prompt;
    CSettings& m_settings;
    Setup m_setup;
    std::unique_ptr<CRecordStorage> m_storage;
    std::unique_ptr<CAudioConverter> m_converter;
    std::unique_ptr<CMailOutbox> m_outbox;
    std::unique_ptr<LogRecordViews> m_logViews;
    std::unique_ptr<CRecordPipeline> m_pipeline;
    CSkypeLink* m_link = nullptr;
    CallHandling* m_handling = nullptr;
    bool m_timerRunning = false;
    bool m_warningOpen = false;
    bool m_exiting = false;
    /// Posted tasks check this before touching the frame.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace tw
