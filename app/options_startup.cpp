#include "app/options_startup.h"

#include "app/component_targets.h"
#include "app/twk_app.h"
#include "mainframe/main_frame.h"
#include "mainframe/options_command.h"
#include "mainframe/settings.h"
#include "skype/skype_link.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/qt_prompt.h"

namespace tw {
OptionsStartup::OptionsStartup(CTWKApp& app, CMainFrame& frame, CSkypeLink* link,
                               CallHandling* handling)
    : m_app(app), m_frame(frame), m_link(link),
      m_targets(std::make_unique<ComponentTargets>(link, handling, frame.storage())),
      m_prompt(std::make_unique<QtPrompt>(kAppTitle))
{}

OptionsStartup::~OptionsStartup() = default;

void OptionsStartup::setPanelHooks(PanelSettingsHooks hooks)
{
    m_targets->panel = std::move(hooks);
}

int OptionsStartup::run()
{
    const AppFolders& folders = m_app.folders();
    OptionsContext context;
    context.prompt = m_prompt.get();
    context.greetingFolder = folders.greetingFolder;
    context.lameAvailable = CSettings::lameAvailable(folders.programFolder);
    context.senderName = kAppTitle;
    auto runDialog = [&](CSettings& copy) {
        CPSOpt dialog(copy, context, m_window);
        // The pages' messages belong to the dialog, in front of it.
        m_prompt->setParent(&dialog);
        const int result = dialog.exec() == QDialog::Accepted ? kOptionsOk : kOptionsCancel;
        m_prompt->setParent(m_window);
        return result;
    };
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
