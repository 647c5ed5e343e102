#include "ui/record_delegate.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

#include "ui/record_model.h"
#include "ui/skin.h"
#include "ui/skin_bitmap.h"

namespace tw {
namespace {

const char* const kIconFiles[RecordIcons::Count] = {
    "unread.bmp", "read.bmp", "lock.bmp",  "unlock.bmp",     "s_offline.bmp", "s_online.bmp",
    "s_away.bmp", "s_na.bmp", "s_dnd.bmp", "s_skypeout.bmp", "s_skypeme.bmp"};

const QColor kStatusColours[7] = {QColor(0x8a, 0x96, 0xa3), QColor(0x2f, 0xb3, 0x5a),
                                  QColor(0xf0, 0xb4, 0x29), QColor(0xe8, 0x77, 0x2e),
                                  QColor(0xd9, 0x3b, 0x3b), QColor(0x1a, 0xa3, 0xc9),
                                  QColor(0xd9, 0x47, 0x9b)};

} // namespace

RecordIcons::RecordIcons() : m_icons(Count)
{
    for (int i = 0; i < Count; ++i) {
        CSkinBitmap bmp;
        if (!LoadSkin(bmp, std::string("m_panel/icon/") + kIconFiles[i]))
            break;
        m_icons[std::size_t(i)] = KeyedPixmap(bmp.Image(), 0xFF00FF);
    }
    // The icon columns are as wide as the first status bitmap.
    if (!m_icons[StatusFirst].isNull())
        m_size = m_icons[StatusFirst].size();
}

const QPixmap& RecordIcons::icon(int id) const
{
    static const QPixmap none;
    return id >= 0 && id < Count ? m_icons[std::size_t(id)] : none;
}

RecordDelegate::RecordDelegate(QObject* parent) : QStyledItemDelegate(parent)
{}

QSize RecordDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics fm(option.font);
    const int text = fm.height() + fm.leading() + 1;
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(text, m_icons.size().height()) + 4);
    return size;
}

void RecordDelegate::drawIcon(QPainter* painter, const QRect& cell, int id,
                              const QColor& plain) const
{
    const QPixmap& pixmap = m_icons.icon(id);
    const QSize s = m_icons.size();
    const QRect target(cell.left() + (cell.width() - s.width()) / 2,
                       cell.top() + (cell.height() - s.height()) / 2, s.width(), s.height());
    if (!pixmap.isNull()) {
        painter->drawPixmap(target, pixmap);
        return;
    }
    if (!plain.isValid())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(plain);
    painter->drawEllipse(target.adjusted(4, 4, -4, -4));
    painter->restore();
}

void RecordDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const
{
    const auto* model = qobject_cast<const RecordModel*>(index.model());
    if (!model)
        return QStyledItemDelegate::paint(painter, option, index);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    if (selected) {
        const QColor base = pal.color(QPalette::Active, QPalette::Highlight);
        QLinearGradient gradient(option.rect.topLeft(), option.rect.bottomLeft());
        gradient.setColorAt(0, base.lighter(118));
        gradient.setColorAt(1, base.darker(108));
        painter->fillRect(option.rect, gradient);
    } else if (option.features & QStyleOptionViewItem::Alternate) {
        painter->fillRect(option.rect, pal.color(QPalette::AlternateBase));
    }
    const auto info = model->record(index.row());
    if (!info)
        return;
    const QColor highlight = pal.color(QPalette::Highlight);
    switch (index.column()) {
    case RecordModel::ColLock: {
        const bool locked = info->flags & RECFLAG_LOCKED;
        drawIcon(painter, option.rect, locked ? RecordIcons::Lock : RecordIcons::Unlock,
                 locked ? QColor(0xe3, 0xa2, 0x1a) : QColor());
        return;
    }
    case RecordModel::ColRead: {
        const bool read = info->flags & RECFLAG_PLAYED;
        drawIcon(painter, option.rect, read ? RecordIcons::Read : RecordIcons::Unread,
                 read ? QColor() : highlight);
        return;
    }
    case RecordModel::ColStatus: {
        const std::uint32_t status = std::min<std::uint32_t>(model->partnerStatus(*info), 6);
        drawIcon(painter, option.rect, RecordIcons::StatusFirst + int(status),
                 kStatusColours[status]);
        return;
    }
    default:
        break;
    }
    QFont font = option.font;
    if (index.column() == RecordModel::ColSkypeName && !(info->flags & RECFLAG_PLAYED))
        font.setBold(true);
    painter->save();
    painter->setFont(font);
    painter->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect area = option.rect.adjusted(6, 0, -6, 0);
    const QString elided = QFontMetrics(font).elidedText(model->text(*info, index.column()),
                                                         Qt::ElideRight, area.width());
    const int align = index.column() == RecordModel::ColLength ? Qt::AlignRight : Qt::AlignLeft;
    painter->drawText(area, align | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    painter->restore();
}

} // namespace tw
