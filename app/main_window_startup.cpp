#include "app/main_window_startup.h"

#include <QGuiApplication>

#include "app/log_prompt.h"
#include "app/qt_application.h"
#include "app/twk_app.h"
#include "mainframe/main_frame.h"
#include "mainframe/record_views.h"
#include "platform/log.h"
#include "platform/qt/single_instance.h"
#include "platform/trace.h"
#include "records/record_storage.h"
#include "skype/skype_link.h"
#include "ui/main_window.h"
#include "ui/partner_directory.h"
#include "ui/qt_prompt.h"
#include "ui/skin.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

bool offscreen()
{
    return QGuiApplication::platformName() == "offscreen";
}

/// The record lists' view of the Skype link; F12 goes through the main frame.
class LinkDirectory : public PartnerDirectory
{
public:
    LinkDirectory(CSkypeLink* link, CMainFrame& frame) : m_link(link), m_frame(frame) {}
    bool lookupUser(const std::string& name, std::string* fullName, std::uint32_t* status) override
    {
        return m_link && m_link->LookupUser(name, fullName, status);
    }
    void call(const std::string& name) override
    {
        if (m_link)
            m_link->Dispatch(8, name);
    }
    void chat(const std::string& name) override
    {
        if (m_link)
            m_link->Dispatch(12, name);
    }
    void toggleRecording() override { m_frame.ToggleRecording(); }

private:
    CSkypeLink* m_link;
    CMainFrame& m_frame;
};

/// What the record pipeline tells the windows, shown in the main window.
class WindowRecordViews : public RecordViews
{
public:
    explicit WindowRecordViews(CMainWindow& window) : m_window(window) {}
    void recordAdded(const RecordInfo& info) override { m_window.RecordAdded(info); }
    void addRecentRecord(std::uint32_t) override {} // the side panel's list
    bool releaseRecord(std::uint32_t start) override { return m_window.ReleaseRecord(start); }
    void reopenRecord(std::uint32_t start) override { m_window.ReopenRecord(start); }

private:
    CMainWindow& m_window;
};

} // namespace

MainWindowStartup::MainWindowStartup(CTWKApp& app, SingleInstance& instance, CMainFrame& frame)
    : m_app(app), m_instance(instance), m_frame(frame)
{}

MainWindowStartup::~MainWindowStartup()
{
    stop();
}

std::unique_ptr<Prompt> MainWindowStartup::MakePrompt()
{
    if (offscreen())
        return std::make_unique<LogPrompt>();
    return std::make_unique<QtPrompt>(kAppTitle);
}

void MainWindowStartup::start(CSkypeLink* link)
{
    setUiLogSinks([](std::string_view text) { appLog().Write(text); },
                  [](int level, std::string_view text) { trace(level, text); });
    SetSkinFolder(m_app.folders().programDataFolder);
    m_directory = std::make_unique<LinkDirectory>(link, m_frame);
    CMainWindow::Setup setup;
    setup.title = kAppTitle;
    setup.live = &m_frame.storage();
    setup.directory = m_directory.get();
    setup.onExit = [] { QtApplication::quit(); };
    setup.onStickToSkype = m_stick;
    setup.onShowQuickPanel = m_showPanel;
    setup.onOptions = m_onOptions;
    m_window = std::make_unique<CMainWindow>(setup);
    m_window->FillFromLive();
    m_views = std::make_unique<WindowRecordViews>(*m_window);
    m_frame.setViews(m_views.get());
    m_instance.setActivateHandler([this] {
        trace(3, "Activate()");
        m_window->Activate();
    });
    if (m_showAtStart && !offscreen())
        m_window->Activate();
}

void MainWindowStartup::stop()
{
    if (!m_window)
        return;
    m_frame.setViews(nullptr);
    m_instance.setActivateHandler([] {});
    m_window->SetExiting();
    m_views.reset();
    m_window.reset();
    m_directory.reset();
}

} // namespace tw
