#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPoint>
#include <QWidget>

#include "records/record_info.h"
#include "ui/dock_geometry.h"
#include "ui/record_player.h"
#include "ui/skin_bitmap.h"

class QLabel;
class QMenu;

namespace tw {

class CImageButton;
class CNavigator;
class CRecordStorage;
class CSettings;
class CTray;
class PartnerDirectory;
class Prompt;
class StateButton;

/// Command ids of the side panel's buttons and menus.
namespace spcmd {
constexpr int Record = 100, Previous = 101, Play = 102, Next = 103, List = 104, VoiceMails = 105,
              Conversations = 106, Reset = 107, Preference = 108, NameField = 109, TimeField = 110,
              IndexField = 111, State = 112;
constexpr int Call = 32805, Chat = 32806, StickToSkype = 32809, AlwaysOnTop = 32810,
              ShowRecordPanel = 32811, ShowQuickPanel = 32812, PlayAll = 32815,
              FirstRecentRecord = 32816, LastRecentRecord = 33816, CallTransfer = 33821,
              CallOut = 33822, Close = 57602, Exit = 57665, Options = 32775, About = 57664,
              Help = 57670;
} // namespace spcmd

/// Where Skype's main window is and how to move it; the display server decides whether
/// there is one (none on Wayland).
class SkypeWindowAccess
{
public:
    virtual ~SkypeWindowAccess() = default;
    /// Skype's main window's frame on the screen; nothing when it cannot be found.
    virtual std::optional<DockRect> skypeWindow() = 0;
    virtual void moveSkypeWindow(const DockRect& rect) = 0;
    /// The desktop's work area (the screen without panels and docks).
    virtual std::optional<DockRect> workArea() = 0;
};

/// The side panel ("Quick Panel"): the small skinned frameless tool window with the recent
/// records, one at a time (caller, time, position n/count), their playback, the record
/// button of the current call, the voice-mail and conversation switches, the Preference and
/// recent-records menus, and the tray icon. It docks under Skype's main window where the
/// display server lets it. Lives for the whole run; closing only hides it.
///
/// Threads: UI thread only. The record pipeline reaches AddRecentRecord through its posted
/// views; the index's removal listener must post RemoveRecentRecord here.
class CSPanel : public QWidget
{
    Q_OBJECT

public:
    struct Setup
    {
        CRecordStorage* storage = nullptr; ///< the live records; outlives the panel
        PartnerDirectory* directory = nullptr;
        Prompt* prompt = nullptr;
        CSettings* settings = nullptr;
        SkypeWindowAccess* skypeWindow = nullptr; ///< null: docking does nothing
        std::string configPath;                   ///< "SPanel" left and top
        std::string displayName = "Tellwick";     ///< the tray icon's tip
        bool useTray = true;                      ///< false: no tray icon even where one exists
        /// 0 no current call, 1 a call in progress, 2 it is being recorded.
        std::function<int()> activeCallState;
        /// The link's ToggleRecord: stop the voice mail, stop or start the recording.
        std::function<void()> toggleRecord;
        /// Hand the changed switch (VoiceMails, Conversations, CallTransfer, CallOut) from
        /// the settings to the Skype link.
        std::function<void(int command)> switchChanged;
        /// "splist.ini": read (records, position) and written by the panel.
        std::function<void(std::vector<std::uint32_t>& records, int& current)> loadList;
        std::function<void(const std::vector<std::uint32_t>& records, int current)> saveList;
        /// Commands of the main window: show the record browser, Options, About, Help, Exit.
        std::function<void(int command)> mainWindowCommand;
    };

    explicit CSPanel(Setup setup, QWidget* parent = nullptr);
    ~CSPanel() override;

    /// Loads the skin (false, nothing shown, when a background bitmap is missing), places
    /// the panel from "SPanel", builds its children and the tray icon, shows the current
    /// record. Loads the list first when loadList is set.
    bool Create();
    bool IsCreated() const { return m_created; }

    // The recent record list.
    void AddRecentRecord(std::uint32_t key);
    void RemoveRecentRecord(std::uint32_t key);
    void Reload();
    void Refresh();
    void RefreshRecordButton();
    /// Clamps n to 1 … count (0 when empty); stops a playback of another record.
    void GoTo(int n, bool force);
    /// Goes to the record and plays it (a notification's action); false when not listed.
    bool PlayRecord(std::uint32_t key);
    void PlayAll();
    /// The record's file is about to be replaced: a playback of it stops and closes. True
    /// when one did; the next Play opens the new file.
    bool ReleaseRecord(std::uint32_t key);

    const std::vector<std::uint32_t>& Records() const { return m_records; }
    int Position() const { return m_position; }
    bool PlayingAll() const { return m_playAll; }
    const CPlayback* Playback() const { return m_playback.get(); }
    CRecordPlayer& Player() { return m_player; }
    CNavigator* PositionBar() const { return m_bar; }
    CImageButton* Button(int id) const;
    QString FieldText(int id) const;
    QString FieldTip(int id) const;
    QString StateTip() const;
    /// The status code the state icon shows, -1 for none.
    int StateStatus() const;

    void DockToSkype();
    void SetAlwaysOnTop(bool on);
    /// Runs a command as its button or menu item would.
    void RunCommand(int id);
    /// The player's record actions: 1 playing, 2 paused, 3 the record ended.
    void OnRecordAction(int code);
    /// Shows the panel in front.
    void ShowInFront();

    /// The menus as they are about to open (checks and items set); owned by the panel.
    QMenu* PreferenceMenu();
    QMenu* RecentRecordsMenu();
    QMenu* StateMenu();
    /// The tray's menu; it lives while the panel does.
    QMenu* TrayMenu();
    CTray* Tray() const { return m_tray.get(); }

    /// Logs "CSPanel::Exit()", stores the position in "SPanel", saves the list, closes the
    /// playback and removes the tray icon. Once.
    void Exit();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildChildren();
    void buildMenus();
    void updateButtons();
    void updateDisplay();
    void resetBar();
    bool openCurrent();
    void closePlayback();
    void onPlayClicked(int state);
    void playCurrent();
    void askReset();
    void toggleSwitch(int command);
    void saveList();
    void popup(QMenu* menu, QPoint at, bool bottomAtCursor);
    std::optional<RecordInfo> currentRecord() const;

    Setup m_setup;
    bool m_created = false;
    bool m_exited = false;
    CSkinBitmap m_bg, m_stripActive, m_stripInactive;

    std::vector<std::uint32_t> m_records;
    int m_position = 0;
    bool m_playAll = false;
    CRecordPlayer m_player;
    std::unique_ptr<CPlayback> m_playback;

    bool m_dragging = false;
    QPoint m_dragOffset;
    bool m_active = false;

    std::array<CImageButton*, 9> m_buttons{};
    std::array<QLabel*, 3> m_fields{};
    StateButton* m_state = nullptr;
    CNavigator* m_bar = nullptr;

    std::unique_ptr<QMenu> m_preference, m_recent, m_stateMenu;
    std::unique_ptr<CTray> m_tray;
};

} // namespace tw
