#pragma once

#include "platform/prompt.h"

#include <deque>
#include <vector>

namespace tw {

/// A Prompt that answers from queued replies and remembers what it was asked. With nothing
/// queued, a message answers Cancel/No (or Ok for a plain Ok box) and a chooser is cancelled,
/// which is what a headless run wants.
class ScriptedPrompt : public Prompt
{
public:
    struct Asked
    {
        std::string text;
        Icon icon;
        Buttons buttons;
    };

    void queueAnswer(Answer answer) { m_answers.push_back(answer); }
    void queueChoice(std::optional<std::string> path) { m_choices.push_back(std::move(path)); }

    Answer message(const std::string& text, Icon icon, Buttons buttons) override;
    std::optional<std::string> chooseFolder(const std::string& title, bool allowNewFolder) override;
    std::optional<std::string> chooseFile(const std::string& title, const std::string& filter,
                                          bool forSaving) override;

    const std::vector<Asked>& messages() const { return m_messages; }
    const std::vector<std::string>& chooserTitles() const { return m_chooserTitles; }

private:
    std::deque<Answer> m_answers;
    std::deque<std::optional<std::string>> m_choices;
    std::vector<Asked> m_messages;
    std::vector<std::string> m_chooserTitles;
};

} // namespace tw
