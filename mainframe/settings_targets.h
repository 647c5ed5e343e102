#pragma once

#include <string>

namespace tw {

/// The components that confirmed Options values are pushed to: the side panel, the Skype
/// link (with its call handling) and the record storage. The application implements it over
/// the real components; tests record the calls to see their order. UI thread only.
class SettingsTargets
{
public:
    virtual ~SettingsTargets() = default;

    // The side panel.
    virtual void setAlwaysOnTop(bool on) = 0;
    virtual bool panelHasRecentRecords() = 0;
    virtual void refreshPanel() = 0;

    // The Skype link.
    virtual void setVoiceMailEnable(bool on) = 0;
    virtual void setWaitingPeriod(int seconds) = 0;
    virtual void setMaxLength(int seconds) = 0;
    virtual void setGreetingFile(const std::string& path) = 0;
    virtual void setMuteCaller(bool on) = 0;
    virtual void setConversationRecord(bool record, bool warn) = 0;
    /// The name travels with the flag: a link that kept an older name would transfer calls
    /// to someone the user no longer named.
    virtual void setCallTransfer(bool enable, const std::string& skypeName) = 0;
    virtual void setFormatMode(int mode) = 0;

    // The record storage.
    virtual void setRecycle(bool on) = 0;
    virtual void setMinFreeSpace(int mib) = 0;
};

} // namespace tw
