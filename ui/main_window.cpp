#include "ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "records/record_storage.h"
#include "ui/control_panel.h"
#include "ui/filter_panel.h"
#include "ui/qt_prompt.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/record_panel.h"
#include "ui/record_view.h"

namespace tw {

CMainWindow::CMainWindow(Setup setup, QWidget* parent)
    : QMainWindow(parent), m_setup(std::move(setup)), m_status(new QLabel(this))
{
    setObjectName("TTWK");
    setWindowTitle(QString::fromStdString(m_setup.title));
    if (!m_setup.prompt)
        m_ownPrompt = std::make_unique<QtPrompt>(QString::fromStdString(m_setup.title), this);
    m_prompt = m_setup.prompt ? m_setup.prompt : m_ownPrompt.get();

    BrowserContext context;
    context.storage = m_setup.live;
    context.prompt = m_prompt;
    context.directory = m_setup.directory;
    m_view = new CRecordView(context, this);
    setCentralWidget(m_view);
    statusBar()->addWidget(m_status, 1);
    buildMenus();

    CRecordPanel& records = m_view->Records();
    connect(&records, &CRecordPanel::controlCode, this, [this] {
        UpdateMenuStates();
        updateStatus();
    });
    connect(&records, &QTabWidget::currentChanged, this, [this] {
        UpdateMenuStates();
        updateStatus();
    });
    for (int tab = 0; tab < 3; ++tab)
        connect(&records.GetList(tab)->model(), &RecordModel::refilled, this,
                &CMainWindow::updateStatus);
    connect(&records, &CRecordPanel::contextMenuWanted, this, [this](const QPoint& at) {
        QMenu menu(this);
        for (int id : {cmd::Play, cmd::Stop, cmd::Call, cmd::Chat, cmd::Annotate, cmd::Delete})
            menu.addAction(Action(id));
        UpdateMenuStates();
        menu.exec(at);
    });
    resize(980, 620);
    UpdateMenuStates();
    updateStatus();
}

CMainWindow::~CMainWindow()
{
    m_view->Filter().WaitForRefill();
    m_view->Records().StopAllPlayback();
}

QAction* CMainWindow::addCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key)
{
    auto* action = new QAction(text, this);
    if (!key.isEmpty())
        action->setShortcut(key);
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions[id] = action;
    if (menu)
        menu->addAction(action);
    else
        addAction(action); // a key without a menu item
    return action;
}

QAction* CMainWindow::Action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainWindow::buildMenus()
{
    // Menu titles keep their mnemonics off the Alt keys the commands use (A, C, M, O, P, R,
    // S, T).
    QMenu* file = menuBar()->addMenu("&File");
    addCommand(file, cmd::SaveAs, "&Save Record As...", QKeySequence("Ctrl+S"));
    QMenu* manage = file->addMenu("Record &Management");
    addCommand(manage, cmd::OpenArchive, "&Open Archived Records...", QKeySequence("Ctrl+O"));
    addCommand(manage, cmd::ReturnToCurrent, "&Return to Current Records", QKeySequence("Ctrl+R"));
    manage->addSeparator();
    addCommand(manage, cmd::Rescan, "Resca&n Current Records", QKeySequence("Alt+T"));
    addCommand(manage, cmd::Refresh, "Re&fresh", QKeySequence("F5"))
        ->setShortcuts({QKeySequence("F5"), QKeySequence("Alt+F3")});
    addCommand(manage, cmd::ArchiveTo, "&Archive Current Records to...");
    file->addSeparator();
    addCommand(file, cmd::Close, "&Close", QKeySequence("Ctrl+W"));
    addCommand(file, cmd::Exit, "E&xit", QKeySequence("Ctrl+Q"));

    QMenu* edit = menuBar()->addMenu("&Edit");
    addCommand(edit, cmd::Delete, "&Delete Records", QKeySequence(Qt::Key_Delete));
    addCommand(edit, cmd::DeleteAll, "Delete &All Records");
    edit->addSeparator();
    addCommand(edit, cmd::Lock, "&Lock Records");
    addCommand(edit, cmd::MarkRead, "Mark as &Read");
    addCommand(edit, cmd::MarkUnread, "Mark as &Unread");
    addCommand(edit, cmd::Annotate, "Edit A&nnotation...");
    edit->addSeparator();
    addCommand(edit, cmd::Find, "&Find...", QKeySequence::Find);

    QMenu* view = menuBar()->addMenu("&View");
    for (auto [id, text, key] : {std::tuple{cmd::AllRecords, "&All Records", "Alt+A"},
                                 std::tuple{cmd::VoiceMails, "Voice &Mails", "Alt+M"},
                                 std::tuple{cmd::Conversations, "&Conversation Records", "Alt+C"}})
        addCommand(view, id, text, QKeySequence(key))->setCheckable(true);
    view->addSeparator();
    addCommand(view, cmd::ShowQuickPanel, "Display Quick &Panel", QKeySequence("Alt+P"));

    QMenu* playback = menuBar()->addMenu("Pla&yback");
    addCommand(playback, cmd::Play, "&Play", QKeySequence("Alt+Space"));
    addCommand(playback, cmd::Stop, "&Stop");
    playback->addSeparator();
    addCommand(playback, cmd::Previous, "P&revious Record", QKeySequence("Alt+Up"));
    addCommand(playback, cmd::Next, "&Next Record", QKeySequence("Alt+Down"));

    QMenu* tools = menuBar()->addMenu("Too&ls");
    addCommand(tools, cmd::Call, "&Call");
    addCommand(tools, cmd::Chat, "Cha&t");
    tools->addSeparator();
    addCommand(tools, cmd::StickToSkype, "&Stick to Skype", QKeySequence("Alt+S"));
    addCommand(tools, cmd::Options, "&Options...", QKeySequence("Alt+O"));

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, cmd::Help, "Online &Help...", QKeySequence::HelpContents);

    addCommand(nullptr, cmd::ToggleRecording, {}, QKeySequence("F12"));

    for (QMenu* menu : {file, manage, edit, view, playback, tools, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainWindow::UpdateMenuStates);
}

void CMainWindow::UpdateMenuStates()
{
    CRecordPanel& records = m_view->Records();
    CTIRecordList* list = records.GetCurrentList();
    const std::size_t selected = list ? list->GetSelection().size() : 0;
    const bool one = selected == 1;
    const CPlayback* playback = list ? list->playback() : nullptr;
    const bool playing = playback && playback->state() == CPlayback::Running;
    const bool paused = playback && playback->state() == CPlayback::Paused;
    const auto enable = [this](int id, bool on) {
        if (QAction* a = Action(id))
            a->setEnabled(on);
    };

    enable(cmd::OpenArchive, true);
    enable(cmd::ReturnToCurrent, ArchiveShown());
    enable(cmd::Rescan, !ArchiveShown());
    enable(cmd::ArchiveTo, !ArchiveShown());
    enable(cmd::Refresh, true);
    enable(cmd::SaveAs, one);
    enable(cmd::Close, true);
    enable(cmd::Exit, static_cast<bool>(m_setup.onExit));

    Action(cmd::Play)->setText(playing ? "&Pause" : "&Play");
    enable(cmd::Play, one || playback);
    enable(cmd::Stop, playing || paused);
    const int row = one ? list->GetSelection().front() : -1;
    enable(cmd::Previous, one && row > 0);
    enable(cmd::Next, one && row + 1 < list->model().rowCount());

    enable(cmd::DeleteAll, list && list->model().rowCount() > 0);
    enable(cmd::Delete, selected > 0);
    enable(cmd::Lock, selected > 0);
    enable(cmd::MarkRead, selected > 0);
    enable(cmd::MarkUnread, selected > 0);
    enable(cmd::Annotate, one);
    bool anyUnlocked = false;
    if (list)
        for (int r : list->GetSelection())
            if (const auto info = list->model().record(r);
                info && !(info->flags & RECFLAG_LOCKED)) {
                anyUnlocked = true;
                break;
            }
    Action(cmd::Lock)->setText(selected > 0 && !anyUnlocked ? "Un&lock Records" : "&Lock Records");

    const int tab = records.GetCurrentTab();
    Action(cmd::AllRecords)->setChecked(tab == 0);
    Action(cmd::VoiceMails)->setChecked(tab == 1);
    Action(cmd::Conversations)->setChecked(tab == 2);

    enable(cmd::Call, one && m_setup.directory);
    enable(cmd::Chat, one && m_setup.directory);
    enable(cmd::Options, static_cast<bool>(m_setup.onOptions));
    enable(cmd::StickToSkype, static_cast<bool>(m_setup.onStickToSkype));
    enable(cmd::ShowQuickPanel, static_cast<bool>(m_setup.onShowQuickPanel));
    enable(cmd::Help, true);
}

void CMainWindow::updateStatus()
{
    CTIRecordList* list = m_view->Records().GetCurrentList();
    if (!list)
        return;
    const int rows = list->model().rowCount();
    const std::size_t selected = list->GetSelection().size();
    QString text = rows == 1 ? QString("1 record") : QString("%1 records").arg(rows);
    if (!m_view->Filter().Edit()->text().isEmpty())
        text += rows == 0 ? " match the search" : " found";
    if (selected > 1)
        text += QString(", %1 selected").arg(selected);
    if (m_archive)
        text += "  ·  archive " + QString::fromStdString(m_archive->GetFolder());
    m_status->setText(text);

    const QString search = m_view->Filter().Edit()->text();
    const char* const kinds[3] = {"records", "voice mails", "conversation records"};
    for (int tab = 0; tab < 3; ++tab) {
        QString empty;
        if (!search.isEmpty())
            empty = QString("No record matches \"%1\".").arg(search);
        else if (m_archive)
            empty = QString("This archive holds no %1.").arg(kinds[tab]);
        else
            empty = QString("No %1 yet. New ones appear here as calls are answered and recorded.")
                        .arg(kinds[tab]);
        m_view->Records().GetList(tab)->SetEmptyText(empty);
    }
}

void CMainWindow::Activate()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CMainWindow::UpdateTitle(const std::optional<std::string>& folder)
{
    QString title = windowTitle();
    const int dash = title.indexOf('-');
    // The base is the text before the blank that precedes the dash.
    const QString base = dash > 0 ? title.left(dash - 1) : title;
    if (folder)
        setWindowTitle(base + " - " + "Archieved Records" + " (" + QString::fromStdString(*folder) +
                       ")");
    else
        setWindowTitle(base);
}

void CMainWindow::FillFromLive()
{
    if (!m_setup.live)
        return;
    m_view->Filter().WaitForRefill();
    const RecordLists lists = m_view->Records().Lists();
    m_setup.live->FillLists(lists, {});
    m_view->Filter().PrepareSearch();
}

void CMainWindow::closeEvent(QCloseEvent* event)
{
    if (m_exiting) {
        event->accept();
        return;
    }
    // Closing only hides: the answering machine goes on.
    stopPlayer();
    hide();
    event->ignore();
}

void CMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        // Never left minimised on the task bar: minimising hides the window.
        stopPlayer();
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hide();
        });
    }
}

void CMainWindow::stopPlayer()
{
    m_view->Records().StopAllPlayback();
}

void CMainWindow::RecordAdded(const RecordInfo& info)
{
    if (m_archive)
        return;
    CRecordPanel& records = m_view->Records();
    records.GetList(0)->model().insertKey(info.startTime);
    if (info.type == RECORD_VOICEMAIL)
        records.GetList(1)->model().insertKey(info.startTime);
    else if (info.type == RECORD_CONVERSATION)
        records.GetList(2)->model().insertKey(info.startTime);
    updateStatus();
}

bool CMainWindow::ReleaseRecord(std::uint32_t startTime)
{
    bool released = false;
    for (int tab = 0; tab < 3; ++tab)
        released = m_view->Records().GetList(tab)->ReleaseRecord(startTime) || released;
    return released;
}

void CMainWindow::ReopenRecord(std::uint32_t startTime)
{
    // The converted file is read again the next time the record is played.
    for (int tab = 0; tab < 3; ++tab)
        m_view->Records().GetList(tab)->model().refreshKey(startTime);
}

} // namespace tw
