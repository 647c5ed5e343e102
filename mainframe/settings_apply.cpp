#include "mainframe/settings_apply.h"

#include "mainframe/greetings.h"
#include "mainframe/settings.h"
#include "mainframe/settings_targets.h"
#include "platform/prompt.h"

namespace tw {
namespace {

// Modal dialogs run nested event loops: a second menu command while the first dialog is
// up must not stack another dialog on the same settings.
bool g_optionsOpen = false;

class OpenGuard
{
public:
    OpenGuard() { g_optionsOpen = true; }
    ~OpenGuard() { g_optionsOpen = false; }
    OpenGuard(const OpenGuard&) = delete;
    OpenGuard& operator=(const OpenGuard&) = delete;
};

/// Takes a changed value over and hands it to its component; an unchanged one is left alone.
template <class T, class Push> void takeChanged(T& current, const T& edited, Push push)
{
    if (current == edited)
        return;
    current = edited;
    push(current);
}

} // namespace

int ApplyChanges(CSettings& settings, bool& folderChanged, const OptionsRunner& run,
                 SettingsTargets& targets, Prompt& prompt, const std::string& greetingFolder)
{
    folderChanged = false;
    if (g_optionsOpen)
        return kOptionsAlreadyOpen;
    int result = kOptionsCancel;
    CSettings edited = settings;
    {
        OpenGuard guard;
        result = run(edited);
    }
    if (result == kOptionsOk)
        TakeOverOptions(settings, edited, folderChanged, targets, prompt, greetingFolder);
    return result;
}

void TakeOverOptions(CSettings& s, const CSettings& e, bool& folderChanged,
                     SettingsTargets& targets, Prompt& prompt, const std::string& greetingFolder)
{
    folderChanged = false;
    s.fStartUp = e.fStartUp;
    s.fDesktopNotify = e.fDesktopNotify;
    takeChanged(s.fAlwaysOnTop, e.fAlwaysOnTop, [&](bool on) { targets.setAlwaysOnTop(on); });

    takeChanged(s.fVoiceMailEnable, e.fVoiceMailEnable,
                [&](bool on) { targets.setVoiceMailEnable(on); });
    takeChanged(s.nVoiceMailWaitingPeriod, e.nVoiceMailWaitingPeriod,
                [&](int seconds) { targets.setWaitingPeriod(seconds); });
    takeChanged(s.nVoiceMailMaxLength, e.nVoiceMailMaxLength,
                [&](int seconds) { targets.setMaxLength(seconds); });

    s.fVoiceMailEmail = e.fVoiceMailEmail;
    if (s.nDefaultGreetingIndex != e.nDefaultGreetingIndex) {
        s.nDefaultGreetingIndex = e.nDefaultGreetingIndex;
        s.LookupDefaultGreeting();
    }
    s.nGreetingType = e.nGreetingType;
    // Always: a confirmed recording or file replaced the file behind an unchanged choice.
    std::string listGreeting = s.sDefaultGreetingFile;
    if (s.nGreetingType == 0 && listGreeting.empty())
        GetGreeting(greetingFolder, s.nDefaultGreetingIndex, nullptr, &listGreeting);
    targets.setGreetingFile(CurrentGreetingFile(greetingFolder, s.nGreetingType, listGreeting));

    takeChanged(s.fMuteCaller, e.fMuteCaller, [&](bool on) { targets.setMuteCaller(on); });

    s.EmailServer = e.EmailServer;
    s.EmailUserName = e.EmailUserName;
    s.EmailPW = e.EmailPW;
    s.EmailFrom = e.EmailFrom;
    s.EmailToCount = e.EmailToCount;
    s.EmailTo = e.EmailTo;
    s.EmailSubject = e.EmailSubject;
    s.EmailSecurity = e.EmailSecurity;
    s.EmailCAFile = e.EmailCAFile;

    if (s.fConversationRecord != e.fConversationRecord || s.fRecordWarn != e.fRecordWarn) {
        s.fConversationRecord = e.fConversationRecord;
        s.fRecordWarn = e.fRecordWarn;
        targets.setConversationRecord(s.fConversationRecord, s.fRecordWarn);
    }
    s.fCallTransferEnable = e.fCallTransferEnable;
    s.sSkypeName = e.sSkypeName;
    targets.setCallTransfer(s.fCallTransferEnable, s.sSkypeName);

    takeChanged(s.fRecordStorageRecycle, e.fRecordStorageRecycle,
                [&](bool on) { targets.setRecycle(on); });
    if (s.sRecordStorageFolder != e.sRecordStorageFolder) {
        s.sRecordStorageFolder = e.sRecordStorageFolder;
        folderChanged = true;
        if (targets.panelHasRecentRecords())
            prompt.message(kTextFolderChangeClearsPanel, Prompt::Icon::Information,
                           Prompt::Buttons::Ok);
    }
    takeChanged(s.nRecordStorageMinFreeSpace, e.nRecordStorageMinFreeSpace,
                [&](int mib) { targets.setMinFreeSpace(mib); });

    s.nACodec = e.nACodec;
    s.nACodecForEmail = e.nACodecForEmail;
    s.nAFormatMode = e.nAFormatMode;
    targets.setFormatMode(s.nAFormatMode);

    targets.refreshPanel();
}

} // namespace tw

namespace tw {

int CSettings::ApplyChanges(bool& folderChanged, const std::function<int(CSettings&)>& runDialog,
                            SettingsTargets& targets, Prompt& prompt,
                            const std::string& greetingFolder)
{
    return tw::ApplyChanges(*this, folderChanged, runDialog, targets, prompt, greetingFolder);
}

} // namespace tw
