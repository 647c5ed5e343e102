#include "ui/splash.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/skin.h"

namespace tw {

CSplashWnd::CSplashWnd(EventLoop& loop, std::function<bool()> mainWindowExists,
                       const std::string& version)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_loop(loop), m_exists(std::move(mainWindowExists)),
      m_version(QString::fromStdString(version))
{
    setObjectName("Splash");
    setAttribute(Qt::WA_DeleteOnClose, false);
    LoadSkin(m_bitmap, "splash.bmp");
    const QSize size =
        m_bitmap.IsEmpty() ? QSize(400, 240) : QSize(m_bitmap.Width(), m_bitmap.Height());
    setFixedSize(size);
}

CSplashWnd::~CSplashWnd()
{
    m_loop.killTimers(this);
}

void CSplashWnd::Start()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    show();
    raise();
    m_firstCheck = true;
    m_loop.startTimer(this, kTimerId, kFirstCheck);
}

void CSplashWnd::onTimer(int id)
{
    if (id != kTimerId)
        return;
    if (m_firstCheck) {
        m_firstCheck = false;
        m_loop.startTimer(this, kTimerId, kCheckPeriod);
    }
    if (!m_exists || !m_exists())
        return;
    // Ticks still queued must not reach a closed splash.
    m_loop.killTimers(this);
    m_closed = true;
    close();
}

void CSplashWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_bitmap.IsEmpty()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    m_bitmap.Draw(painter, 0, 0);
    // The version changes with every release; the picture does not.
    if (!m_version.isEmpty()) {
        painter.setPen(QColor(0xc9, 0xd4, 0xdf));
        painter.drawText(rect().adjusted(0, 0, -14, -10), Qt::AlignRight | Qt::AlignBottom,
                         "Version " + m_version);
    }
}

} // namespace tw
