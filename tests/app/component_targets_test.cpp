// Confirmed Options values reach the real Skype link, call handling and record storage.
#include <gtest/gtest.h>

#include "app/component_targets.h"
#include "fake_skype_transport.h"
#include "mainframe/settings.h"
#include "mainframe/settings_apply.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "records/record_storage.h"
#include "skype/call_handling.h"
#include "skype/skype_link.h"
#include "tests/platform/temp_dir.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

struct QuietHost : SkypeLinkHost
{
    void requestExit() override {}
};

TEST(ComponentTargets, ConfirmedValuesReachTheLinkTheGreetingAndTheStorage)
{
    test::TempDir dir;
    ManualEventLoop loop;
    test::FakeSkypeTransport transport{loop};
    QuietHost host;
    ScriptedPrompt prompt;
    CSkypeLink link{loop, transport, host, prompt};
    CallHandling handling{link, loop};
    link.setCallHandler(&handling);
    CRecordStorage storage;
    ComponentTargets targets(&link, &handling, storage);
    std::vector<std::string> panel;
    targets.panel.setAlwaysOnTop = [&](bool on) { panel.push_back(on ? "top" : "normal"); };
    targets.panel.refresh = [&] { panel.push_back("refresh"); };

    // A recorded greeting of two seconds, confirmed with this dialog.
    test::writeSineWav(dir.file("custom.wav"), 16000, 1, 16, 2.0, 440);
    CSettings settings;
    CSettings edited = settings;
    edited.fAlwaysOnTop = true;
    edited.fVoiceMailEnable = false;
    edited.nVoiceMailWaitingPeriod = 25;
    edited.nVoiceMailMaxLength = 200;
    edited.nGreetingType = 1;
    edited.fMuteCaller = true;
    edited.fRecordWarn = true;
    edited.fCallTransferEnable = true;
    edited.sSkypeName = "+441632960123";
    edited.nRecordStorageMinFreeSpace = 4096;
    edited.nAFormatMode = 0;
    bool folderChanged = false;
    TakeOverOptions(settings, edited, folderChanged, targets, prompt, dir.path());

    const SkypeLinkSettings& s = link.settings();
    EXPECT_FALSE(s.voiceMailEnable);
    EXPECT_EQ(s.waitingPeriodSec, 25);
    EXPECT_EQ(s.maxLengthSec, 200);
    EXPECT_EQ(s.greetingFile, dir.file("custom.wav"));
    EXPECT_EQ(s.greetingLength, 200);
    EXPECT_TRUE(s.muteCaller);
    EXPECT_TRUE(s.conversationRecord);
    EXPECT_TRUE(s.recordWarn);
    EXPECT_TRUE(s.transferEnable);
    EXPECT_EQ(s.transferSkypeName, "+441632960123");
    EXPECT_EQ(s.formatMode, 0);
    EXPECT_EQ(storage.GetMinFreeSpace(), 4096u);
    EXPECT_EQ(panel, (std::vector<std::string>{"top", "refresh"}));
    link.setCallHandler(nullptr);
}

TEST(ComponentTargets, WithoutALinkOrAPanelNothingBreaks)
{
    CRecordStorage storage;
    ComponentTargets targets(nullptr, nullptr, storage);
    ScriptedPrompt prompt;
    CSettings settings;
    settings.sRecordStorageFolder = "/a";
    CSettings edited = settings;
    edited.fAlwaysOnTop = true;
    edited.sRecordStorageFolder = "/b";
    edited.fCallTransferEnable = true;
    edited.nRecordStorageMinFreeSpace = 500;
    bool folderChanged = false;
    TakeOverOptions(settings, edited, folderChanged, targets, prompt, "/nowhere");
    EXPECT_TRUE(folderChanged);
    EXPECT_TRUE(prompt.messages().empty()); // no panel, so no recent records to clear
    EXPECT_EQ(storage.GetMinFreeSpace(), 500u);
}

} // namespace
} // namespace tw
