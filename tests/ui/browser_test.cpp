// The record browser: lists, search, sorting, the record actions and the menus, on a real
// records folder with a scripted prompt and a sound device that plays only when told.
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/scripted_prompt.h"
#include "records/record_storage.h"
#include "ui/control_panel.h"
#include "ui/filter_panel.h"
#include "ui/image_button.h"
#include "ui/main_window.h"
#include "ui/record_list.h"
#include "ui/record_model.h"
#include "ui/record_panel.h"
#include "ui/record_view.h"
#include "ui/skin.h"
#include "ui_test_util.h"

using namespace tw;
using namespace tw::test;

namespace {

constexpr std::uint32_t kT0 = 1700000000; // records start an hour apart from here

} // namespace

class BrowserTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CRecordStorage> m_storage;
    ScriptedPrompt m_prompt;
    std::unique_ptr<CMainWindow> m_window;

    CRecordPanel& panel() { return m_window->View().Records(); }
    CTIRecordList& list(int tab = 0) { return *panel().GetList(tab); }
    RecordModel& model(int tab = 0) { return list(tab).model(); }
    std::uint32_t flags(std::uint32_t start) { return m_storage->Index().GetRecordFlags(start); }
    void select(std::initializer_list<int> rows, int tab = 0)
    {
        list(tab).clearSelection();
        for (int row : rows)
            list(tab).selectionModel()->select(
                model(tab).index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    /// Records: voice mails from alice (unread), bob, carol; conversations with dave, erin.
    void seed()
    {
        AddRecord(*m_storage, RECORD_VOICEMAIL, kT0, 59 * 60 + 59, "alice");
        AddRecord(*m_storage, RECORD_VOICEMAIL, kT0 + 3600, 3600, "bob", RECFLAG_PLAYED);
        AddRecord(*m_storage, RECORD_CONVERSATION, kT0 + 7200, 75, "dave", RECFLAG_PLAYED);
        AddRecord(*m_storage, RECORD_VOICEMAIL, kT0 + 10800, 20, "carol",
                  RECFLAG_PLAYED | RECFLAG_LOCKED);
        AddRecord(*m_storage, RECORD_CONVERSATION, kT0 + 14400, 5, "erin", RECFLAG_PLAYED);
    }
    void search(const QString& text)
    {
        m_window->View().Filter().WaitForRefill(); // the search texts being prepared
        m_window->View().Filter().Edit()->setText(text);
        m_window->View().Filter().OnFilterChanged();
        m_window->View().Filter().WaitForRefill();
    }

private slots:
    void initTestCase()
    {
        SetSkinFolder(BuildDataFolder());
        CRecordPlayer::SetDefaultOutputFactory(FakeOutputFactory());
    }

    void init()
    {
        FakeAudioOutput::deviceMissing = false;
        m_prompt = ScriptedPrompt();
        m_dir = std::make_unique<QTemporaryDir>();
        m_storage = std::make_unique<CRecordStorage>(&m_prompt);
        QVERIFY(m_storage->OpenStorageFolder(m_dir->path().toStdString() + "/live", nullptr));
        seed();
        CMainWindow::Setup setup;
        setup.live = m_storage.get();
        setup.prompt = &m_prompt;
        m_window = std::make_unique<CMainWindow>(setup);
        m_window->FillFromLive();
        m_window->Activate();
    }

    void cleanup() { m_window.reset(); }

    void listsHoldTheirRecordsNewestFirstWithTheirTexts()
    {
        QCOMPARE(model(0).rowCount(), 5);
        QCOMPARE(model(1).rowCount(), 3);
        QCOMPARE(model(2).rowCount(), 2);
        QCOMPARE(model(0).keyAt(0), kT0 + 14400);
        QCOMPARE(list(0).objectName(), QString("All"));
        QCOMPARE(list(2).objectName(), QString("Conversations"));
        QCOMPARE(panel().tabText(2), QString("Conversation Records"));
        // 59:59 below an hour, 01:00:00 from one hour on.
        QCOMPARE(model(1).data(model(1).index(2, RecordModel::ColLength), Qt::DisplayRole),
                 QVariant("59:59"));
        QCOMPARE(model(1).data(model(1).index(1, RecordModel::ColLength), Qt::DisplayRole),
                 QVariant("01:00:00"));
        // Without a Skype link the stored full name shows.
        QCOMPARE(model(0).data(model(0).index(0, RecordModel::ColFullName), Qt::DisplayRole),
                 QVariant("erin full"));
    }

    void aSearchThatFindsNothingIsNotRepeatedForLongerText()
    {
        CFilterPanel& filter = m_window->View().Filter();
        select({0});
        m_window->RunCommand(cmd::Play);
        QVERIFY(list(0).playback());
        search("zz");
        // The loaded record left the list: it is closed, and the empty list says why.
        QVERIFY(!list(0).playback());
        QCOMPARE(list(0).EmptyText(), QString("No record matches \"zz\"."));
        QCOMPARE(model(1).rowCount(), 0);
        QCOMPARE(model(2).rowCount(), 0);
        QVERIFY(filter.FoundNothing());
        const int refills = filter.RefillCount();
        search("zzq");
        QCOMPARE(filter.RefillCount(), refills); // a longer text cannot find more
        search("z");
        QCOMPARE(filter.RefillCount(), refills + 1); // a shorter one may
        search("CAROL");
        QCOMPARE(model(0).rowCount(), 1);
        QCOMPARE(model(1).rowCount(), 1);
        QVERIFY(!filter.FoundNothing());
        search("");
        QCOMPARE(model(0).rowCount(), 5);
    }

    void headerClicksSortNewestThenOldestFirst()
    {
        QHeaderView* header = list(0).header();
        emit header->sectionClicked(RecordModel::ColTime);
        QCOMPARE(model(0).keyAt(0), kT0 + 14400);
        emit header->sectionClicked(RecordModel::ColTime);
        QCOMPARE(model(0).keyAt(0), kT0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        emit header->sectionClicked(RecordModel::ColSkypeName); // first click: descending
        QCOMPARE(model(0).data(model(0).index(0, 3), Qt::DisplayRole), QVariant("erin"));
    }

    void deletingThreeWithOneLockedKeepsItAndSaysSo()
    {
        panel().SetCurrentTab(1);
        select({0, 1, 2}, 1); // carol (locked), bob, alice
        m_prompt.queueAnswer(Prompt::Answer::Yes);
        m_window->RunCommand(cmd::Delete);
        QCOMPARE(model(1).rowCount(), 1);
        QCOMPARE(model(1).keyAt(0), kT0 + 10800);
        QVERIFY(m_storage->Index().FindRecord(kT0 + 10800));
        QVERIFY(!m_storage->Index().FindRecord(kT0));
        QCOMPARE(m_prompt.messages().size(), std::size_t(2));
        QCOMPARE(m_prompt.messages()[0].text,
                 std::string("Do you really want to delete the selected records?"));
        QCOMPARE(m_prompt.messages()[1].text,
                 std::string("Cannot delete records that are locked!"));
        QCOMPARE(model(0).rowCount(), 3); // the other lists were filled again
    }

    void answeringNoDeletesNothing()
    {
        select({0, 1});
        m_prompt.queueAnswer(Prompt::Answer::No);
        m_window->RunCommand(cmd::Delete);
        m_window->RunCommand(cmd::DeleteAll); // nothing queued: No
        QCOMPARE(model(0).rowCount(), 5);
        QCOMPARE(m_storage->Index().GetRecordCount(), std::size_t(5));
    }

    void deleteAllKeepsTheLockedRecord()
    {
        m_prompt.queueAnswer(Prompt::Answer::Yes);
        m_window->RunCommand(cmd::DeleteAll);
        QCOMPARE(model(0).rowCount(), 1);
        QCOMPARE(m_prompt.messages().back().text,
                 std::string("Cannot delete records that are locked!"));
    }

    void playingAnUnreadRecordMarksItReadEverywhere()
    {
        panel().SetCurrentTab(1);
        const int alice = model(1).rowOf(kT0);
        QVERIFY(!(flags(kT0) & RECFLAG_PLAYED));
        QSignalSpy allChanged(&model(0), &QAbstractItemModel::dataChanged);
        select({alice}, 1);
        m_window->RunCommand(cmd::Play);
        QVERIFY(flags(kT0) & RECFLAG_PLAYED);
        QVERIFY(model(1).record(alice)->flags & RECFLAG_PLAYED);
        QVERIFY(allChanged.size() >= 1); // the All list redraws the row too
        QCOMPARE(m_window->Action(cmd::Play)->text(), QString("&Pause"));
        CControlPanel& controls = m_window->View().Controls();
        QCOMPARE(controls.Button(CControlPanel::Play)->GetState(), 2);
        QVERIFY(controls.Button(CControlPanel::Stop)->isEnabled());
        m_window->RunCommand(cmd::Play);
        QCOMPARE(list(1).playback()->state(), int(CPlayback::Paused));
        QCOMPARE(controls.Button(CControlPanel::Play)->GetState(), 1);
        m_window->RunCommand(cmd::Stop);
        QVERIFY(!controls.Button(CControlPanel::Stop)->isEnabled());
    }

    void aRecordWhoseFileIsGoneIsListedAndSaysSoWhenPlayed()
    {
        const auto info = m_storage->Index().FindRecord(kT0 + 3600);
        QVERIFY(QFile::remove(QString::fromStdString(info->Path())));
        m_window->FillFromLive();
        QCOMPARE(model(0).rowCount(), 5);
        select({model(0).rowOf(kT0 + 3600)});
        m_window->RunCommand(cmd::Play);
        QVERIFY(!list(0).playback());
        QCOMPARE(m_prompt.messages().size(), std::size_t(1));
        QVERIFY(m_prompt.messages()[0].text.find("cannot be played") != std::string::npos);
        QVERIFY(m_prompt.messages()[0].text.find(info->Path()) != std::string::npos);
        QCOMPARE(m_window->View().Controls().Button(CControlPanel::Play)->GetState(), 1);
    }

    void noSoundDeviceGivesAClearMessage()
    {
        FakeAudioOutput::deviceMissing = true;
        select({0});
        m_window->RunCommand(cmd::Play);
        QCOMPARE(m_prompt.messages().size(), std::size_t(1));
        QVERIFY(m_prompt.messages()[0].text.find("No sound output device") != std::string::npos);
        QCOMPARE(m_window->View().Controls().Button(CControlPanel::Play)->GetState(), 1);
    }

    void lockOnAMixedSelectionLocksBothThenUnlocks()
    {
        panel().SetCurrentTab(1);
        select({0, 1}, 1); // carol locked, bob not
        m_window->UpdateMenuStates();
        QCOMPARE(m_window->Action(cmd::Lock)->text(), QString("&Lock Records"));
        m_window->RunCommand(cmd::Lock);
        QVERIFY(flags(kT0 + 10800) & RECFLAG_LOCKED);
        QVERIFY(flags(kT0 + 3600) & RECFLAG_LOCKED);
        QCOMPARE(m_window->Action(cmd::Lock)->text(), QString("Un&lock Records"));
        m_window->RunCommand(cmd::Lock);
        QVERIFY(!(flags(kT0 + 10800) & RECFLAG_LOCKED));
        QVERIFY(!(flags(kT0 + 3600) & RECFLAG_LOCKED));
        m_window->RunCommand(cmd::MarkUnread);
        QVERIFY(!(flags(kT0 + 3600) & RECFLAG_PLAYED));
    }

    void previousAndNextMoveOnlyASingleSelection()
    {
        select({1, 2});
        m_window->RunCommand(cmd::Next);
        QCOMPARE(list(0).GetSelection(), (std::vector<int>{1, 2}));
        select({1});
        m_window->RunCommand(cmd::Next);
        QCOMPARE(list(0).GetSelection(), (std::vector<int>{2}));
        m_window->RunCommand(cmd::Previous);
        m_window->RunCommand(cmd::Previous);
        m_window->RunCommand(cmd::Previous);
        QCOMPARE(list(0).GetSelection(), (std::vector<int>{0}));
    }

    void theAnnotationIsStoredAndShownInEveryList()
    {
        m_window->View().Context().editAnnotation = [](QWidget*, const std::string& current) {
            return std::optional<std::string>(current + "call back " + std::string(80, 'x'));
        };
        panel().SetCurrentTab(2);
        select({0}, 2);
        m_window->RunCommand(cmd::Annotate);
        const auto info = m_storage->Index().FindRecord(kT0 + 14400);
        QCOMPARE(info->Annotation().size(), std::size_t(63));
        const QVariant shown =
            model(0).data(model(0).index(model(0).rowOf(kT0 + 14400), 7), Qt::DisplayRole);
        QVERIFY(shown.toString().startsWith("call back x"));
    }

    void menuStatesFollowTheSelectionAndTheArchive()
    {
        auto enabled = [this](int id) { return m_window->Action(id)->isEnabled(); };
        list(0).clearSelection();
        m_window->UpdateMenuStates();
        for (int id : {cmd::Play, cmd::Stop, cmd::SaveAs, cmd::Delete, cmd::Lock, cmd::Annotate,
                       cmd::MarkRead, cmd::Previous, cmd::Next, cmd::ReturnToCurrent})
            QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        for (int id : {cmd::DeleteAll, cmd::OpenArchive, cmd::Rescan, cmd::ArchiveTo, cmd::Help})
            QVERIFY2(enabled(id), qPrintable(QString::number(id)));
        QVERIFY(m_window->Action(cmd::AllRecords)->isChecked());
        QVERIFY(!m_window->Action(cmd::VoiceMails)->isChecked());

        select({1});
        m_window->UpdateMenuStates();
        for (int id :
             {cmd::Play, cmd::SaveAs, cmd::Delete, cmd::Annotate, cmd::Previous, cmd::Next})
            QVERIFY2(enabled(id), qPrintable(QString::number(id)));
        QVERIFY(!enabled(cmd::Stop));

        select({1, 2});
        m_window->UpdateMenuStates();
        for (int id : {cmd::Play, cmd::SaveAs, cmd::Annotate, cmd::Previous, cmd::Next})
            QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        for (int id : {cmd::Delete, cmd::Lock, cmd::MarkRead, cmd::MarkUnread})
            QVERIFY2(enabled(id), qPrintable(QString::number(id)));

        m_window->RunCommand(cmd::VoiceMails);
        QVERIFY(m_window->Action(cmd::VoiceMails)->isChecked());
        QVERIFY(!m_window->Action(cmd::AllRecords)->isChecked());

        // An archive: made by the live storage, then opened beside it.
        const std::string archive = m_dir->path().toStdString() + "/archive";
        QVERIFY(QDir().mkpath(QString::fromStdString(archive)));
        QVERIFY(m_storage->ArchiveTo(archive));
        m_prompt.queueChoice(archive);
        m_window->RunCommand(cmd::OpenArchive);
        QVERIFY(m_window->ArchiveShown());
        QCOMPARE(m_window->windowTitle(),
                 QString::fromStdString("Tellwick - Archieved Records (" + archive + ")"));
        QVERIFY(enabled(cmd::ReturnToCurrent));
        QVERIFY(!enabled(cmd::Rescan));
        QVERIFY(!enabled(cmd::ArchiveTo));
        QCOMPARE(model(1).rowCount(), 3);
        m_window->RunCommand(cmd::ReturnToCurrent);
        QVERIFY(!m_window->ArchiveShown());
        QCOMPARE(m_window->windowTitle(), QString("Tellwick"));
        QVERIFY(!enabled(cmd::ReturnToCurrent));
    }

    void closingAndMinimisingHideAndStopPlayback()
    {
        select({0});
        m_window->RunCommand(cmd::Play);
        QVERIFY(list(0).playback());
        m_window->showMinimized();
        QTRY_VERIFY(!m_window->isVisible());
        QVERIFY(!list(0).playback());
        m_window->Activate();
        QVERIFY(m_window->isVisible());
        m_window->close();
        QVERIFY(!m_window->isVisible());
    }

    void rowsCostNoWidgetsAtScale()
    {
        // 20 000 keys in a list make no child widgets and no per-row objects.
        const int before = list(0).findChildren<QWidget*>().size();
        std::vector<std::uint32_t> keys(20000);
        for (std::size_t i = 0; i < keys.size(); ++i)
            keys[i] = kT0 + std::uint32_t(i);
        model(0).setRecords(keys);
        QCOMPARE(model(0).rowCount(), 20000);
        list(0).scrollToBottom();
        QCOMPARE(list(0).findChildren<QWidget*>().size(), before);
    }
};

QTEST_MAIN(BrowserTest)
#include "browser_test.moc"
