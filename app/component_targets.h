#pragma once

#include <functional>
#include <string>

#include "mainframe/settings_targets.h"

namespace tw {

class CallHandling;
class CRecordStorage;
class CSkypeLink;

/// What the side panel offers the Options command; each may be left empty while there is no
/// panel.
struct PanelSettingsHooks
{
    std::function<void(bool)> setAlwaysOnTop;
    std::function<bool()> hasRecentRecords;
    std::function<void()> refresh;
    std::function<void()> reload; ///< after the records folder changed
};

/// The running application's components behind SettingsTargets: the Skype link and its call
/// handling (either may be null while the link is down), the record storage, and the side
/// panel's hooks. UI thread only.
class ComponentTargets : public SettingsTargets
{
public:
    ComponentTargets(CSkypeLink* link, CallHandling* handling, CRecordStorage& storage)
        : m_link(link), m_handling(handling), m_storage(storage)
    {}

    PanelSettingsHooks panel;

    void setAlwaysOnTop(bool on) override;
    bool panelHasRecentRecords() override;
    void refreshPanel() override;
    void setVoiceMailEnable(bool on) override;
    void setWaitingPeriod(int seconds) override;
    void setMaxLength(int seconds) override;
    void setGreetingFile(const std::string& path) override;
    void setMuteCaller(bool on) override;
    void setConversationRecord(bool record, bool warn) override;
    void setCallTransfer(bool enable, const std::string& skypeName) override;
    void setFormatMode(int mode) override;
    void setRecycle(bool on) override;
    void setMinFreeSpace(int mib) override;

private:
    CSkypeLink* m_link;
    CallHandling* m_handling;
    CRecordStorage& m_storage;
};

} // namespace tw
