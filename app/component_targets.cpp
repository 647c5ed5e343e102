#include "app/component_targets.h"

#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"

namespace tw {

void ComponentTargets::setAlwaysOnTop(bool on)
{
    if (panel.setAlwaysOnTop)
        panel.setAlwaysOnTop(on);
}

bool ComponentTargets::panelHasRecentRecords()
{
    return panel.hasRecentRecords && panel.hasRecentRecords();
}

void ComponentTargets::refreshPanel()
{
    if (panel.refresh)
        panel.refresh();
}

void ComponentTargets::setVoiceMailEnable(bool on)
{
    if (m_link)
        m_link->setVoiceMailEnable(on);
}

void ComponentTargets::setWaitingPeriod(int seconds)
{
    if (m_link)
        m_link->setWaitingPeriod(seconds);
}

void ComponentTargets::setMaxLength(int seconds)
{
    if (m_link)
        m_link->setMaxLength(seconds);
}

void ComponentTargets::setGreetingFile(const std::string& path)
{
    if (m_handling)
        m_handling->SetGreetingFile(path);
}

void ComponentTargets::setMuteCaller(bool on)
{
    if (m_link)
        m_link->setMuteCaller(on);
}

void ComponentTargets::setConversationRecord(bool record, bool warn)
{
    if (m_link)
        m_link->setConversationRecord(record, warn);
}

void ComponentTargets::setCallTransfer(bool enable, const std::string& skypeName)
{
    if (m_link)
        m_link->setCallTransfer(enable, skypeName);
}

void ComponentTargets::setFormatMode(int mode)
{
    if (m_link)
        m_link->setFormatMode(mode);
}

void ComponentTargets::setRecycle(bool on)
{
    m_storage.SetRecycle(on);
}

void ComponentTargets::setMinFreeSpace(int mib)
{
    m_storage.SetMinFreeSpace(mib < 0 ? 0 : static_cast<std::uint64_t>(mib));
}

} // namespace tw
