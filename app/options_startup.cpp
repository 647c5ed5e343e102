#include "app/options_startup.h"

#include "app/twk_app.h"
#include "mainframe/main_frame.h"
#include "mainframe/options_command.h"
#include "mainframe/settings.h"
#include "mainframe/settings_targets.h"
#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/qt_prompt.h"

namespace tw {
namespace {

/// The real components behind SettingsTargets.
class ComponentTargets : public SettingsTargets
{
public:
    ComponentTargets(CSkypeLink* link, CallHandling* handling, CRecordStorage& storage)
        : m_link(link), m_handling(handling), m_storage(storage)
    {}
    PanelSettingsHooks panel;

    void setAlwaysOnTop(bool on) override
    {
        if (panel.setAlwaysOnTop)
            panel.setAlwaysOnTop(on);
    }
    bool panelHasRecentRecords() override
    {
        return panel.hasRecentRecords && panel.hasRecentRecords();
    }
    void refreshPanel() override
    {
        if (panel.refresh)
            panel.refresh();
    }
    void setVoiceMailEnable(bool on) override
    {
        if (m_link)
            m_link->setVoiceMailEnable(on);
    }
    void setWaitingPeriod(int seconds) override
    {
        if (m_link)
            m_link->setWaitingPeriod(seconds);
    }
    void setMaxLength(int seconds) override
    {
        if (m_link)
            m_link->setMaxLength(seconds);
    }
    void setGreetingFile(const std::string& path) override
    {
        if (m_handling)
            m_handling->SetGreetingFile(path);
    }
    void setMuteCaller(bool on) override
    {
        if (m_link)
            m_link->setMuteCaller(on);
    }
    void setConversationRecord(bool record, bool warn) override
    {
        if (m_link)
            m_link->setConversationRecord(record, warn);
    }
    void setCallTransfer(bool enable, const std::string& skypeName) override
    {
        if (m_link)
            m_link->setCallTransfer(enable, skypeName);
    }
    void setFormatMode(int mode) override
    {
        if (m_link)
            m_link->setFormatMode(mode);
    }
    void setRecycle(bool on) override { m_storage.SetRecycle(on); }
    void setMinFreeSpace(int mib) override
    {
        m_storage.SetMinFreeSpace(mib < 0 ? 0 : static_cast<std::uint64_t>(mib));
    }

private:
    CSkypeLink* m_link;
    CallHandling* m_handling;
    CRecordStorage& m_storage;
};

} // namespace

OptionsStartup::OptionsStartup(CTWKApp& app, CMainFrame& frame, CSkypeLink* link,
                               CallHandling* handling)
    : m_app(app), m_frame(frame), m_link(link),
      m_targets(std::make_unique<ComponentTargets>(link, handling, frame.storage())),
      m_prompt(std::make_unique<QtPrompt>(kAppTitle))
{}

OptionsStartup::~OptionsStartup() = default;

void OptionsStartup::setPanelHooks(PanelSettingsHooks hooks)
{
    static_cast<ComponentTargets&>(*m_targets).panel = std::move(hooks);
}

int OptionsStartup::run()
{
    const AppFolders& folders = m_app.folders();
    OptionsContext context;
    context.prompt = m_prompt.get();
    context.greetingFolder = folders.greetingFolder;
    context.lameAvailable = CSettings::lameAvailable(folders.programFolder);
    context.senderName = kAppTitle;
    static_cast<QtPrompt&>(*m_prompt).setParent(m_window);
    auto runDialog = [&](CSettings& copy) { return RunOptionsDialog(copy, context, m_window); };
    return RunOptionsCommand(
        m_frame, runDialog, *m_targets, *m_prompt, folders.greetingFolder, [this] {
            if (m_link)
                m_link->setRecordsFolder(m_frame.settings().sRecordStorageFolder);
            if (m_window)
                m_window->FillFromLive();
            const auto& panel = static_cast<ComponentTargets&>(*m_targets).panel;
            if (panel.reload)
                panel.reload();
        });
}

} // namespace tw
