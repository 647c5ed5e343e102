#include "ui/navigator.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin.h"

namespace tw {
namespace {

constexpr int kMargin = 4;
constexpr int kGap = 6;
constexpr int kDigitWidth = 10;
constexpr int kMarkWidth = 4;
constexpr int kTimeWidth = 6 * kDigitWidth + 2 * kMarkWidth;
const QColor kPanel(0x1f, 0x26, 0x30);
const QColor kWavePlayed(0x6c, 0xc4, 0xff);
const QColor kWaveRest(0x7d, 0x8b, 0x99);

/// x of a glyph in the strip "1234567890:." and its width.
std::pair<int, int> glyph(QChar c)
{
    if (c == ':')
        return {100, kMarkWidth};
    if (c == '.')
        return {104, kMarkWidth};
    const int d = c.digitValue();
    return {d == 0 ? 90 : (d - 1) * kDigitWidth, kDigitWidth};
}

} // namespace

QString NavigatorTimeText(std::uint32_t position)
{
    const std::uint32_t t = position == 0 ? 0 : position - 1;
    const std::uint32_t h = t / 360000, m = t / 6000 % 60, s = t / 100 % 60;
    if (h != 0)
        return QString::asprintf("%02u:%02u:%02u", h, m, s);
    return QString::asprintf("%02u:%02u.%02u", m, s, t % 100);
}

CNavigator::CNavigator(QWidget* parent) : QWidget(parent)
{
    setObjectName("Navigator");
    setMouseTracking(true);
    const std::string folder = "m_panel/slider/";
    bool all = LoadSkin(m_thumb, folder + "btn_thumb.bmp");
    all = LoadSkin(m_prev, folder + "btn_prev.bmp") && all;
    all = LoadSkin(m_next, folder + "btn_next.bmp") && all;
    all = LoadSkin(m_bgRest, folder + "bg_middle_w.bmp") && all;
    all = LoadSkin(m_bgPlayed, folder + "bg_middle_b.bmp") && all;
    all = LoadSkin(m_digits, folder + "digit.bmp") && all;
    // The parts have to agree with each other; a partial skin is drawn plainly as a whole.
    m_skinned = all && m_thumb.Height() >= 3 && m_prev.Height() >= 3 && m_next.Height() >= 3 &&
                m_digits.Width() >= 108;
    if (m_skinned) {
        m_thumbSize = QSize(m_thumb.Width(), m_thumb.Height() / 3);
        m_buttonSize = QSize(m_prev.Width(), m_prev.Height() / 3);
        m_glyphHeight = m_digits.Height();
    }
    setMinimumSize(minimumSizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layoutParts();
}

QSize CNavigator::sizeHint() const
{
    return QSize(480, minimumSizeHint().height());
}

QSize CNavigator::minimumSizeHint() const
{
    const int h = std::max({m_thumbSize.height(), m_buttonSize.height(), m_glyphHeight});
    return QSize(2 * m_buttonSize.width() + kTimeWidth + 80, h + 2 * kMargin);
}

void CNavigator::resizeEvent(QResizeEvent*)
{
    layoutParts();
}

void CNavigator::layoutParts()
{
    const int h = height();
    m_timeArea = QRect(width() - kMargin - kTimeWidth, 0, kTimeWidth, h);
    const int trackLeft = kMargin + m_buttonSize.width() + kGap;
    const int trackRight = m_timeArea.left() - 2 * kGap - m_buttonSize.width();
    m_track =
        QRect(trackLeft, (h - m_thumbSize.height()) / 2,
              std::max(m_thumbSize.width() + 1, trackRight - trackLeft), m_thumbSize.height());
    m_trackStart = m_track.left();
    m_trackEnd = m_track.right() + 1 - m_thumbSize.width();
    SetRange(m_range);
}

QRect CNavigator::PartRect(Part part) const
{
    const int by = (height() - m_buttonSize.height()) / 2;
    switch (part) {
    case Thumb:
        return QRect(QPoint(ThumbX(), m_track.top()), m_thumbSize);
    case StepBack:
        return QRect(QPoint(kMargin, by), m_buttonSize);
    case StepForward:
        return QRect(QPoint(m_track.right() + 1 + kGap, by), m_buttonSize);
    default:
        return {};
    }
}

void CNavigator::SetRange(std::uint32_t range)
{
    m_range = std::max<std::uint32_t>(range, 1);
    m_step = m_range > 1 ? double(m_trackEnd - m_trackStart) / double(m_range - 1) : 0;
    if (m_pos > m_range)
        m_pos = m_range;
    update();
}

void CNavigator::SetPos(std::uint32_t position)
{
    m_pos = std::clamp<std::uint32_t>(position, 1, m_range);
    update();
}

int CNavigator::ThumbX() const
{
    if (m_pos == m_range)
        return m_range == 1 ? m_trackStart : m_trackEnd;
    return std::max(m_trackStart, m_trackStart + int(std::trunc((m_pos - 1) * m_step)));
}

void CNavigator::SetWaveform(std::vector<float> peaks)
{
    m_peaks = std::move(peaks);
    update();
}

CNavigator::Part CNavigator::partAt(QPoint point) const
{
    for (Part part : {Thumb, StepBack, StepForward})
        if (PartRect(part).contains(point))
            return part;
    return None;
}

void CNavigator::setPartState(Part part, int state)
{
    if (part == None || m_states[part] == state)
        return;
    m_states[part] = state;
    update();
}

void CNavigator::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    Part part = partAt(at);
    if (part == None && m_track.contains(at) && m_range > 1) {
        // A press on the track outside the thumb brings the thumb's middle there and
        // goes on as a drag.
        m_pressOffset = m_thumbSize.width() / 2;
        m_pressX = at.x() + 1;
        part = Thumb;
    } else if (part == Thumb) {
        m_pressOffset = at.x() - ThumbX();
        m_pressX = at.x();
    }
    m_pressed = part;
    setPartState(part, 3);
    if (part == StepBack || part == StepForward) {
        if (part == StepBack && m_pos >= 2)
            SetPos(m_pos - 1);
        else if (part == StepForward)
            SetPos(m_pos + 1);
        emit userMoved();
    } else if (part == Thumb && m_pressX != at.x()) {
        mouseMoveEvent(event);
    }
}

void CNavigator::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_pressed == Thumb) {
        if (at.x() != m_pressX && m_trackEnd > m_trackStart) {
            const double along = std::max(0, at.x() - m_pressOffset - m_trackStart);
            const double p = std::trunc(along / (m_trackEnd - m_trackStart) * m_range) + 1;
            SetPos(static_cast<std::uint32_t>(std::min<double>(p, m_range)));
            emit userMoved();
        }
        return;
    }
    if (m_pressed != None) {
        setPartState(m_pressed, PartRect(m_pressed).contains(at) ? 3 : 1);
        return;
    }
    const Part part = partAt(at);
    if (part != m_hover) {
        setPartState(m_hover, 1);
        m_hover = part;
    }
    setPartState(part, 2);
}

void CNavigator::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressed == None)
        return;
    setPartState(m_pressed, PartRect(m_pressed).contains(event->position().toPoint()) ? 2 : 1);
    m_pressed = None;
}

void CNavigator::leaveEvent(QEvent*)
{
    if (m_pressed == None) {
        setPartState(m_hover, 1);
        m_hover = None;
    }
}

void CNavigator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPanel);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawTrack(painter);
    drawButton(painter, StepBack, m_prev);
    drawButton(painter, StepForward, m_next);
    drawButton(painter, Thumb, m_thumb);
    drawTime(painter);
}

void CNavigator::drawButton(QPainter& painter, Part part, const CSkinBitmap& faces)
{
    const QRect r = PartRect(part);
    const int state = std::clamp(m_states[part], 1, 3);
    if (m_skinned) {
        faces.DrawPart(painter, r, QRect(0, (state - 1) * r.height(), r.width(), r.height()));
        return;
    }
    QColor fill = state == 3 ? QColor(0x3a, 0x8e, 0xd8) : QColor(0x46, 0x52, 0x60);
    if (state == 2)
        fill = fill.lighter(130);
    painter.fillRect(r, fill);
    painter.setPen(QColor(0xe6, 0xed, 0xf3));
    if (part != Thumb)
        painter.drawText(r, Qt::AlignCenter, part == StepBack ? "<" : ">");
}

void CNavigator::drawTrack(QPainter& painter)
{
    const int middle = ThumbX() + m_thumbSize.width() / 2;
    const QRect played(m_track.left(), m_track.top(), middle - m_track.left(), m_track.height());
    const QRect rest(middle, m_track.top(), m_track.right() + 1 - middle, m_track.height());
    if (m_skinned) {
        m_bgPlayed.DrawPart(painter, played, QRect(0, 0, m_bgPlayed.Width(), m_bgPlayed.Height()));
        m_bgRest.DrawPart(painter, rest, QRect(0, 0, m_bgRest.Width(), m_bgRest.Height()));
    } else {
        painter.fillRect(played, QColor(0x24, 0x4a, 0x6e));
        painter.fillRect(rest, QColor(0x2b, 0x34, 0x40));
    }
    if (m_peaks.empty() || m_track.width() < 2)
        return;
    // One bar per pixel column, mirrored around the track's middle line.
    const int centre = m_track.center().y();
    const int half = m_track.height() / 2 - 2;
    for (int x = m_track.left(); x <= m_track.right(); ++x) {
        const std::size_t i =
            std::size_t(x - m_track.left()) * m_peaks.size() / std::size_t(m_track.width());
        const int amp = std::max(1, int(std::clamp(m_peaks[i], 0.f, 1.f) * half));
        painter.setPen(x < middle ? kWavePlayed : kWaveRest);
        painter.drawLine(x, centre - amp, x, centre + amp);
    }
}

void CNavigator::drawTime(QPainter& painter)
{
    const QString text = NavigatorTimeText(m_pos);
    if (!m_skinned) {
        painter.setPen(QColor(0xe6, 0xed, 0xf3));
        QFont font("monospace");
        font.setStyleHint(QFont::Monospace);
        painter.setFont(font);
        painter.drawText(m_timeArea, Qt::AlignVCenter | Qt::AlignLeft, text);
        return;
    }
    int x = m_timeArea.left();
    const int y = (height() - m_glyphHeight) / 2;
    for (QChar c : text) {
        const auto [sx, w] = glyph(c);
        m_digits.DrawPart(painter, QRect(x, y, w, m_glyphHeight), QRect(sx, 0, w, m_glyphHeight));
        x += w;
    }
}

} // namespace tw
