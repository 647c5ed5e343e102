#include "ui/qt_prompt.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "ui/browser_context.h"

namespace tw {

Prompt::Answer QtPrompt::message(const std::string& text, Icon icon, Buttons buttons)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(m_title);
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::None:
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        return Answer::Cancel;
    }
}

std::optional<std::string> QtPrompt::chooseFolder(const std::string& title, bool allowNewFolder)
{
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!allowNewFolder)
        options |= QFileDialog::ReadOnly;
    const QString folder = QFileDialog::getExistingDirectory(
        m_parent, QString::fromStdString(title), QString(), options);
    if (folder.isEmpty())
        return std::nullopt;
    return folder.toStdString();
}

std::optional<std::string> QtPrompt::chooseFile(const std::string& title, const std::string& filter,
                                                bool forSaving)
{
    const QString caption = QString::fromStdString(title);
    const QString filters = QString::fromStdString(filter);
    const QString file = forSaving
                             ? QFileDialog::getSaveFileName(m_parent, caption, QString(), filters)
                             : QFileDialog::getOpenFileName(m_parent, caption, QString(), filters);
    if (file.isEmpty())
        return std::nullopt;
    return file.toStdString();
}

std::optional<std::string> AskAnnotation(QWidget* parent, const std::string& current)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle("Annotation");
    dialog.setLabelText("Annotation of the record:");
    dialog.setTextValue(QString::fromStdString(current));
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(63);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

} // namespace tw
