#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mainframe/settings.h"
#include "mainframe/settings_apply.h"
#include "mainframe/settings_targets.h"
#include "platform/scripted_prompt.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

/// Writes down every push, in order, as "name value".
class RecordingTargets : public SettingsTargets
{
public:
    std::vector<std::string> calls;
    bool recent = false;

    void setAlwaysOnTop(bool on) override { note("panel.onTop", on); }
    bool panelHasRecentRecords() override { return recent; }
    void refreshPanel() override { calls.push_back("panel.refresh"); }
    void setVoiceMailEnable(bool on) override { note("link.voiceMail", on); }
    void setWaitingPeriod(int s) override { note("link.waiting", s); }
    void setMaxLength(int s) override { note("link.maxLength", s); }
    void setGreetingFile(const std::string& path) override
    {
        calls.push_back("link.greeting " + path);
    }
    void setMuteCaller(bool on) override { note("link.mute", on); }
    void setConversationRecord(bool record, bool warn) override
    {
        calls.push_back("link.conversation " + std::to_string(record) + std::to_string(warn));
    }
    void setCallTransfer(bool enable, const std::string& name) override
    {
        calls.push_back("link.transfer " + std::to_string(enable) + " " + name);
    }
    void setFormatMode(int mode) override { note("link.formatMode", mode); }
    void setRecycle(bool on) override { note("storage.recycle", on); }
    void setMinFreeSpace(int mib) override { note("storage.minFree", mib); }

private:
    void note(const char* what, int value)
    {
        calls.push_back(std::string(what) + " " + std::to_string(value));
    }
};

CSettings everythingChanged(CSettings s)
{
    s.fStartUp = !s.fStartUp;
    s.fAlwaysOnTop = !s.fAlwaysOnTop;
    s.fVoiceMailEnable = !s.fVoiceMailEnable;
    s.nVoiceMailWaitingPeriod = 20;
    s.nVoiceMailMaxLength = 120;
    s.fVoiceMailEmail = true;
    s.nGreetingType = 1;
    s.fMuteCaller = !s.fMuteCaller;
    s.EmailServer = "smtp.example.com:587";
    s.EmailTo = "bob@example.com";
    s.fRecordWarn = !s.fRecordWarn;
    s.fCallTransferEnable = true;
    s.sSkypeName = "echo123";
    s.fRecordStorageRecycle = !s.fRecordStorageRecycle;
    s.sRecordStorageFolder = "/elsewhere";
    s.nRecordStorageMinFreeSpace = 2048;
    s.nACodec = 3;
    s.nACodecForEmail = 0;
    s.nAFormatMode = 0;
    return s;
}

class ApplyChangesTest : public ::testing::Test
{
protected:
    int apply(const CSettings& edited, int result = kOptionsOk)
    {
        return m_settings.ApplyChanges(
            m_folderChanged,
            [&](CSettings& copy) {
                copy = edited;
                return result;
            },
            m_targets, m_prompt, "/g");
    }

    CSettings m_settings;
    RecordingTargets m_targets;
    ScriptedPrompt m_prompt;
    bool m_folderChanged = false;
};

TEST_F(ApplyChangesTest, ConfirmedChangesReachTheComponentsInTheirOrder)
{
    m_settings.sRecordStorageFolder = "/records";
    m_targets.recent = true;
    ASSERT_EQ(apply(everythingChanged(m_settings)), kOptionsOk);
    const std::vector<std::string> expected = {"panel.onTop 1",
                                               "link.voiceMail 0",
                                               "link.waiting 20",
                                               "link.maxLength 120",
                                               "link.greeting /g/custom.wav",
                                               "link.mute 1",
                                               "link.conversation 11",
                                               "link.transfer 1 echo123",
                                               "storage.recycle 0",
                                               "storage.minFree 2048",
                                               "link.formatMode 0",
                                               "panel.refresh"};
    EXPECT_EQ(m_targets.calls, expected);
    EXPECT_TRUE(m_folderChanged);
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, kTextFolderChangeClearsPanel);

    EXPECT_EQ(m_settings.sRecordStorageFolder, "/elsewhere");
    EXPECT_EQ(m_settings.EmailServer, "smtp.example.com:587");
    EXPECT_EQ(m_settings.nACodec, 3);
    EXPECT_EQ(m_settings.nACodecForEmail, 0);
    EXPECT_TRUE(m_settings.fVoiceMailEmail);
    EXPECT_FALSE(m_settings.fStartUp);
}

TEST_F(ApplyChangesTest, UnchangedValuesPushOnlyWhatIsAlwaysPushed)
{
    ASSERT_EQ(apply(m_settings), kOptionsOk);
    const std::vector<std::string> expected = {"link.greeting /g", "link.transfer 0 ",
                                               "link.formatMode 1", "panel.refresh"};
    EXPECT_EQ(m_targets.calls, expected);
    EXPECT_FALSE(m_folderChanged);
    EXPECT_TRUE(m_prompt.messages().empty());
}

TEST_F(ApplyChangesTest, AFolderChangeWithAnEmptyPanelSaysNothingAndCaseCounts)
{
    m_settings.sRecordStorageFolder = "/Records";
    CSettings edited = m_settings;
    edited.sRecordStorageFolder = "/records";
    ASSERT_EQ(apply(edited), kOptionsOk);
    EXPECT_TRUE(m_folderChanged);
    EXPECT_TRUE(m_prompt.messages().empty());
}

TEST_F(ApplyChangesTest, CancelChangesNothing)
{
    const CSettings before = m_settings;
    EXPECT_EQ(apply(everythingChanged(m_settings), kOptionsCancel), kOptionsCancel);
    EXPECT_TRUE(m_targets.calls.empty());
    EXPECT_FALSE(m_folderChanged);
    EXPECT_EQ(m_settings.nVoiceMailMaxLength, before.nVoiceMailMaxLength);
    EXPECT_EQ(m_settings.sRecordStorageFolder, before.sRecordStorageFolder);
    EXPECT_EQ(m_settings.EmailServer, before.EmailServer);
}

TEST_F(ApplyChangesTest, OnlyOneDialogAtATime)
{
    int inner = -1;
    bool innerFolder = true;
    const int outer = m_settings.ApplyChanges(
        m_folderChanged,
        [&](CSettings&) {
            inner = m_settings.ApplyChanges(
                innerFolder, [](CSettings&) { return kOptionsOk; }, m_targets, m_prompt, "/g");
            return kOptionsCancel;
        },
        m_targets, m_prompt, "/g");
    EXPECT_EQ(inner, kOptionsAlreadyOpen);
    EXPECT_FALSE(innerFolder);
    EXPECT_EQ(outer, kOptionsCancel);
    // Closed again: the next one opens.
    EXPECT_EQ(apply(m_settings), kOptionsOk);
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST(ApplyChangesGreeting, AnotherListGreetingIsLookedUpAgain)
{
    test::TempDir dir;
    test::writeFile(dir.file("greeting.ini"), "[Greeting]\nnNumOfGreeting=2\nName1=One\n"
                                              "File1=one.wav\nName2=Two\nFile2=two.wav\n");
    CSettings settings;
    CSettings edited = settings;
    edited.nDefaultGreetingIndex = 2;
    RecordingTargets targets;
    ScriptedPrompt prompt;
    bool folderChanged = false;
    TakeOverOptions(settings, edited, folderChanged, targets, prompt, dir.path());
    ASSERT_FALSE(targets.calls.empty());
    EXPECT_EQ(targets.calls[0], "link.greeting " + dir.file("two.wav"));
    EXPECT_EQ(settings.nDefaultGreetingIndex, 2);
}

} // namespace
} // namespace tw
