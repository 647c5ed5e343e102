#include "ui/side_panel_state_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace tw {

StateButton::StateButton(QWidget* parent) : QAbstractButton(parent)
{
    setObjectName("state");
    setText("state");
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onClick)
            onClick();
    });
}

void StateButton::SetStatus(int status)
{
    if (status == m_status)
        return;
    m_status = status;
    update();
}

void StateButton::paintEvent(QPaintEvent*)
{
    if (m_status < 0)
        return;
    const QPixmap& icon = m_icons.icon(RecordIcons::StatusFirst + std::min(m_status, 6));
    if (icon.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap((width() - icon.width()) / 2, (height() - icon.height()) / 2, icon);
}

void StateButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (onRightClick)
            onRightClick();
        return;
    }
    QAbstractButton::mousePressEvent(event);
}

} // namespace tw
