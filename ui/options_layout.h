#pragma once

#include <QString>

class QBoxLayout;
class QCheckBox;
class QGridLayout;
class QLineEdit;
class QWidget;

namespace tw {

// Small helpers the Options pages share for their look: a page column, a check box, and
// a row of label, edit and range hint.

QBoxLayout* pageColumn(QWidget* page);
QCheckBox* addCheck(QBoxLayout* column, const QString& text);
/// Label (with its buddy) in column 0, the edit in 1, the hint (may be empty) in 2.
QLineEdit* addNumberRow(QGridLayout* grid, int row, const QString& label, const QString& hint);

} // namespace tw
