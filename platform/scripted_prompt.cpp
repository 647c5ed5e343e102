#include "platform/scripted_prompt.h"

namespace tw {

Prompt::Answer ScriptedPrompt::message(const std::string& text, Icon icon, Buttons buttons)
{
    m_messages.push_back({text, icon, buttons});
    if (!m_answers.empty()) {
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    }
    return Answer::Cancel;
}

std::optional<std::string> ScriptedPrompt::chooseFolder(const std::string& title, bool)
{
    m_chooserTitles.push_back(title);
    if (m_choices.empty())
        return std::nullopt;
    auto choice = std::move(m_choices.front());
    m_choices.pop_front();
    return choice;
}

std::optional<std::string> ScriptedPrompt::chooseFile(const std::string& title,
                                                      const std::string&, bool)
{
    return chooseFolder(title, false);
}

} // namespace tw
