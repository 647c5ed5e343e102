#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>
#include <QWidget>

#include "mainframe/greeting_choice.h"
#include "mainframe/options_checks.h"
#include "ui/audio_output.h"

namespace tw {

class CSettings;
class Prompt;

/// What the Options pages need beyond the settings copy.
struct OptionsContext
{
    Prompt* prompt = nullptr;
    std::string greetingFolder;
    bool lameAvailable = false;
    std::string senderName = "Tellwick"; ///< of the test e-mail
    /// Runs the greeting recorder (null: the real CRecordGreetingDlg).
    GreetingChoice::Recorder recorder;
    /// The sound output of the greeting preview (null: the default device).
    AudioOutputFactory previewOutput;
    /// The folder chooser, started on the folder shown (null: the system's).
    std::function<std::optional<std::string>(const std::string& start)> chooseFolder;
};

/// One page of the Options dialog: filled from the settings copy when the dialog opens,
/// checked when the user leaves it or presses OK, written back to the copy on OK only when
/// it was shown. UI thread only.
class COptionsPage : public QWidget
{
    Q_OBJECT

public:
    COptionsPage(const QString& title, const OptionsContext& context, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    virtual void load(const CSettings& settings) = 0;
    /// The page's checks; a refusal is shown and the focus put on its field.
    virtual bool check() { return true; }
    virtual void save(CSettings& settings) = 0;
    /// The page is being left (or the dialog closes): stop what it started.
    virtual void leave() {}

    bool wasShown() const { return m_shown; }
    void markShown() { m_shown = true; }

protected:
    /// Shows the refusal and focuses field; false when there was one.
    bool passes(const OptionsCheck& refusal, QWidget* field);
    Prompt& prompt() const { return *m_context.prompt; }
    const OptionsContext& context() const { return m_context; }

private:
    QString m_title;
    const OptionsContext& m_context;
    bool m_shown = false;
};

} // namespace tw
