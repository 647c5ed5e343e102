#include "app/side_panel_startup.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QMessageBox>

#include "app/main_window_startup.h"
#include "app/panel_list.h"
#include "app/twk_app.h"
#include "mainframe/main_frame.h"
#include "mainframe/record_views.h"
#include "platform/qt/desktop_notifier.h"
#include "platform/trace.h"
#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"
#include "ui/main_window.h"
#include "ui/side_panel.h"
#include "ui/skype_window_x11.h"
#include "ui/voice_mail_notice.h"

namespace tw {
namespace {

class IndexKeys : public RecordKeyLookup
{
public:
    explicit IndexKeys(CRecordStorage& storage) : m_storage(storage) {}
    bool hasRecord(std::uint32_t start) const override
    {
        return m_storage.Index().FindRecord(start).has_value();
    }

private:
    CRecordStorage& m_storage;
};

} // namespace

/// The record pipeline's news for the main window's lists, the side panel and the desktop.
class SidePanelStartup::Views : public RecordViews
{
public:
    Views(RecordViews* lists, CSPanel& panel, DesktopNotifier* notifier, const CSettings& settings)
        : m_lists(lists), m_panel(panel), m_notifier(notifier), m_settings(settings)
    {}
    void recordAdded(const RecordInfo& info) override
    {
        if (m_lists)
            m_lists->recordAdded(info);
        if (const auto notice = MakeVoiceMailNotice(info, m_settings.fDesktopNotify);
            notice && m_notifier)
            m_notifier->notify(info.startTime, notice->summary, notice->body, notice->action);
    }
    void addRecentRecord(std::uint32_t start) override { m_panel.AddRecentRecord(start); }
    bool releaseRecord(std::uint32_t start) override
    {
        const bool panel = m_panel.ReleaseRecord(start);
        const bool lists = m_lists && m_lists->releaseRecord(start);
        return panel || lists;
    }
    void reopenRecord(std::uint32_t start) override
    {
        if (m_lists)
            m_lists->reopenRecord(start);
    }
    RecordViews* lists() const { return m_lists; }

private:
    RecordViews* m_lists;
    CSPanel& m_panel;
    DesktopNotifier* m_notifier;
    const CSettings& m_settings;
};

SidePanelStartup::SidePanelStartup(CTWKApp& app, CMainFrame& frame) : m_app(app), m_frame(frame)
{}

SidePanelStartup::~SidePanelStartup()
{
    stop();
}

bool SidePanelStartup::start(CSkypeLink* link, MainWindowStartup& window, Prompt& prompt)
{
    m_window = &window;
    // The tray shows the application's icon: from the icon theme, else the one installed
    // beside the program's data.
    if (QApplication::windowIcon().isNull()) {
        QIcon icon = QIcon::fromTheme("org.tellwick.Tellwick");
        if (icon.isNull())
            icon = QIcon(QString::fromStdString(m_app.folders().programDataFolder) +
                         "/../icons/hicolor/64x64/apps/org.tellwick.Tellwick.png");
        if (!icon.isNull() && !icon.availableSizes().isEmpty())
            QApplication::setWindowIcon(icon);
    }
    m_skypeWindow = MakeSkypeWindowAccess();
    CSettings& settings = m_app.settings();
    const std::string listPath = m_app.folders().panelListFile;
    CRecordStorage& storage = m_frame.storage();

    CSPanel::Setup setup;
    setup.storage = &storage;
    setup.directory = window.directory();
    setup.prompt = &prompt;
    setup.settings = &settings;
    setup.skypeWindow = m_skypeWindow.get();
    setup.configPath = m_app.folders().configFile;
    setup.displayName = kDisplayName;
    setup.activeCallState = [link] {
        int state = 0;
        return link && link->GetActiveCallState(state, nullptr) ? state : 0;
    };
    setup.toggleRecord = [this] { m_frame.ToggleRecording(); };
    setup.switchChanged = [link, &settings](int command) {
        if (!link)
            return;
        switch (command) {
        case spcmd::VoiceMails:
            link->setVoiceMailEnable(settings.fVoiceMailEnable);
            break;
        case spcmd::Conversations:
            link->setConversationRecord(settings.fConversationRecord, settings.fRecordWarn);
            break;
        case spcmd::CallTransfer:
            link->setCallTransferEnable(settings.fCallTransferEnable);
            break;
        case spcmd::CallOut:
            link->setCallOutEnable(settings.fCallOutEnable);
            break;
        default:
            break;
        }
    };
    setup.loadList = [listPath, &storage](std::vector<std::uint32_t>& records, int& current) {
        const PanelList list = LoadPanelList(listPath, IndexKeys(storage));
        records = list.records;
        current = list.current;
    };
    setup.saveList = [listPath](const std::vector<std::uint32_t>& records, int current) {
        if (!SavePanelList(listPath, PanelList{records, current}))
            CTWKApp::Log("SavePanelList() - \"" + listPath + "\" cannot be written.");
    };
    setup.mainWindowCommand = [this](int command) { mainWindowCommand(command); };

    auto panel = std::make_unique<CSPanel>(setup);
    if (!panel->Create()) {
        CTWKApp::Log("CSPanel::Create() - the side panel's skin cannot be loaded.");
        return false;
    }
    m_panel = std::move(panel);
    m_panel->Refresh();
    m_panel->SetAlwaysOnTop(settings.fAlwaysOnTop);
    m_panel->ShowInFront();

    // Records deleted from the live index leave the list; the index may tell from any thread.
    CSPanel* target = m_panel.get();
    storage.Index().SetRemovedListener([target](std::uint32_t start) {
        QMetaObject::invokeMethod(
            target, [target, start] { target->RemoveRecentRecord(start); }, Qt::QueuedConnection);
    });

    m_notifier = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus(), kAppTitle,
                                                   "org.tellwick.Tellwick");
    QObject::connect(m_notifier.get(), &DesktopNotifier::actionInvoked, m_panel.get(),
                     [target](std::uint32_t start) { target->PlayRecord(start); });
    QObject::connect(
        m_notifier.get(), &DesktopNotifier::failed, m_panel.get(),
        [](const QString& why) { trace(2, "Desktop notification refused: " + why.toStdString()); });
    m_views = std::make_unique<Views>(window.views(), *m_panel, m_notifier.get(), settings);
    m_frame.setViews(m_views.get());
    return true;
}

void SidePanelStartup::stop()
{
    if (!m_panel)
        return;
    m_frame.storage().Index().SetRemovedListener({});
    // The lists alone hear the pipeline again until the main window stops too.
    m_frame.setViews(m_views->lists());
    m_views.reset();
    m_panel->Exit();
    m_notifier.reset();
    m_panel.reset();
    m_skypeWindow.reset();
}

void SidePanelStartup::stickToSkype()
{
    if (m_panel)
        m_panel->RunCommand(spcmd::StickToSkype);
}

void SidePanelStartup::skypeAttached()
{
    if (m_panel)
        m_panel->DockToSkype();
}

void SidePanelStartup::callStateChanged()
{
    if (m_panel)
        m_panel->RefreshRecordButton();
}

void SidePanelStartup::contactsChanged()
{
    if (m_panel)
        m_panel->Refresh();
}

void SidePanelStartup::showSidePanel()
{
    if (m_panel)
        m_panel->ShowInFront();
}

void SidePanelStartup::mainWindowCommand(int command)
{
    CMainWindow* window = m_window ? m_window->window() : nullptr;
    if (!window)
        return;
    switch (command) {
    case spcmd::ShowRecordPanel:
        window->Activate();
        break;
    case spcmd::Options:
        window->RunCommand(cmd::Options);
        break;
    case spcmd::Help:
        window->RunCommand(cmd::Help);
        break;
    case spcmd::Exit:
        window->RunCommand(cmd::Exit);
        break;
    case spcmd::About:
        QMessageBox::about(m_panel.get(), kAppTitle,
                           QString("%1 %2\n\nAn answering machine and call recorder for Skype.")
                               .arg(kAppTitle, QCoreApplication::applicationVersion()));
        break;
    default:
        break;
    }
}

} // namespace tw
