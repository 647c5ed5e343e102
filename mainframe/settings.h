#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile_store.h"

namespace tw {
class Prompt;
class SecretStore;
class SettingsTargets;
} // namespace tw

namespace tw {

/// All user preferences, as one plain block with its defaults written here, and their file
/// "Tellwick.Ini". Loaded once at start-up, changed in memory (the Options dialog works on a
/// copy), saved at an orderly exit. Changed only on the UI thread; the record pipeline's
/// threads read it without a lock, as they always have.
class CSettings
{
public:
    /// The greeting list's lookup (owned by the greetings): fills the name and file of the
    /// 1-based list greeting index; false when there is none.
    using GreetingLookup = std::function<bool(int index, std::string& name, std::string& file)>;

    /// Strings are read into fixed buffers of 520 and 260 UTF-16 units, zero included.
    static constexpr std::size_t kLongStringUnits = 519;
    static constexpr std::size_t kShortStringUnits = 259;
    /// The subject text that means "make the subject from the call".
    static constexpr char kDefaultEmailSubject[] = "Default";

    /// Audio quality values of nACodec and nACodecForEmail.
    enum Codec { CodecBest = 0, CodecGood = 1, CodecMp3 = 2, CodecAcceptable = 3, CodecLame = 4 };

    // The chosen list greeting; not stored in the file (looked up at load).
    std::string sDefaultGreetingName;
    std::string sDefaultGreetingFile;

    bool fStickWithSkype = true;
    bool fAlwaysOnTop = false;
    bool fStartUp = true;
    // A desktop notification for each new voice mail, where the desktop offers the service.
    bool fDesktopNotify = true;

    // E-mail group.
    std::string EmailServer;
    std::string EmailUserName;
    std::string EmailPW;
    std::string EmailFrom;
    int EmailToCount = 1;
    std::string EmailTo;
    std::string EmailSubject = kDefaultEmailSubject;
    std::string EmailSecurity = "automatic"; ///< automatic, starttls, tls or none
    std::string EmailCAFile;                 ///< extra trusted certificates (PEM), may be empty
    int EmailPicNum = 0;
    int EmailSize = 0;

    // Record group.
    std::string sRecordStorageFolder; ///< default: data folder + "/records"
    int nRecordStorageMinFreeSpace = 1024;
    bool fRecordStorageRecycle = true;
    bool fVoiceMailEnable = true;
    int nVoiceMailWaitingPeriod = 10;
    int nVoiceMailMaxLength = 60;
    bool fVoiceMailEmail = false;
    int nGreetingType = 0;
    int nDefaultGreetingIndex = 1;
    bool fMuteCaller = false;
    bool fConversationRecord = true;
    bool fRecordWarn = false;
    int nACodec = CodecGood;
    int nACodecForEmail = CodecMp3; // every codec is present here, so mp3 is offered
    int nAFormatMode = 1;

    // Call-transfer group ("CallTransfer").
    bool fCallTransferEnable = false;
    std::string sSkypeName;

    // Call-out group ("CallOutSave").
    bool fCallOutEnable = false;
    std::string sPassword;
    std::string sSkypeNameFrom;
    std::string sSkypeNameTo;

    /// Reads every key in table order (a missing file, section or key gives the default),
    /// applies the LAME fall-back, looks up the default greeting and sets the loaded flag.
    /// The status tells whether the file could be used; an unusable one loads the defaults.
    ProfileStore::LoadStatus Load(const std::string& configPath, const std::string& dataFolder,
                                  const std::string& programFolder,
                                  GreetingLookup greetingLookup = {});
    /// Writes every key in table order to path, or to the loaded path when path is empty,
    /// keeping every other line of the file. Does nothing (false) before Load.
    bool Save(const std::string& path = {}) const;
    /// Writes one string into section "Preference" of the loaded configuration file.
    bool WritePreference(std::string_view key, std::string_view value) const;
    /// Looks the name and file of list greeting nDefaultGreetingIndex up again (after the
    /// Options dialog changed the index); both become empty when the list has none.
    void LookupDefaultGreeting();

    /// Runs the Options dialog on a copy and, on OK, takes the values over and pushes the
    /// changed ones to their components (mainframe/settings_apply.h). Answers the dialog's
    /// result, or 2 at once while another Options dialog is open.
    int ApplyChanges(bool& folderChanged, const std::function<int(CSettings&)>& runDialog,
                     SettingsTargets& targets, Prompt& prompt, const std::string& greetingFolder);

    /// Passwords go to this store instead of the file when it is available: Load moves a
    /// password found in the file there and removes it from the file, Save writes them there.
    /// Without one (or when it is not available) the file keeps them, readable by its owner
    /// only, and the log says once why. Set before Load; the store outlives the settings.
    void UseSecretStore(SecretStore* store) { m_secrets = store; }
    bool passwordsInSecretStore() const { return m_passwordsInStore; }

    bool isLoaded() const { return m_loaded; }
    const std::string& configPath() const { return m_configPath; }
    const std::string& dataFolder() const { return m_dataFolder; }
    const std::string& programFolder() const { return m_programFolder; }

    /// LAME is available when a "lame" executable is in the program folder or on PATH.
    static bool lameAvailable(const std::string& programFolder);

private:
    std::string m_configPath;
    std::string m_dataFolder;
    std::string m_programFolder;
    void loadPasswords();
    void savePasswords(ProfileStore& file) const;

    GreetingLookup m_greetingLookup;
    SecretStore* m_secrets = nullptr;
    bool m_passwordsInStore = false;
    bool m_loaded = false;
};

// Keys of the configuration file that live outside CSettings.

/// "SPanel" left/top: the side panel's screen position; -1/-1 (the default) centres it.
struct PanelPosition
{
    int left = -1;
    int top = -1;
};
PanelPosition loadPanelPosition(const std::string& configPath);
bool savePanelPosition(const std::string& configPath, PanelPosition position);

/// "Preference" MainWndClassName = "TTWK": written when the main window is set up, never read.
bool writeMainWndClassName(const std::string& configPath);

/// "URL" REG: a web address that replaces the Online Help address; nullopt when absent/empty.
std::optional<std::string> readUrlOverride(const std::string& configPath);

/// "MP3" OPTIONS: the LAME encoder's options, default "-f --silent".
std::string readMp3Options(const std::string& configPath);

} // namespace tw
