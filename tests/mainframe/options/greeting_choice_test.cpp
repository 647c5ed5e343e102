#include <filesystem>

#include <gtest/gtest.h>

#include "audio/codec_sndfile.h"
#include "mainframe/greeting_choice.h"
#include "mainframe/settings.h"
#include "platform/scripted_prompt.h"
#include "tests/platform/temp_dir.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class GreetingChoiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A quarter second of beep in the greeting format: 8000 bytes of audio.
        test::writeSineWav(m_dir.file("beep.wav"), 16000, 1, 16, 0.25, 1000);
        test::writeSineWav(m_dir.file("source.wav"), 32000, 2, 16, 1.0, 440);
    }
    std::string at(const char* name) const { return m_dir.file(name); }
    /// Frames of a file in the greeting format; -1 when it is not in that format.
    long frames(const char* name) const
    {
        SndFileReader reader;
        std::string error;
        if (!reader.open(at(name), error) || reader.info().samplerate != 16000 ||
            reader.info().channels != 1)
            return -1;
        return static_cast<long>(reader.info().frames);
    }

    test::TempDir m_dir;
    ScriptedPrompt m_prompt;
    GreetingChoice m_choice{m_dir.path(), m_prompt, 0};
};

TEST_F(GreetingChoiceTest, ChoosingThePendingFileItselfOnlySaysSo)
{
    writeFile(at("file1.wav"), "pending");
    EXPECT_TRUE(m_choice.loadFile(at("file1.wav")));
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, kTextAlreadyGreetingFile);
    EXPECT_FALSE(m_choice.filePending());
    EXPECT_EQ(readFile(at("file1.wav")), "pending");
}

TEST_F(GreetingChoiceTest, AChosenFileIsConvertedWithItsBeepAndConfirmedOnOk)
{
    m_prompt.queueAnswer(Prompt::Answer::Yes); // the beep
    writeFile(at("file.wav"), "current");
    ASSERT_TRUE(m_choice.loadFile(at("source.wav")));
    EXPECT_TRUE(m_choice.filePending());
    // One second at 16 kHz mono 16-bit, and the beep behind it.
    EXPECT_EQ(frames("file1.wav"), 16000 + 4000);
    EXPECT_EQ(readFile(at("file.wav")), "current"); // nothing replaced before OK
    ASSERT_TRUE(m_choice.chooseOwnFile());          // the pending file exists: no chooser
    EXPECT_EQ(m_choice.previewFile(0), at("file1.wav"));

    CSettings settings;
    m_choice.confirm(settings, 2);
    EXPECT_EQ(settings.nGreetingType, 2);
    EXPECT_EQ(settings.nDefaultGreetingIndex, 3);
    EXPECT_FALSE(fs::exists(at("file1.wav")));
    EXPECT_EQ(frames("file.wav"), 16000 + 4000);
    EXPECT_EQ(m_choice.previewFile(0), at("file.wav"));
}

TEST_F(GreetingChoiceTest, AFileThatIsNoAudioIsRefusedAndKeepsThePendingOne)
{
    writeFile(at("notes.wav"), "this is text, not sound");
    writeFile(at("file1.wav"), "earlier choice");
    EXPECT_FALSE(m_choice.loadFile(at("notes.wav")));
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, kTextAudioNotSupported);
    EXPECT_FALSE(m_choice.filePending());
    EXPECT_EQ(readFile(at("file1.wav")), "earlier choice");
}

TEST_F(GreetingChoiceTest, WithoutABeepAndWithoutOkTheCurrentFileStays)
{
    m_prompt.queueAnswer(Prompt::Answer::No);
    writeFile(at("file.wav"), "current");
    ASSERT_TRUE(m_choice.loadFile(at("source.wav")));
    EXPECT_EQ(frames("file1.wav"), 16000);
    // The dialog is cancelled: confirm is never called, and the pending file waits.
    EXPECT_EQ(readFile(at("file.wav")), "current");
}

TEST_F(GreetingChoiceTest, TheRecordedChoiceFallsBackWhenNothingWasRecorded)
{
    int runs = 0;
    auto cancelled = [&](const std::string&, bool&) {
        ++runs;
        return false;
    };
    auto okWithoutRecording = [&](const std::string&, bool& recorded) {
        ++runs;
        recorded = false;
        return true;
    };
    EXPECT_FALSE(m_choice.chooseRecorded(cancelled));
    EXPECT_FALSE(m_choice.chooseRecorded(okWithoutRecording));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(m_choice.kind(), GreetingChoice::List);

    auto records = [&](const std::string& target, bool& recorded) {
        test::writeSineWav(target, 16000, 1, 16, 0.5, 300);
        recorded = true;
        return true;
    };
    m_prompt.queueAnswer(Prompt::Answer::No);
    ASSERT_TRUE(m_choice.chooseRecorded(records));
    EXPECT_EQ(m_choice.kind(), GreetingChoice::Recorded);
    EXPECT_TRUE(m_choice.recordedPending());
    EXPECT_EQ(m_choice.previewFile(0), at("custom1.wav"));
    ASSERT_EQ(m_prompt.messages().size(), 1u);
    EXPECT_EQ(m_prompt.messages()[0].text, kTextAppendBeep);

    CSettings settings;
    m_choice.confirm(settings, 0);
    EXPECT_EQ(settings.nGreetingType, 1);
    EXPECT_EQ(frames("custom.wav"), 8000);
    EXPECT_FALSE(fs::exists(at("custom1.wav")));
}

TEST_F(GreetingChoiceTest, AListGreetingPreviewsItsFile)
{
    writeFile(at("greeting.ini"),
              "[Greeting]\nnNumOfGreeting=2\nName1=A\nFile1=a.wav\nName2=B\nFile2=b.wav\n");
    EXPECT_EQ(m_choice.previewFile(1), at("b.wav"));
}

} // namespace
} // namespace tw
