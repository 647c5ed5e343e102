#include "ui/image_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/skin.h"

namespace tw {

CImageButton::CImageButton(QWidget* parent) : QAbstractButton(parent)
{
    // The lists keep the keyboard; the buttons are reached by mouse and by the menus.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFixedSize(m_plainSize);
    // Connected before anyone else, so every other receiver of clicked() sees the new state.
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_kind == kTwoState && m_state != kDisabledState) {
            m_state = m_state == 1 ? 2 : 1;
            updateToolTip();
            update();
        }
        emit stateClicked(m_state);
    });
}

bool CImageButton::LoadFaces(const std::string& skinRelativePath, QSize fallbackSize)
{
    m_plainSize = fallbackSize;
    if (LoadSkin(m_faces, skinRelativePath) && m_faces.Height() >= 5) {
        m_faceWidth = m_faces.Width();
        m_faceHeight = m_faces.Height() / 5;
        setFixedSize(m_faceWidth, m_faceHeight);
        update();
        return true;
    }
    m_faces.Clear();
    m_faceWidth = m_faceHeight = 0;
    setFixedSize(m_plainSize);
    update();
    return false;
}

QSize CImageButton::sizeHint() const
{
    return HasFaces() ? QSize(m_faceWidth, m_faceHeight) : m_plainSize;
}

void CImageButton::SetState(int state)
{
    if (state == m_state || (state != 1 && state != 2))
        return;
    m_state = state;
    updateToolTip();
    update();
}

void CImageButton::SetTooltip(const QString& text)
{
    m_tips[0] = m_tips[1] = text;
    updateToolTip();
}

void CImageButton::SetTooltip(int state, const QString& text)
{
    if (state == 1 || state == 2)
        m_tips[state - 1] = text;
    updateToolTip();
}

void CImageButton::SetCaption(int state, const QString& text)
{
    if (state == 1 || state == 2)
        m_captions[state - 1] = text;
    update();
}

void CImageButton::updateToolTip()
{
    setToolTip(m_kind == kTwoState && m_state == 2 ? m_tips[1] : m_tips[0]);
}

int CImageButton::ChooseFace(int kind, int state, bool hover, bool pressed, bool disabled)
{
    if (disabled || state == kDisabledState)
        return 0;
    bool second = pressed;
    if (kind == kTwoState)
        second = (state == 2) != pressed; // pressing shows the face the click will lead to
    if (second)
        return hover ? 1 : 2;
    return hover ? 3 : 4;
}

void CImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int face = ChooseFace(m_kind, m_state, m_hover, isDown(), !isEnabled());
    m_lastFace = face;
    if (HasFaces()) {
        m_faces.DrawPart(painter, QRect(0, 0, m_faceWidth, m_faceHeight),
                         QRect(0, face * m_faceHeight, m_faceWidth, m_faceHeight));
        return;
    }
    drawPlainFace(painter, face);
}

void CImageButton::drawPlainFace(QPainter& painter, int face)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor fill = pal.color(QPalette::Button);
    if (face == 1 || face == 2)
        fill = pal.color(QPalette::Highlight);
    else if (face == 3)
        fill = fill.lighter(115);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.fillPath(path, fill);
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawPath(path);
    const QString caption = m_captions[m_kind == kTwoState && m_state == 2 ? 1 : 0].isEmpty()
                                ? text()
                                : m_captions[m_kind == kTwoState && m_state == 2 ? 1 : 0];
    painter.setPen(face == 0   ? pal.color(QPalette::Disabled, QPalette::ButtonText)
                   : face <= 2 ? pal.color(QPalette::HighlightedText)
                               : pal.color(QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter, caption);
}

void CImageButton::setHover(bool hover)
{
    if (hover == m_hover)
        return;
    m_hover = hover;
    update();
}

void CImageButton::enterEvent(QEnterEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        setHover(true);
    QAbstractButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event)
{
    setHover(false);
    QAbstractButton::leaveEvent(event);
}

void CImageButton::mouseMoveEvent(QMouseEvent* event)
{
    // The first move with no button held starts the hover; a move with the left button held
    // ends it, as the faces of a pressed button expect.
    if (event->buttons() & Qt::LeftButton)
        setHover(false);
    else if (rect().contains(event->position().toPoint()))
        setHover(true);
    QAbstractButton::mouseMoveEvent(event);
}

void CImageButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        // Disabled is state 3; enabling always comes back in state 1.
        m_state = isEnabled() ? 1 : kDisabledState;
        if (!isEnabled())
            m_hover = false;
        updateToolTip();
        update();
    }
    QAbstractButton::changeEvent(event);
}

} // namespace tw
