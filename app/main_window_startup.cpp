#include "app/main_window_startup.h"

#include <QGuiApplication>

#include "app/log.h"
#include "app/qt_application.h"
#include "app/trace.h"
#include "app/twk_app.h"
#include "platform/qt/single_instance.h"
#include "records/record_storage.h"
#include "skype/skype_link.h"
#include "ui/main_window.h"
#include "ui/partner_directory.h"
#include "ui/skin.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

/// The record lists' view of the Skype link.
class LinkDirectory : public PartnerDirectory
{
public:
    explicit LinkDirectory(CSkypeLink& link) : m_link(link) {}
    bool lookupUser(const std::string& name, std::string* fullName, std::uint32_t* status) override
    {
        return m_link.LookupUser(name, fullName, status);
    }
    void call(const std::string& name) override { m_link.Dispatch(8, name); }
    void chat(const std::string& name) override { m_link.Dispatch(12, name); }

private:
    CSkypeLink& m_link;
};

} // namespace

MainWindowStartup::MainWindowStartup(CTWKApp& app, SingleInstance& instance)
    : m_app(app), m_instance(instance)
{}

MainWindowStartup::~MainWindowStartup()
{
    stop();
}

void MainWindowStartup::start(CSkypeLink* link)
{
    setUiLogSinks([](std::string_view text) { appLog().Write(text); },
                  [](int level, std::string_view text) { trace(level, text); });
    SetSkinFolder(m_app.folders().programDataFolder);
    CMainWindow::Setup setup;
    setup.title = kAppTitle;
    setup.onExit = [] { QtApplication::quit(); };
    if (link) {
        m_directory = std::make_unique<LinkDirectory>(*link);
        setup.directory = m_directory.get();
    }
    m_window = std::make_unique<CMainWindow>(setup);
    m_storage = std::make_unique<CRecordStorage>(&m_window->GetPrompt());
    if (!m_storage->OpenStorageFolder(m_app.settings().sRecordStorageFolder, nullptr))
        appLog().Write("The records folder " + m_app.settings().sRecordStorageFolder +
                       " cannot be opened.");
    m_window->SetLiveStorage(m_storage.get());
    m_window->FillFromLive();
    m_instance.setActivateHandler([this] {
        trace(3, "Activate()");
        m_window->Activate();
    });
    if (QGuiApplication::platformName() != "offscreen")
        m_window->Activate();
}

void MainWindowStartup::stop()
{
    if (!m_window)
        return;
    m_instance.setActivateHandler([] {});
    m_window->SetExiting();
    m_window.reset();
    m_storage.reset(); // saves the index
    m_directory.reset();
}

} // namespace tw
