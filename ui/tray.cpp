#include "ui/tray.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

#include "ui/side_panel.h"

namespace tw {

CTray::CTray(const QString& tip, std::function<void(int)> run, QObject* parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()), m_tip(CutTip(tip)), m_run(std::move(run))
{
    const auto add = [this](QMenu* menu, int id, const QString& text) {
        QAction* action = menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { m_run(id); });
    };
    add(m_menu.get(), spcmd::ShowQuickPanel, "Display Quick &Panel");
    add(m_menu.get(), spcmd::ShowRecordPanel, "Display &Record Panel");
    add(m_menu.get(), spcmd::Options, "&Options...");
    QMenu* help = m_menu->addMenu("&Help");
    add(help, spcmd::Help, "Online &Help...");
    add(help, spcmd::About, "&About ...");
    m_menu->addSeparator();
    add(m_menu.get(), spcmd::Exit, "E&xit");
}

CTray::~CTray()
{
    Remove();
}

QString CTray::CutTip(const QString& tip)
{
    return tip.left(127);
}

QIcon CTray::Icon()
{
    if (!QApplication::windowIcon().isNull())
        return QApplication::windowIcon();
    // Run from the build tree, where the installed icon theme does not have ours: the reel.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x3d, 0x9b, 0xe9));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 2.6));
    painter.drawEllipse(QPointF(10, 15), 5, 5);
    painter.drawEllipse(QPointF(22, 15), 5, 5);
    painter.drawLine(QPointF(10, 21.5), QPointF(22, 21.5));
    return QIcon(pixmap);
}

bool CTray::Add(bool wanted)
{
    if (!wanted || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>(Icon());
        m_icon->setToolTip(m_tip);
        m_icon->setContextMenu(m_menu.get());
        connect(m_icon.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        m_run(spcmd::ShowQuickPanel);
                });
    }
    m_icon->show();
    return true;
}

void CTray::Remove()
{
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
}

bool CTray::IsShown() const
{
    return m_icon && m_icon->isVisible();
}

QString CTray::Tip() const
{
    return m_tip;
}

} // namespace tw
