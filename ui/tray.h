#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace tw {

/// The tray icon and its menu ("Display Quick &Panel", "Display &Record Panel",
/// "&Options...", the "&Help" submenu, "E&xit"). The icon is added only where the desktop
/// offers a tray; the menu exists either way, so whoever owns it can offer the same items
/// elsewhere. UI thread only.
class CTray : public QObject
{
    Q_OBJECT

public:
    /// run gets the command id of a chosen item; a left click on the icon runs
    /// "Display Quick Panel".
    CTray(const QString& tip, std::function<void(int command)> run, QObject* parent = nullptr);
    ~CTray() override;

    /// Adds the icon when a tray exists (and wanted is set); true when the icon shows.
    bool Add(bool wanted = true);
    void Remove();
    bool IsShown() const;
    QMenu* Menu() const { return m_menu.get(); }
    QString Tip() const;

    /// The application's icon, or a drawn one where the icon theme does not have it.
    static QIcon Icon();
    /// The tip as the tray takes it: at most 127 characters.
    static QString CutTip(const QString& tip);

private:
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QString m_tip;
    std::function<void(int)> m_run;
};

} // namespace tw
