#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

namespace tw {

class CRecordStorage;
class CRecordView;
class PartnerDirectory;
class Prompt;
class QtPrompt;
struct RecordInfo;

/// Command ids of the menus and keys (the record browser's own numbering).
namespace cmd {
constexpr int AllRecords = 33817, VoiceMails = 32772, Conversations = 32773, Options = 32775,
              ArchiveTo = 32785, SaveAs = 32786, OpenArchive = 32787, ReturnToCurrent = 32788,
              Refresh = 32789, Rescan = 32790, Delete = 32791, DeleteAll = 32792, Lock = 32793,
              MarkRead = 32795, MarkUnread = 32796, Play = 32797, Stop = 32799, Previous = 32800,
              Next = 32801, Annotate = 32804, Call = 32805, Chat = 32806, ToggleRecording = 32807,
              StickToSkype = 32809, Close = 57602, Help = 57670, Exit = 57665,
              Find = 1; // Find: Ctrl+F, into the search box
/// The side panel's commands that the main window's keys reach as well.
constexpr int ShowQuickPanel = 32812;
} // namespace cmd

/// The main window: the record browser with its menus, keys and status bar. Created hidden;
/// Activate() shows it; closing and minimising only hide it (a playing record stops). The
/// application ends through the Exit command (or its own quit), never by closing this
/// window. UI thread only.
class CMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    struct Setup
    {
        CRecordStorage* live = nullptr; ///< the live records; outlives the window
        Prompt* prompt = nullptr;       ///< null: the window's own dialogs
        PartnerDirectory* directory = nullptr;
        std::string title = "Tellwick";
        std::string helpBase = "https://tellwick.org/help";
        std::string helpOverride; ///< section "URL" key "REG" of the configuration
        std::function<void()> onOptions;
        std::function<void()> onStickToSkype;
        std::function<void()> onShowQuickPanel; ///< "Display Quick Panel" (Alt+P)
        std::function<void()> onExit;
    };

    explicit CMainWindow(Setup setup, QWidget* parent = nullptr);
    ~CMainWindow() override;

    CRecordView& View() const { return *m_view; }
    Prompt& GetPrompt() const { return *m_prompt; }
    QAction* Action(int id) const;
    /// Runs a command as its menu item or key would.
    void RunCommand(int id);
    /// Sets every item's enabled, checked and text state (done before a menu opens).
    void UpdateMenuStates();
    bool ArchiveShown() const { return m_archive != nullptr; }
    /// The help page's address for the current locale.
    QString HelpAddress() const;

    /// Shows the window normal and in front.
    void Activate();
    /// The title with " - Archieved Records (folder)" for an open archive, bare without.
    void UpdateTitle(const std::optional<std::string>& folder);
    /// Fills the lists from the live records (start-up, after the folder changed).
    void FillFromLive();

    // What the record pipeline tells the window.
    void RecordAdded(const RecordInfo& info);
    bool ReleaseRecord(std::uint32_t startTime);
    void ReopenRecord(std::uint32_t startTime);

    /// Lets the next close really close (the application is ending).
    void SetExiting() { m_exiting = true; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    QAction* addCommand(QMenu* menu, int id, const QString& text,
                        const QKeySequence& key = QKeySequence());
    void updateStatus();
    void stopPlayer();
    void openArchive();
    void returnToCurrent();
    void useStorage(CRecordStorage* storage);

    Setup m_setup;
    std::unique_ptr<QtPrompt> m_ownPrompt;
    Prompt* m_prompt;
    CRecordView* m_view;
    std::unique_ptr<CRecordStorage> m_archive;
    std::map<int, QAction*> m_actions;
    QLabel* m_status;
    bool m_exiting = false;
};

} // namespace tw
