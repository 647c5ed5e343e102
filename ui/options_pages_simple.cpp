#include <QBoxLayout>
#include <QCheckBox>

#include "mainframe/settings.h"
#include "ui/options_layout.h"
#include "ui/options_pages.h"

namespace tw {

CPPOptGeneral::CPPOptGeneral(const OptionsContext& context, QWidget* parent)
    : COptionsPage("General", context, parent)
{
    QBoxLayout* column = pageColumn(this);
    startUp = addCheck(column, "S&tart Tellwick when I start Windows");
    alwaysOnTop = addCheck(column, "Al&ways on top");
    desktopNotify = addCheck(column, "Show a &desktop notification for each new voice mail");
    column->addStretch();
}

void CPPOptGeneral::load(const CSettings& s)
{
    startUp->setChecked(s.fStartUp);
    alwaysOnTop->setChecked(s.fAlwaysOnTop);
    desktopNotify->setChecked(s.fDesktopNotify);
}

void CPPOptGeneral::save(CSettings& s)
{
    s.fStartUp = startUp->isChecked();
    s.fAlwaysOnTop = alwaysOnTop->isChecked();
    s.fDesktopNotify = desktopNotify->isChecked();
}

CPPOptCallRecording::CPPOptCallRecording(const OptionsContext& context, QWidget* parent)
    : COptionsPage("Call Recording", context, parent)
{
    QBoxLayout* column = pageColumn(this);
    record = addCheck(column, "&Automatically record Skype conversation");
    warn = addCheck(column, "&Send notification when recording conversation");
    column->addStretch();
}

void CPPOptCallRecording::load(const CSettings& s)
{
    record->setChecked(s.fConversationRecord);
    warn->setChecked(s.fRecordWarn);
}

void CPPOptCallRecording::save(CSettings& s)
{
    s.fConversationRecord = record->isChecked();
    s.fRecordWarn = warn->isChecked();
}

} // namespace tw
