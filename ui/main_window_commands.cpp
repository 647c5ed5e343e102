// The main window's command routing: what each menu item and key does.
#include <QDesktopServices>
#include <QLineEdit>
#include <QLocale>
#include <QUrl>

#include "platform/prompt.h"
#include "records/record_storage.h"
#include "ui/filter_panel.h"
#include "ui/main_window.h"
#include "ui/partner_directory.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/record_panel.h"
#include "ui/record_view.h"
#include "ui/ui_log.h"

namespace tw {
namespace {

constexpr char kAskDeleteAll[] = "Do you really want to delete all records?";

const char* languageWord(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ||
                       locale.territory() == QLocale::Taiwan ||
                       locale.territory() == QLocale::HongKong
                   ? "tchinese"
                   : "schinese";
    case QLocale::French:
        return "french";
    case QLocale::German:
        return "german";
    case QLocale::Japanese:
        return "japanese";
    case QLocale::Spanish:
        return "spanish";
    case QLocale::Italian:
        return "italian";
    case QLocale::Polish:
        return "polish";
    case QLocale::Turkish:
        return "turkish";
    case QLocale::Greek:
        return "greek";
    case QLocale::Portuguese:
        return "portuguese";
    case QLocale::Hungarian:
        return "hungarian";
    case QLocale::Slovak:
        return "slovak";
    default:
        return "english";
    }
}

} // namespace

QString CMainWindow::HelpAddress() const
{
    if (!m_setup.helpOverride.empty())
        return QString::fromStdString(m_setup.helpOverride);
    return QString::fromStdString(m_setup.helpBase) + "?language=" + languageWord(QLocale());
}

void CMainWindow::useStorage(CRecordStorage* storage)
{
    m_view->Filter().WaitForRefill();
    m_view->Context().storage = storage;
    m_view->Records().StorageChanged();
}

void CMainWindow::openArchive()
{
    stopPlayer();
    const auto folder = m_prompt->chooseFolder("Open Archived Records", false);
    if (!folder)
        return;
    if (m_archive)
        returnToCurrent();
    auto archive = std::make_unique<CRecordStorage>(m_prompt);
    archive->SetArchiveView(true);
    useStorage(archive.get());
    const RecordLists lists = m_view->Records().Lists();
    if (!archive->OpenStorageFolder(*folder, &lists)) {
        useStorage(m_setup.live);
        FillFromLive();
        return;
    }
    m_archive = std::move(archive);
    m_view->Filter().ClearSearch();
    UpdateTitle(*folder);
    UpdateMenuStates();
    updateStatus();
}

void CMainWindow::returnToCurrent()
{
    stopPlayer();
    useStorage(m_setup.live);
    m_archive.reset();
    m_view->Filter().ClearSearch();
    FillFromLive();
    UpdateTitle(std::nullopt);
    UpdateMenuStates();
    updateStatus();
}

void CMainWindow::RunCommand(int id)
{
    CRecordPanel& records = m_view->Records();
    CTIRecordList* list = records.GetCurrentList();
    const std::vector<int> selection = list ? list->GetSelection() : std::vector<int>{};
    switch (id) {
    case cmd::AllRecords:
    case cmd::VoiceMails:
    case cmd::Conversations: {
        const int tab = id == cmd::AllRecords ? 0 : id == cmd::VoiceMails ? 1 : 2;
        records.SetCurrentTab(tab);
        uiTrace(3, tab == 0   ? "Change to display all records"
                   : tab == 1 ? "Change to voice mails"
                              : "Change to conversation records");
        break;
    }
    case cmd::Options:
        if (m_setup.onOptions)
            m_setup.onOptions();
        break;
    case cmd::ArchiveTo:
        if (m_setup.live)
            m_setup.live->ArchiveTo(std::nullopt);
        break;
    case cmd::SaveAs:
        if (selection.size() == 1 && m_view->Context().storage)
            m_view->Context().storage->ExportRecord(list->model().keyAt(selection.front()));
        break;
    case cmd::OpenArchive:
        openArchive();
        break;
    case cmd::ReturnToCurrent:
        if (m_archive)
            returnToCurrent();
        break;
    case cmd::Rescan:
    case cmd::Refresh: {
        if (!m_setup.live)
            break;
        stopPlayer();
        if (m_archive) {
            useStorage(m_setup.live);
            m_archive.reset();
        }
        m_view->Filter().WaitForRefill();
        m_view->Filter().ClearSearch();
        const RecordLists lists = records.Lists();
        if (id == cmd::Rescan)
            m_setup.live->RebuildLists(&lists);
        else
            m_setup.live->RefreshLists(&lists);
        UpdateTitle(std::nullopt);
        break;
    }
    case cmd::Delete:
        if (isVisible())
            records.DeleteSelectedRecords();
        break;
    case cmd::DeleteAll:
        if (m_prompt->message(kAskDeleteAll, Prompt::Icon::Question, Prompt::Buttons::YesNo) ==
            Prompt::Answer::Yes)
            records.DeleteAllRecords();
        break;
    case cmd::Lock:
        if (list)
            list->ToggleLockSelected();
        break;
    case cmd::MarkRead:
    case cmd::MarkUnread:
        if (list)
            list->SetFlagOnSelected(RECFLAG_PLAYED, id == cmd::MarkRead);
        break;
    case cmd::Play:
        if (list)
            list->DoAction(list->playback() && list->playback()->state() == CPlayback::Running
                               ? CTIRecordList::Pause
                               : CTIRecordList::Play);
        break;
    case cmd::Stop:
        if (list)
            list->DoAction(CTIRecordList::StopAction);
        break;
    case cmd::Previous:
        if (list)
            list->SelectPrevious();
        break;
    case cmd::Next:
        if (list)
            list->SelectNext();
        break;
    case cmd::Annotate:
    case cmd::Call:
    case cmd::Chat:
        if (list)
            list->DoAction(id == cmd::Annotate ? CTIRecordList::Annotate
                           : id == cmd::Call   ? CTIRecordList::Call
                                               : CTIRecordList::Chat);
        break;
    case cmd::ToggleRecording:
        if (m_setup.directory)
            m_setup.directory->toggleRecording();
        break;
    case cmd::StickToSkype:
        if (m_setup.onStickToSkype)
            m_setup.onStickToSkype();
        break;
    case cmd::ShowQuickPanel:
        if (m_setup.onShowQuickPanel)
            m_setup.onShowQuickPanel();
        break;
    case cmd::Close:
        close();
        break;
    case cmd::Exit:
        if (m_setup.onExit)
            m_setup.onExit();
        break;
    case cmd::Help:
        QDesktopServices::openUrl(QUrl(HelpAddress()));
        break;
    case cmd::Find:
        m_view->Filter().Edit()->setFocus();
        m_view->Filter().Edit()->selectAll();
        break;
    default:
        break;
    }
    UpdateMenuStates();
}

} // namespace tw
