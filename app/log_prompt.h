#pragma once

#include "platform/prompt.h"

namespace tw {

/// The prompt of a run without windows: a message becomes an event log line; a question is
/// answered No (which leaves things as they are) and a chooser is cancelled.
class LogPrompt : public Prompt
{
public:
    Answer message(const std::string& text, Icon icon, Buttons buttons) override;
    std::optional<std::string> chooseFolder(const std::string& title, bool allowNewFolder) override;
    std::optional<std::string> chooseFile(const std::string& title, const std::string& filter,
                                          bool forSaving) override;
};

} // namespace tw
