#pragma once

#include <optional>
#include <string>

namespace tw {

/// Everything the core would ask a person. The Qt adapter shows real dialogs; tests and
/// headless runs answer from a script (ScriptedPrompt). Called on the UI thread only.
class Prompt
{
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompt() = default;

    virtual Answer message(const std::string& text, Icon icon = Icon::Information,
                           Buttons buttons = Buttons::Ok) = 0;
    /// A folder chooser; nullopt when cancelled.
    virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                    bool allowNewFolder) = 0;
    /// A file chooser; filter is a Qt-style name filter ("Audio (*.wav *.mp3)").
    virtual std::optional<std::string> chooseFile(const std::string& title,
                                                  const std::string& filter, bool forSaving) = 0;
};

} // namespace tw
