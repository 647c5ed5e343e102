#include "ui/options_layout.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tw {

QBoxLayout* pageColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 8, 4, 4);
    return column;
}

QCheckBox* addCheck(QBoxLayout* column, const QString& text)
{
    auto* box = new QCheckBox(text, column->parentWidget());
    column->addWidget(box);
    return box;
}

QLineEdit* addNumberRow(QGridLayout* grid, int row, const QString& label, const QString& hint)
{
    QWidget* parent = grid->parentWidget();
    auto* caption = new QLabel(label, parent);
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance("0000000") + 16);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    if (!hint.isEmpty())
        grid->addWidget(new QLabel(hint, parent), row, 2);
    return edit;
}

} // namespace tw
