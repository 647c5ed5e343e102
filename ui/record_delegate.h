#pragma once

#include <vector>

#include <QPixmap>
#include <QStyledItemDelegate>

namespace tw {

class RecordModel;

/// The record list's icons: "unread", "read", "lock", "unlock" and the seven partner status
/// bitmaps, loaded in that order from "ui/m_panel/icon/", stopping at the first that fails
/// (the rest are drawn as plain marks). Magenta is their transparent colour.
class RecordIcons
{
public:
    enum Id { Unread, Read, Lock, Unlock, StatusFirst, Count = StatusFirst + 7 };

    RecordIcons();
    /// Null when that icon did not load.
    const QPixmap& icon(int id) const;
    QSize size() const { return m_size; }

private:
    std::vector<QPixmap> m_icons;
    QSize m_size{16, 16};
};

/// Draws a record row: icons centred in the first three columns, the Skype name bold while
/// the record is unread, texts on one line shortened with "...", the length right-aligned,
/// and a vertical gradient behind a selected row.
class RecordDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit RecordDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    const RecordIcons& icons() const { return m_icons; }

private:
    void drawIcon(QPainter* painter, const QRect& cell, int id, const QColor& plain) const;

    RecordIcons m_icons;
};

} // namespace tw
