// The side panel on a real records folder: the recent list and its positions, the display,
// the buttons, play-all, the switches and menus, docking, and what it stores at its end.
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "mainframe/settings.h"
#include "platform/scripted_prompt.h"
#include "records/record_storage.h"
#include "ui/image_button.h"
#include "ui/navigator.h"
#include "ui/partner_directory.h"
#include "ui/side_panel.h"
#include "ui/skin.h"
#include "ui/tray.h"
#include "ui_test_util.h"

using namespace tw;
using namespace tw::test;

namespace {

constexpr std::uint32_t kT0 = 1700000000;

class FakeDirectory : public PartnerDirectory
{
public:
    std::map<std::string, std::pair<std::string, std::uint32_t>> users;
    std::vector<std::string> calls, chats;
    bool lookupUser(const std::string& name, std::string* fullName, std::uint32_t* status) override
    {
        const auto it = users.find(name);
        if (it == users.end())
            return true; // asked about, answers later
        *fullName = it->second.first;
        *status = it->second.second;
        return true;
    }
    void call(const std::string& name) override { calls.push_back(name); }
    void chat(const std::string& name) override { chats.push_back(name); }
};

class FakeSkypeWindow : public SkypeWindowAccess
{
public:
    std::optional<DockRect> window;
    std::optional<DockRect> moved;
    DockRect area{0, 0, 1024, 768};
    std::optional<DockRect> skypeWindow() override { return window; }
    void moveSkypeWindow(const DockRect& rect) override { moved = rect; }
    std::optional<DockRect> workArea() override { return area; }
};

} // namespace

class SidePanelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CRecordStorage> m_storage;
    ScriptedPrompt m_prompt;
    CSettings m_settings;
    FakeDirectory m_directory;
    FakeSkypeWindow m_skype;
    std::vector<std::uint32_t> m_stored; // "splist.ini" as the panel last saved it
    int m_storedCurrent = 0;
    int m_saves = 0;
    std::vector<int> m_switches;
    std::vector<int> m_mainCommands;
    int m_callState = 0;
    int m_toggles = 0;
    std::unique_ptr<CSPanel> m_panel;

    std::string configPath() const { return m_dir->filePath("Tellwick.Ini").toStdString(); }

    /// Records an hour apart, the partners p1, p2, ...
    void addRecords(int count)
    {
        for (int i = 0; i < count; ++i)
            AddRecord(*m_storage, RECORD_VOICEMAIL, kT0 + 3600u * std::uint32_t(i), 30,
                      "p" + std::to_string(i + 1), 0, 0.2);
    }
    static std::uint32_t key(int n) { return kT0 + 3600u * std::uint32_t(n - 1); }

    CSPanel& make(std::vector<std::uint32_t> list = {}, int current = 0)
    {
        m_stored = std::move(list);
        m_storedCurrent = current;
        CSPanel::Setup setup;
        setup.storage = m_storage.get();
        setup.directory = &m_directory;
        setup.prompt = &m_prompt;
        setup.settings = &m_settings;
        setup.skypeWindow = &m_skype;
        setup.configPath = configPath();
        setup.useTray = false;
        setup.activeCallState = [this] { return m_callState; };
        setup.toggleRecord = [this] { ++m_toggles; };
        setup.switchChanged = [this](int id) { m_switches.push_back(id); };
        setup.mainWindowCommand = [this](int id) { m_mainCommands.push_back(id); };
        setup.loadList = [this](std::vector<std::uint32_t>& records, int& cur) {
            records = m_stored;
            cur = m_storedCurrent;
        };
        setup.saveList = [this](const std::vector<std::uint32_t>& records, int cur) {
            m_stored = records;
            m_storedCurrent = cur;
            ++m_saves;
        };
        m_panel = std::make_unique<CSPanel>(setup);
        if (!m_panel->Create())
            qFatal("the side panel was not created");
        m_panel->Refresh();
        return *m_panel;
    }
    bool enabled(int id) const { return m_panel->Button(id)->isEnabled(); }
    /// Plays the open record to its end and lets the panel hear of it.
    void playToEnd()
    {
        QVERIFY(FakeAudioOutput::last);
        FakeAudioOutput::last->pull(10000);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        SetSkinFolder(BuildDataFolder());
        CRecordPlayer::SetDefaultOutputFactory(FakeOutputFactory());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompt = ScriptedPrompt();
        m_settings = CSettings();
        m_directory = FakeDirectory();
        m_skype = FakeSkypeWindow();
        m_switches.clear();
        m_mainCommands.clear();
        m_callState = 0;
        m_toggles = 0;
        m_saves = 0;
        m_storage = std::make_unique<CRecordStorage>(&m_prompt);
        QVERIFY(m_storage->OpenStorageFolder(m_dir->filePath("records").toStdString(), nullptr));
    }

    void cleanup()
    {
        m_panel.reset();
        m_storage.reset();
    }

    void emptyListDisablesNavigationAndReadsNoNewRecords()
    {
        CSPanel& panel = make();
        QCOMPARE(panel.Position(), 0);
        QVERIFY(!enabled(spcmd::Previous));
        QVERIFY(!enabled(spcmd::Play));
        QVERIFY(!enabled(spcmd::Next));
        QVERIFY(!enabled(spcmd::Reset));
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("No new records"));
        QCOMPARE(panel.FieldTip(spcmd::NameField), QString("Caller name"));
        QVERIFY(panel.FieldText(spcmd::TimeField).isEmpty());
        QVERIFY(panel.FieldText(spcmd::IndexField).isEmpty());
        QCOMPARE(panel.StateStatus(), -1);
        QCOMPARE(panel.PositionBar()->GetRange(), 1u);
        QVERIFY(panel.RecentRecordsMenu() == nullptr);
        // The panel has the background's size, the buttons theirs at their places.
        QCOMPARE(panel.size(), QSize(296, 120));
        QCOMPARE(panel.Button(spcmd::Reset)->pos(), QPoint(269, 41));
        QCOMPARE(panel.Button(spcmd::Preference)->pos(), QPoint(254, 73));
    }

    void addingWhileAtTwoOfFiveMakesSixOfSix()
    {
        addRecords(6);
        CSPanel& panel = make({key(1), key(2), key(3), key(4), key(5)}, 2);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("2/5"));
        QVERIFY(enabled(spcmd::Previous));
        QVERIFY(enabled(spcmd::Next));
        panel.AddRecentRecord(key(6));
        QCOMPARE(panel.Position(), 6);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("6/6"));
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("p6 full"));
        QVERIFY(!enabled(spcmd::Next));
        QVERIFY(enabled(spcmd::Previous));
        // The list is saved at once, with the new record current.
        QCOMPARE(m_stored.size(), std::size_t(6));
        QCOMPARE(m_storedCurrent, 6);
        // The bar shows the record's length (30 s of list length, 0.2 s of audio).
        QCOMPARE(panel.PositionBar()->GetRange(), 20u);
    }

    void nextOnTheLastAndPreviousOnTheFirstStay()
    {
        addRecords(2);
        CSPanel& panel = make({key(1), key(2)}, 2);
        panel.RunCommand(spcmd::Next);
        QCOMPARE(panel.Position(), 2);
        panel.RunCommand(spcmd::Previous);
        QCOMPARE(panel.Position(), 1);
        QVERIFY(!enabled(spcmd::Previous));
        panel.RunCommand(spcmd::Previous);
        QCOMPARE(panel.Position(), 1);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("1/2"));
    }

    void aStoredPositionBeyondTheListIsLowered()
    {
        addRecords(2);
        CSPanel& panel = make({key(1), key(2)}, 7);
        QCOMPARE(panel.Position(), 2);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("2/2"));
    }

    void playAllPlaysThreeTwoOneThenShowsThePlayFace()
    {
        addRecords(3);
        CSPanel& panel = make({key(1), key(2), key(3)}, 1);
        panel.RunCommand(spcmd::PlayAll);
        std::vector<int> played;
        for (int step = 0; step < 3; ++step) {
            QVERIFY(panel.Playback());
            QCOMPARE(panel.Playback()->state(), int(CPlayback::Running));
            QCOMPARE(panel.Button(spcmd::Play)->GetState(), 2);
            played.push_back(panel.Position());
            playToEnd();
        }
        QCOMPARE(played, (std::vector<int>{3, 2, 1}));
        QVERIFY(!panel.PlayingAll());
        QCOMPARE(panel.Button(spcmd::Play)->GetState(), 1);
        QCOMPARE(panel.Position(), 1);
        // Playing marks each record read.
        for (int n = 1; n <= 3; ++n)
            QVERIFY(m_storage->Index().GetRecordFlags(key(n)) & RECFLAG_PLAYED);
    }

    void navigatingStopsPlayAllAndThePlayback()
    {
        addRecords(3);
        CSPanel& panel = make({key(1), key(2), key(3)}, 1);
        panel.PlayAll();
        QVERIFY(panel.Playback());
        panel.RunCommand(spcmd::Previous);
        QVERIFY(!panel.PlayingAll());
        QVERIFY(!panel.Playback());
        QCOMPARE(panel.Position(), 2);
    }

    void playButtonPlaysPausesAndResumes()
    {
        addRecords(1);
        CSPanel& panel = make({key(1)}, 1);
        panel.RunCommand(spcmd::Play);
        QVERIFY(panel.Playback());
        QCOMPARE(panel.Playback()->state(), int(CPlayback::Running));
        panel.RunCommand(spcmd::Play);
        QCOMPARE(panel.Playback()->state(), int(CPlayback::Paused));
        QCOMPARE(panel.Button(spcmd::Play)->GetState(), 1);
        panel.RunCommand(spcmd::Play);
        QCOMPARE(panel.Playback()->state(), int(CPlayback::Running));
        // Without a sound device the button comes back to its play face.
        panel.Player().Stop(*const_cast<CPlayback*>(panel.Playback()));
        panel.GoTo(1, true);
        FakeAudioOutput::deviceMissing = true;
        panel.RunCommand(spcmd::Previous); // stays at 1, nothing open
        panel.RunCommand(spcmd::Play);
        FakeAudioOutput::deviceMissing = false;
        QCOMPARE(panel.Button(spcmd::Play)->GetState(), 1);
    }

    void theDisplayNamesTheCallerFromTheRecordTheLinkOrTheHandle()
    {
        AddRecord(*m_storage, RECORD_VOICEMAIL, key(1), 30, "alice.m", 0, 0.2);
        RecordInfo bare = AddRecord(*m_storage, RECORD_VOICEMAIL, key(2), 30, "bob.k", 0, 0.2);
        m_storage->Index().UpdateRecord(key(2), [](RecordInfo& r) { r.SetFullName(""); });
        AddRecord(*m_storage, RECORD_VOICEMAIL, key(3), 30, "carol.w", 0, 0.2);
        m_storage->Index().UpdateRecord(key(3), [](RecordInfo& r) { r.SetFullName(""); });
        m_directory.users["alice.m"] = {"Alice Morgan", 1};
        m_directory.users["bob.k"] = {"Bob Keller", 2};
        CSPanel& panel = make({key(1), key(2), key(3)}, 1);

        QCOMPARE(panel.FieldText(spcmd::NameField), QString("alice.m full"));
        QCOMPARE(panel.FieldTip(spcmd::NameField), QString(" alice.m full (alice.m)"));
        QCOMPARE(panel.FieldText(spcmd::TimeField),
                 QDateTime::fromSecsSinceEpoch(key(1)).toString("HH:mm"));
        QCOMPARE(panel.StateStatus(), 1);
        QVERIFY(panel.StateTip().startsWith("Online("));
        panel.GoTo(2, false);
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("Bob Keller"));
        QVERIFY(panel.StateTip().startsWith("Busy("));
        panel.GoTo(3, false);
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("carol.w"));
        QVERIFY(panel.StateTip().startsWith("Offline("));
        Q_UNUSED(bare);

        // The state button and the menus call or chat with the current caller.
        panel.RunCommand(spcmd::State);
        panel.RunCommand(spcmd::Chat);
        QCOMPARE(m_directory.calls, (std::vector<std::string>{"carol.w"}));
        QCOMPARE(m_directory.chats, (std::vector<std::string>{"carol.w"}));
    }

    void removingRecordsGoesToTheLastAndEmptiesTheDisplay()
    {
        addRecords(3);
        CSPanel& panel = make({key(1), key(2), key(3)}, 1);
        panel.RemoveRecentRecord(key(2));
        QCOMPARE(panel.Records(), (std::vector<std::uint32_t>{key(1), key(3)}));
        QCOMPARE(panel.Position(), 2);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("2/2"));
        panel.RemoveRecentRecord(key(9)); // not listed: nothing happens
        QCOMPARE(panel.Records().size(), std::size_t(2));
        panel.RemoveRecentRecord(key(3));
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("1/1"));
        panel.RemoveRecentRecord(key(1));
        QCOMPARE(panel.Position(), 0);
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("No new records"));
        QVERIFY(!enabled(spcmd::Play));
        QVERIFY(m_stored.empty());
    }

    void removingAnotherRecordUpdatesTheCountAndTheStoredList()
    {
        addRecords(3);
        CSPanel& panel = make({key(1), key(2), key(3)}, 2);
        // The position (2) stays the last one: the count must still change on screen.
        panel.RemoveRecentRecord(key(3));
        QCOMPARE(panel.Position(), 2);
        QCOMPARE(panel.FieldText(spcmd::IndexField), QString("2/2"));
        QVERIFY(!enabled(spcmd::Next));
        QCOMPARE(m_stored, (std::vector<std::uint32_t>{key(1), key(2)}));
    }

    void removingThePlayingRecordClosesItsFile()
    {
        addRecords(2);
        CSPanel& panel = make({key(1), key(2)}, 2);
        panel.RunCommand(spcmd::Play);
        QVERIFY(panel.Playback());
        panel.RemoveRecentRecord(key(2));
        QVERIFY(!panel.Playback());
        QCOMPARE(panel.Position(), 1);
    }

    void aRecordAboutToBeConvertedIsReleasedByThePanel()
    {
        addRecords(2);
        CSPanel& panel = make({key(1), key(2)}, 2);
        panel.RunCommand(spcmd::Play);
        QVERIFY(panel.Playback());
        QVERIFY(!panel.ReleaseRecord(key(1)));
        QVERIFY(panel.Playback());
        QVERIFY(panel.ReleaseRecord(key(2)));
        QVERIFY(!panel.Playback());
        QCOMPARE(panel.Button(spcmd::Play)->GetState(), 1);
        // The next Play opens the file again.
        panel.RunCommand(spcmd::Play);
        QVERIFY(panel.Playback());
    }

    void resetAsksAndClearsOnlyOnYes()
    {
        addRecords(2);
        CSPanel& panel = make({key(1), key(2)}, 1);
        m_prompt.queueAnswer(Prompt::Answer::No);
        panel.RunCommand(spcmd::Reset);
        QCOMPARE(panel.Records().size(), std::size_t(2));
        QCOMPARE(m_prompt.messages().back().text,
                 std::string("Do you want to clear the Recent Record Display?"));
        m_prompt.queueAnswer(Prompt::Answer::Yes);
        panel.RunCommand(spcmd::Reset);
        QVERIFY(panel.Records().empty());
        QCOMPARE(panel.FieldText(spcmd::NameField), QString("No new records"));
        QVERIFY(!enabled(spcmd::Reset));
    }

    void reloadReadsTheListAgain()
    {
        addRecords(3);
        CSPanel& panel = make({key(1)}, 1);
        panel.AddRecentRecord(key(2));
        m_stored = {key(3)};
        m_storedCurrent = 1;
        // Reload saves first, so the list read back is the one just saved.
        panel.Reload();
        QCOMPARE(panel.Records(), (std::vector<std::uint32_t>{key(1), key(2)}));
        QCOMPARE(panel.Position(), 2);
    }

    void theRecordButtonFollowsTheCurrentCall()
    {
        CSPanel& panel = make();
        QVERIFY(!enabled(spcmd::Record));
        m_callState = 1;
        panel.RefreshRecordButton();
        QVERIFY(enabled(spcmd::Record));
        QCOMPARE(panel.Button(spcmd::Record)->GetState(), 1);
        m_callState = 2;
        panel.RefreshRecordButton();
        QCOMPARE(panel.Button(spcmd::Record)->GetState(), 2);
        panel.Button(spcmd::Record)->click();
        QCOMPARE(m_toggles, 1);
        m_callState = 0;
        panel.RefreshRecordButton();
        QVERIFY(!enabled(spcmd::Record));
    }

    void theSwitchesInvertTheSettingsAndTellTheLink()
    {
        m_settings.fVoiceMailEnable = true;
        m_settings.fConversationRecord = false;
        CSPanel& panel = make();
        QCOMPARE(panel.Button(spcmd::VoiceMails)->GetState(), 2);
        QCOMPARE(panel.Button(spcmd::Conversations)->GetState(), 1);
        panel.Button(spcmd::VoiceMails)->click();
        QVERIFY(!m_settings.fVoiceMailEnable);
        QCOMPARE(panel.Button(spcmd::VoiceMails)->GetState(), 1);
        panel.Button(spcmd::Conversations)->click();
        QVERIFY(m_settings.fConversationRecord);
        QCOMPARE(panel.Button(spcmd::Conversations)->GetState(), 2);
        QCOMPARE(m_switches, (std::vector<int>{spcmd::VoiceMails, spcmd::Conversations}));
    }

    void callTransferNeedsATarget()
    {
        CSPanel& panel = make();
        panel.RunCommand(spcmd::CallTransfer);
        QVERIFY(!m_settings.fCallTransferEnable);
        QVERIFY(m_switches.empty());
        QCOMPARE(m_prompt.messages().size(), std::size_t(1));
        QVERIFY(m_prompt.messages()[0].text.starts_with(
            "No Skype name or telephone number specified! \n\nPlease open"));
        QCOMPARE(m_prompt.messages()[0].icon, Prompt::Icon::Warning);
        m_settings.sSkypeName = "echo123";
        panel.RunCommand(spcmd::CallTransfer);
        QVERIFY(m_settings.fCallTransferEnable);
        QVERIFY(panel.PreferenceMenu()->actions().size() > 0);
        bool checked = false;
        for (QAction* a : panel.PreferenceMenu()->actions())
            if (a->data().toInt() == spcmd::CallTransfer)
                checked = a->isChecked();
        QVERIFY(checked);
    }

    void theRecentMenuListsKnownRecordsAndChecksTheCurrent()
    {
        addRecords(3);
        CSPanel& panel = make({key(1), key(2), key(3)}, 2);
        m_storage->Index().DeleteRecord(key(1), false);
        QMenu* menu = panel.RecentRecordsMenu();
        QVERIFY(menu);
        QStringList items;
        for (QAction* a : menu->actions())
            if (a->data().toInt() >= spcmd::FirstRecentRecord) {
                items << a->text();
                QCOMPARE(a->isChecked(), a->data().toInt() == spcmd::FirstRecentRecord + 1);
            }
        QCOMPARE(items.size(), 2);
        QVERIFY(items[0].startsWith("2. "));
        QVERIFY(items[0].endsWith(" - p2 full"));
        // Choosing an item goes to its position.
        for (QAction* a : menu->actions())
            if (a->data().toInt() == spcmd::FirstRecentRecord + 2)
                a->trigger();
        QCOMPARE(panel.Position(), 3);
    }

    void dockingHangsThePanelUnderSkypeAndMovesSkypeUp()
    {
        CSPanel& panel = make();
        // Nothing to dock to: the panel stays.
        const QPoint before = panel.pos();
        panel.RunCommand(spcmd::StickToSkype);
        QCOMPARE(panel.pos(), before);
        // Skype's bottom within a panel height of the work area's bottom: it is lifted.
        m_skype.window = DockRect{100, 100, 500, 700};
        panel.RunCommand(spcmd::StickToSkype);
        QVERIFY(m_skype.moved);
        QCOMPARE(*m_skype.moved, (DockRect{100, 48, 500, 648}));
        QCOMPARE(panel.pos(), QPoint(100, 648));
    }

    void thePositionIsStoredAndAStoredMinusOneLeftDoesNotCentre()
    {
        {
            CSPanel& panel = make();
            panel.move(40, 50);
            panel.Exit();
            panel.Exit(); // once
            const PanelPosition stored = loadPanelPosition(configPath());
            QCOMPARE(stored.left, 40);
            QCOMPARE(stored.top, 50);
        }
        QVERIFY(savePanelPosition(configPath(), PanelPosition{-1, 0}));
        CSPanel& panel = make();
        QCOMPARE(panel.pos(), QPoint(0, 0));
    }

    void alwaysOnTopTogglesTheSettingAndTheWindow()
    {
        CSPanel& panel = make();
        panel.move(30, 40);
        panel.show();
        panel.RunCommand(spcmd::AlwaysOnTop);
        QVERIFY(m_settings.fAlwaysOnTop);
        QVERIFY(panel.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(panel.isVisible());
        QCOMPARE(panel.pos(), QPoint(30, 40));
        panel.RunCommand(spcmd::AlwaysOnTop);
        QVERIFY(!(panel.windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void withoutATrayThePanelOffersTheTrayItems()
    {
        CSPanel& panel = make();
        QStringList texts;
        for (QAction* a : panel.PreferenceMenu()->actions())
            texts << a->text();
        QVERIFY(texts.contains("E&xit"));
        QVERIFY(texts.contains("&Options..."));
        // Opening it twice adds nothing twice.
        QCOMPARE(panel.PreferenceMenu()->actions().size(), texts.size());
        for (QAction* a : panel.PreferenceMenu()->actions())
            if (a->data().toInt() == spcmd::Exit)
                a->trigger();
        QCOMPARE(m_mainCommands, (std::vector<int>{spcmd::Exit}));
        // The tray's own menu and its tip.
        QStringList tray;
        for (QAction* a : panel.TrayMenu()->actions())
            tray << a->text();
        QCOMPARE(tray.first(), QString("Display Quick &Panel"));
        QCOMPARE(CTray::CutTip(QString(200, 'x')).size(), 127);
    }
};

QTEST_MAIN(SidePanelTest)
#include "side_panel_test.moc"
