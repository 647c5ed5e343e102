#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "mainframe/settings.h"
#include "ui/options_layout.h"
#include "ui/options_pages.h"

namespace tw {

CPPOptCallTransfer::CPPOptCallTransfer(const OptionsContext& context, QWidget* parent)
    : COptionsPage("Call Transfer", context, parent)
{
    QBoxLayout* column = pageColumn(this);
    enable = addCheck(column, "&Enable call transfer");
    auto* label = new QLabel("&Skype name (Telephone number):", this);
    skypeName = new QLineEdit(this);
    label->setBuddy(skypeName);
    column->addWidget(label);
    column->addWidget(skypeName);
    column->addStretch();
}

void CPPOptCallTransfer::load(const CSettings& s)
{
    enable->setChecked(s.fCallTransferEnable);
    skypeName->setText(QString::fromStdString(s.sSkypeName));
}

bool CPPOptCallTransfer::check()
{
    return passes(CheckCallTransferPage(enable->isChecked(), skypeName->text().toStdString()),
                  skypeName);
}

void CPPOptCallTransfer::save(CSettings& s)
{
    s.fCallTransferEnable = enable->isChecked();
    s.sSkypeName = skypeName->text().toStdString();
}

} // namespace tw
