#include <QBoxLayout>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "mainframe/settings.h"
#include "ui/options_layout.h"
#include "ui/options_pages.h"

namespace tw {

CPPOptRecordStorage::CPPOptRecordStorage(const OptionsContext& context, QWidget* parent)
    : COptionsPage("Record Storage", context, parent)
{
    QBoxLayout* column = pageColumn(this);
    auto* label = new QLabel("&Folder:", this);
    folder = new QLineEdit(this);
    label->setBuddy(folder);
    browse = new QPushButton("...", this);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance("...") + 24);
    auto* row = new QHBoxLayout;
    row->addWidget(folder);
    row->addWidget(browse);
    column->addWidget(label);
    column->addLayout(row);
    recycle = addCheck(column, "Rec&ycle storage");
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    minFreeSpace = addNumberRow(grid, 0, "&Minimum free space:", " (300..256000 M bytes)");
    grid->setColumnStretch(3, 1);
    column->addStretch();
    connect(browse, &QPushButton::clicked, this, [this] { ChooseFolder(); });
}

void CPPOptRecordStorage::load(const CSettings& s)
{
    folder->setText(QString::fromStdString(s.sRecordStorageFolder));
    recycle->setChecked(s.fRecordStorageRecycle);
    minFreeSpace->setText(QString::number(s.nRecordStorageMinFreeSpace));
}

bool CPPOptRecordStorage::check()
{
    const std::string text = folder->text().toStdString();
    const std::string space = minFreeSpace->text().toStdString();
    const OptionsCheck refusal = CheckRecordStoragePage(text, space);
    return passes(refusal, refusal && refusal->field == OptionsField::StorageFolder
                               ? static_cast<QWidget*>(folder)
                               : minFreeSpace);
}

void CPPOptRecordStorage::save(CSettings& s)
{
    s.sRecordStorageFolder = folder->text().toStdString();
    s.fRecordStorageRecycle = recycle->isChecked();
    if (auto value = ParseBoundedInt(minFreeSpace->text().toStdString(), 300, 256000))
        s.nRecordStorageMinFreeSpace = *value;
}

void CPPOptRecordStorage::ChooseFolder()
{
    const std::string start = folder->text().toStdString();
    std::optional<std::string> chosen;
    if (context().chooseFolder) {
        chosen = context().chooseFolder(start);
    } else {
        const QString path = QFileDialog::getExistingDirectory(this, "Select a folder",
                                                               QString::fromStdString(start));
        if (!path.isEmpty())
            chosen = path.toStdString();
    }
    if (chosen)
        folder->setText(QString::fromStdString(*chosen));
}

} // namespace tw
