#pragma once

#include <QString>

#include "platform/prompt.h"

class QWidget;

namespace tw {

/// The real dialogs: message boxes with the application title as caption, and the system's
/// file and folder choosers. UI thread only.
class QtPrompt : public Prompt
{
public:
    QtPrompt(QString title, QWidget* parent = nullptr) : m_title(std::move(title)), m_parent(parent)
    {}
    void setParent(QWidget* parent) { m_parent = parent; }

    Answer message(const std::string& text, Icon icon, Buttons buttons) override;
    std::optional<std::string> chooseFolder(const std::string& title, bool allowNewFolder) override;
    std::optional<std::string> chooseFile(const std::string& title, const std::string& filter,
                                          bool forSaving) override;

private:
    QString m_title;
    QWidget* m_parent;
};

} // namespace tw
