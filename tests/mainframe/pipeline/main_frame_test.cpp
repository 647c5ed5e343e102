// The main frame's duties without a window, on the virtual clock.
#include <gtest/gtest.h>

#include "app/log.h"
#include "app/settings.h"
#include "mainframe/main_frame.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "records/free_space.h"
#include "records/record_storage.h"
#include "skype/skype_commands.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace std::chrono_literals;
using test::readFile;
using test::TempDir;

class FakeFreeSpace : public FreeSpaceSource
{
public:
    std::optional<std::uint64_t> freeBytes(const std::string&) override
    {
        return (answer ? answer() : mib) << 20;
    }
    std::uint64_t mib = 0;
    std::function<std::uint64_t()> answer;
};

TEST(MainFrame, StorageWarningEachMinuteWhileShortThenAutostartAndExitOnce)
{
    TempDir dir;
    ManualEventLoop loop;
    ScriptedPrompt prompt;
    CSettings settings;
    settings.sRecordStorageFolder = dir.file("records");
    settings.nRecordStorageMinFreeSpace = 300;
    settings.fRecordStorageRecycle = false;
    auto freeSpace = std::make_shared<FakeFreeSpace>();
    freeSpace->mib = 300; // not above the minimum: short
    AppFolders folders;
    folders.dataFolder = dir.path();
    CMainFrame frame(
        loop, prompt, settings,
        {folders, "Tellwick", AutostartEntry(dir.file("config"), "", "/opt/t w/tw%"), freeSpace});
    frame.PushSettings();
    frame.ApplyStartUp();
    frame.StartTimer();

    const std::string entry = dir.file("config/autostart/tellwick.desktop");
    EXPECT_NE(readFile(entry).find("\nExec=\"/opt/t w/tw%%\"\n"), std::string::npos);

    const auto warnings = [&] { return prompt.messages().size(); };
    loop.advance(59s);
    EXPECT_EQ(warnings(), 0u);
    loop.advance(1s);
    ASSERT_EQ(warnings(), 1u);
    EXPECT_EQ(prompt.messages()[0].text, kTextStorageLow);
    EXPECT_EQ(prompt.messages()[0].icon, Prompt::Icon::Information);
    loop.advance(60s);
    EXPECT_EQ(warnings(), 2u);
    freeSpace->mib = 301;
    loop.advance(180s);
    EXPECT_EQ(warnings(), 2u);
    freeSpace->mib = 10;
    loop.advance(60s);
    EXPECT_EQ(warnings(), 3u);

    EXPECT_TRUE(frame.SetStartWithWindows(false));
    EXPECT_FALSE(test::readFile(entry).size());

    appLog().Open(dir.file("Tellwick.Log"));
    appLog().Enable(true);
    frame.Exit();
    frame.Exit();
    appLog().Close();
    EXPECT_EQ(loop.activeTimerCount(), 0);
    const std::string log = readFile(dir.file("Tellwick.Log"));
    EXPECT_NE(log.find("CMainFrame::Exit()"), std::string::npos);
    EXPECT_EQ(log.find("CMainFrame::Exit()"), log.rfind("CMainFrame::Exit()"));
    loop.advance(120s);
    EXPECT_EQ(warnings(), 3u);
}

TEST(MainFrame, StartUpWritesTheEntryOnlyWhenAsked)
{
    TempDir dir;
    ManualEventLoop loop;
    ScriptedPrompt prompt;
    CSettings settings;
    settings.fStartUp = false;
    AutostartEntry autostart("relative/ignored", dir.path(), "/usr/bin/tellwick");
    EXPECT_EQ(autostart.path(), dir.file(".config/autostart/tellwick.desktop"));
    ASSERT_TRUE(autostart.Write());
    CMainFrame frame(loop, prompt, settings, {AppFolders{}, "Tellwick", autostart, nullptr});
    frame.ApplyStartUp(); // a clear flag removes nothing at start-up
    EXPECT_NE(readFile(autostart.path()).find("\nExec=/usr/bin/tellwick\n"), std::string::npos);
    EXPECT_EQ(frame.ToggleRecording(), CMainFrame::RecordToggle::NoCall);
}

TEST(MainFrame, RecyclingThatMakesRoomShowsNoWarning)
{
    TempDir dir;
    ManualEventLoop loop;
    ScriptedPrompt prompt;
    CSettings settings;
    settings.sRecordStorageFolder = dir.file("records");
    settings.nRecordStorageMinFreeSpace = 300;
    settings.fRecordStorageRecycle = true;
    auto freeSpace = std::make_shared<FakeFreeSpace>();
    CMainFrame frame(loop, prompt, settings,
                     {AppFolders{}, "Tellwick", AutostartEntry(dir.file("c"), "", "t"), freeSpace});
    frame.PushSettings();
    CRecordIndex& index = frame.storage().Index();
    const RecordInfo old = test::makeRecordFile(settings.sRecordStorageFolder, RECORD_VOICEMAIL,
                                                test::localTime(2007, 7, 20, 10, 0, 0), 30);
    ASSERT_EQ(index.AddRecord(old), 1);
    // Short while the old record is there; deleting it makes room.
    freeSpace->answer = [&] { return index.IsEmpty() ? 400 : 200; };
    frame.StartTimer();
    loop.advance(60s);
    EXPECT_TRUE(index.IsEmpty());
    EXPECT_FALSE(test::exists(old.Path()));
    EXPECT_TRUE(prompt.messages().empty());
}

} // namespace
} // namespace tw
