// The main frame's Options command after OK: the records folder reopened when it changed,
// the start-with-login entry following fStartUp; nothing of that after Cancel.
#include <gtest/gtest.h>

#include "mainframe/main_frame.h"
#include "mainframe/options_command.h"
#include "mainframe/settings.h"
#include "mainframe/settings_targets.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "records/free_space.h"
#include "records/record_storage.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

class QuietTargets : public SettingsTargets
{
public:
    void setAlwaysOnTop(bool) override {}
    bool panelHasRecentRecords() override { return false; }
    void refreshPanel() override {}
    void setVoiceMailEnable(bool) override {}
    void setWaitingPeriod(int) override {}
    void setMaxLength(int) override {}
    void setGreetingFile(const std::string&) override {}
    void setMuteCaller(bool) override {}
    void setConversationRecord(bool, bool) override {}
    void setCallTransfer(bool, const std::string&) override {}
    void setFormatMode(int) override {}
    void setRecycle(bool) override {}
    void setMinFreeSpace(int) override {}
};

class PlentyOfSpace : public FreeSpaceSource
{
public:
    std::optional<std::uint64_t> freeBytes(const std::string&) override
    {
        return std::uint64_t(1) << 40;
    }
};

TEST(OptionsCommand, OkReopensAChangedFolderAndFollowsStartUpCancelDoesNot)
{
    test::TempDir dir;
    ManualEventLoop loop;
    ScriptedPrompt prompt;
    CSettings settings;
    settings.sRecordStorageFolder = dir.file("records");
    settings.fStartUp = true;
    AppFolders folders;
    folders.dataFolder = dir.path();
    CMainFrame frame(loop, prompt, settings,
                     {folders, "Tellwick", AutostartEntry(dir.file("config"), "", "/bin/tw"),
                      std::make_shared<PlentyOfSpace>()});
    frame.PushSettings();
    frame.ApplyStartUp();
    const std::string entry = dir.file("config/autostart/tellwick.desktop");
    ASSERT_TRUE(std::filesystem::exists(entry));

    QuietTargets targets;
    int reopened = 0;
    auto edit = [&](int result) {
        return [&, result](CSettings& copy) {
            copy.sRecordStorageFolder = dir.file("elsewhere");
            copy.fStartUp = false;
            return result;
        };
    };
    EXPECT_EQ(RunOptionsCommand(frame, edit(kOptionsCancel), targets, prompt, dir.path(),
                                [&] { ++reopened; }),
              kOptionsCancel);
    EXPECT_EQ(frame.storage().GetFolder(), dir.file("records"));
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_EQ(reopened, 0);

    EXPECT_EQ(RunOptionsCommand(frame, edit(kOptionsOk), targets, prompt, dir.path(),
                                [&] { ++reopened; }),
              kOptionsOk);
    EXPECT_EQ(frame.storage().GetFolder(), dir.file("elsewhere"));
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(reopened, 1);
    frame.Exit();
}

} // namespace
} // namespace tw
