#pragma once

#include <functional>
#include <string>

namespace tw {

class CSettings;
class Prompt;
class SettingsTargets;

inline constexpr char kTextFolderChangeClearsPanel[] =
    "The change of record storage folder will clear the recent record display of Quick Panel.";

/// What ApplyChanges answers when it shows nothing because an Options dialog is open.
inline constexpr int kOptionsAlreadyOpen = 2;
inline constexpr int kOptionsOk = 1;
inline constexpr int kOptionsCancel = 0;

/// Shows the Options dialog on the copy it is given and answers kOptionsOk when the user
/// confirmed (the copy then holds the new values); anything else leaves them unused.
using OptionsRunner = std::function<int(CSettings& copy)>;

/// The Options dialog on a copy of settings: when the user confirms, the new values are taken
/// over and each changed one is pushed to its component, in the fixed order the components
/// rely on (panel; voice mail; greeting; mute; e-mail; conversation and transfer; storage;
/// folder; free space; audio; panel refresh). folderChanged tells whether the records folder
/// changed (the caller reopens the storage). Answers the dialog's result, or
/// kOptionsAlreadyOpen at once while another Options dialog is open. UI thread only.
int ApplyChanges(CSettings& settings, bool& folderChanged, const OptionsRunner& run,
                 SettingsTargets& targets, Prompt& prompt, const std::string& greetingFolder);

/// The taking-over half of ApplyChanges, for a copy the user confirmed.
void TakeOverOptions(CSettings& settings, const CSettings& edited, bool& folderChanged,
                     SettingsTargets& targets, Prompt& prompt, const std::string& greetingFolder);

} // namespace tw
