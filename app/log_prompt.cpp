#include "app/log_prompt.h"

#include "app/log.h"

namespace tw {

Prompt::Answer LogPrompt::message(const std::string& text, Icon, Buttons buttons)
{
    appLog().Write(text);
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
}

std::optional<std::string> LogPrompt::chooseFolder(const std::string&, bool)
{
    return std::nullopt;
}

std::optional<std::string> LogPrompt::chooseFile(const std::string&, const std::string&, bool)
{
    return std::nullopt;
}

} // namespace tw
