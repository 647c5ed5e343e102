#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/settings.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct Entry
{
    std::string section, key, value;
};
std::vector<Entry> ProfileStoreEntries(const std::string& path)
{
    std::vector<Entry> out;
    const ProfileStore store(path);
    for (const char* section : {"Preference", "Notification", "CallTransfer", "CallOutSave"})
        for (const auto& [key, value] : store.entries(section))
            out.push_back({section, key, value});
    return out;
}

// Every test runs with a PATH that holds no "lame", unless it puts one there.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        std::filesystem::create_directories(m_dir.file("emptybin"));
        std::filesystem::create_directories(m_dir.file("prog"));
        std::filesystem::create_directories(m_dir.file("data"));
        ::setenv("PATH", m_dir.file("emptybin").c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", m_oldPath.c_str(), 1); }

    std::string config() const { return m_dir.file("data/Tellwick.Ini"); }
    ProfileStore::LoadStatus load(CSettings& s, CSettings::GreetingLookup lookup = {})
    {
        return s.Load(config(), m_dir.file("data"), m_dir.file("prog"), std::move(lookup));
    }
    void makeLame(const std::string& folder)
    {
        writeFile(folder + "/lame", "#!/bin/sh\n");
        ::chmod((folder + "/lame").c_str(), 0755);
    }

    TempDir m_dir;
    std::string m_oldPath;
};

TEST_F(SettingsTest, NoFileLoadsDefaultsAndTheFirstSaveWritesEveryKeyInTableOrder)
{
    CSettings s;
    EXPECT_EQ(load(s), ProfileStore::LoadStatus::Missing);
    EXPECT_TRUE(s.isLoaded());
    EXPECT_EQ(s.sRecordStorageFolder, m_dir.file("data/records"));
    EXPECT_EQ(s.nRecordStorageMinFreeSpace, 1024);
    EXPECT_EQ(s.nACodecForEmail, 2);
    EXPECT_EQ(s.EmailSubject, "Default");
    EXPECT_EQ(s.EmailToCount, 1);
    EXPECT_TRUE(s.fStartUp);

    ASSERT_TRUE(s.Save());
    // Keys of a section that appear again later are appended to the section's end.
    EXPECT_EQ(readFile(config()), "[Preference]\n"
                                  "nRecordStorageMinFreeSpace=1024\n"
                                  "sRecordStorageFolder=" +
                                      m_dir.file("data/records") +
                                      "\n"
                                      "fRecordStorageRecycle=1\n"
                                      "fVoiceMailEnable=1\n"
                                      "nVoiceMailWaitingPeriod=10\n"
                                      "nVoiceMailMaxLength=60\n"
                                      "fVoiceMailEmail=0\n"
                                      "nGreetingType=0\n"
                                      "nDefaultGreetingIndex=1\n"
                                      "fMuteCaller=0\n"
                                      "fConversationRecord=1\n"
                                      "fRecordWarn=0\n"
                                      "nACodec=1\n"
                                      "nACodecForEmail=2\n"
                                      "nAFormatMode=1\n"
                                      "fStickWithSkype=1\n"
                                      "fAlwaysOnTop=0\n"
                                      "fStartUp=1\n"
                                      "\n"
                                      "[Notification]\n"
                                      "EmailSize=0\n"
                                      "EmailServer=\n"
                                      "EmailUserName=\n"
                                      "EmailPW=\n"
                                      "EmailFrom=\n"
                                      "EmailToCount=1\n"
                                      "EmailTo=\n"
                                      "EmailSubject=Default\n"
                                      "EmailPicNum=0\n"
                                      "\n"
                                      "[CallTransfer]\n"
                                      "fEnable=0\n"
                                      "sSkypeName=\n"
                                      "\n"
                                      "[CallOutSave]\n"
                                      "fEnable=0\n"
                                      "sPassword=\n"
                                      "sSkypeNameFrom=\n"
                                      "sSkypeNameTo=\n");
}

TEST_F(SettingsTest, EveryKeyRoundTripsAndOtherLinesStay)
{
    writeFile(config(), "; kept comment\n[SPanel]\nleft=12\ntop=34\n[Preference]\nunknown=kept\n");
    CSettings a;
    load(a);
    a.fStickWithSkype = false;
    a.fAlwaysOnTop = true;
    a.fStartUp = false;
    a.EmailServer = "smtp.example.org:587";
    a.EmailUserName = "ann";
    a.EmailPW = "p=w ;#";
    a.EmailFrom = "ann@example.org";
    a.EmailToCount = 3;
    a.EmailTo = "bob@example.org";
    a.EmailSubject = "Voice mail";
    a.EmailPicNum = 7;
    a.EmailSize = 8;
    a.sRecordStorageFolder = "/srv/Records Ü";
    a.nRecordStorageMinFreeSpace = 300;
    a.fRecordStorageRecycle = false;
    a.fVoiceMailEnable = false;
    a.nVoiceMailWaitingPeriod = 0;
    a.nVoiceMailMaxLength = 300;
    a.fVoiceMailEmail = true;
    a.nGreetingType = 2;
    a.nDefaultGreetingIndex = 3;
    a.fMuteCaller = true;
    a.fConversationRecord = false;
    a.fRecordWarn = true;
    a.nACodec = 3;
    a.nACodecForEmail = 0;
    a.nAFormatMode = 0;
    a.fCallTransferEnable = true;
    a.sSkypeName = "+44 20 7946 0000";
    a.fCallOutEnable = true;
    a.sPassword = "secret";
    a.sSkypeNameFrom = "from.me";
    a.sSkypeNameTo = "to.you";
    ASSERT_TRUE(a.Save());

    // Loading what was saved and saving it again gives the same file: every key came back
    // (one that did not would be written with its default).
    const std::string saved = readFile(config());
    CSettings b;
    load(b);
    EXPECT_EQ(b.EmailPW, "p=w ;#");
    EXPECT_EQ(b.sRecordStorageFolder, "/srv/Records Ü");
    EXPECT_EQ(b.nVoiceMailWaitingPeriod, 0);
    ASSERT_TRUE(b.Save(m_dir.file("again.ini")));
    writeFile(config(), "");
    ASSERT_TRUE(a.Save());
    EXPECT_EQ(readFile(m_dir.file("again.ini")), readFile(config()));
    CSettings defaults;
    defaults.Load(m_dir.file("none.ini"), m_dir.file("data"), m_dir.file("prog"));
    ASSERT_TRUE(defaults.Save(m_dir.file("defaults.ini")));
    for (const auto& [section, key, value] : ProfileStoreEntries(m_dir.file("defaults.ini")))
        EXPECT_NE(readProfileString(config(), section, key), value) << key << " kept its default";
    writeFile(config(), saved);

    const std::string text = readFile(config());
    EXPECT_EQ(
        text.rfind("; kept comment\n[SPanel]\nleft=12\ntop=34\n[Preference]\nunknown=kept\n", 0),
        0u);
    EXPECT_EQ(loadPanelPosition(config()).left, 12);
    // Flags written by anyone as other numbers still read as set, and save back as 1.
    writeFile(config(), "[Preference]\nfMuteCaller=2\n");
    load(b);
    EXPECT_TRUE(b.fMuteCaller);
}

TEST_F(SettingsTest, LameFallsBackToMp3WhenNoEncoderIsFound)
{
    writeFile(config(), "[Preference]\nnACodec=4\nnACodecForEmail=4\n");
    CSettings s;
    load(s);
    EXPECT_EQ(s.nACodec, CSettings::CodecMp3);
    EXPECT_EQ(s.nACodecForEmail, CSettings::CodecMp3);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 2);
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodecForEmail", -1), 2);

    writeFile(config(), "[Preference]\nnACodec=4\nnACodecForEmail=4\n");
    makeLame(m_dir.file("prog")); // in the program folder
    load(s);
    EXPECT_EQ(s.nACodec, CSettings::CodecLame);
    std::filesystem::remove(m_dir.file("prog/lame"));
    makeLame(m_dir.file("emptybin")); // on PATH
    load(s);
    EXPECT_EQ(s.nACodecForEmail, CSettings::CodecLame);
}

TEST_F(SettingsTest, ValuesAreTakenAsTheyStandCutOnlyToTheirBuffers)
{
    // A surrogate pair straddles each limit: it is dropped whole.
    const std::string clef = "\xF0\x9D\x84\x9E";
    writeFile(config(), "[Preference]\n"
                        "nVoiceMailWaitingPeriod=soon\n"
                        "nVoiceMailMaxLength=99999\n"
                        "nRecordStorageMinFreeSpace= 42 MB\n"
                        "sRecordStorageFolder=" +
                            std::string(518, 'r') + clef + "tail\n" +
                            "[Notification]\n"
                            "EmailServer=" +
                            std::string(258, 's') + clef + "\n" +
                            "EmailTo=" + std::string(259, 't') + "\n");
    CSettings s;
    load(s);
    EXPECT_EQ(s.nVoiceMailWaitingPeriod, 0); // not a number
    EXPECT_EQ(s.nVoiceMailMaxLength, 99999); // not clamped to the dialog's range
    EXPECT_EQ(s.nRecordStorageMinFreeSpace, 42);
    EXPECT_EQ(s.sRecordStorageFolder, std::string(518, 'r'));
    EXPECT_EQ(s.EmailServer, std::string(258, 's'));
    EXPECT_EQ(s.EmailTo, std::string(259, 't'));
    EXPECT_EQ(s.EmailSubject, "Default"); // absent
}

TEST_F(SettingsTest, BadFilesLoadDefaultsWithoutLosingThem)
{
    // Duplicate sections and keys: the first answers.
    writeFile(config(), "[Preference]\nnACodec=3\nnACodec=0\n[preference]\nnACodec=1\n"
                        "nAFormatMode=0\n");
    CSettings s;
    EXPECT_EQ(load(s), ProfileStore::LoadStatus::Ok);
    EXPECT_EQ(s.nACodec, 3);
    EXPECT_EQ(s.nAFormatMode, 0);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readFile(config()).find("[preference]\nnACodec=1\n") != std::string::npos, true);

    // Binary: defaults, and the file is kept aside when the settings are saved.
    const char bytes[] = "\x7F"
                         "ELF\0\0\0[Preference]\nnACodec=3\n";
    const std::string junk(bytes, sizeof bytes - 1);
    writeFile(config(), junk);
    EXPECT_EQ(load(s), ProfileStore::LoadStatus::Binary);
    EXPECT_EQ(s.nACodec, 1);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readFile(config() + ".bad"), junk);
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 1);

    // Unreadable: a folder where the file should be.
    std::filesystem::remove(config());
    std::filesystem::create_directory(config());
    EXPECT_EQ(load(s), ProfileStore::LoadStatus::Unreadable);
    EXPECT_EQ(s.nVoiceMailWaitingPeriod, 10);
    EXPECT_FALSE(s.Save());
    EXPECT_TRUE(std::filesystem::is_directory(config()));
}

TEST_F(SettingsTest, SavingNeedsALoadAndAWritableFolder)
{
    CSettings s;
    EXPECT_FALSE(s.Save(config()));
    EXPECT_FALSE(test::readFile(config()).size());
    EXPECT_FALSE(s.WritePreference("MainWndClassName", "TTWK"));

    writeFile(m_dir.file("plain"), "x");
    const std::string below = m_dir.file("plain/Tellwick.Ini");
    EXPECT_EQ(s.Load(below, m_dir.file("plain"), m_dir.file("prog")),
              ProfileStore::LoadStatus::Missing);
    EXPECT_EQ(s.nACodec, 1);
    EXPECT_FALSE(s.Save());
    EXPECT_FALSE(s.WritePreference("x", "y"));
    EXPECT_TRUE(s.Save(config())); // another path may be given
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 1);
}

TEST_F(SettingsTest, GreetingIsLookedUpAtLoadAndOnRequest)
{
    writeFile(config(), "[Preference]\nnDefaultGreetingIndex=2\n");
    std::vector<int> asked;
    CSettings s;
    load(s, [&](int index, std::string& name, std::string& file) {
        asked.push_back(index);
        if (index > 2)
            return false;
        name = "Greeting " + std::to_string(index);
        file = "/g/" + std::to_string(index) + ".wav";
        return true;
    });
    EXPECT_EQ(s.sDefaultGreetingName, "Greeting 2");
    EXPECT_EQ(s.sDefaultGreetingFile, "/g/2.wav");
    s.nDefaultGreetingIndex = 7;
    s.LookupDefaultGreeting();
    EXPECT_EQ(asked, (std::vector<int>{2, 7}));
    EXPECT_EQ(s.sDefaultGreetingName, "");
    EXPECT_EQ(s.sDefaultGreetingFile, "");

    CSettings copy = s; // the Options dialog works on a copy
    copy.nDefaultGreetingIndex = 1;
    copy.LookupDefaultGreeting();
    EXPECT_EQ(copy.sDefaultGreetingName, "Greeting 1");
}

TEST_F(SettingsTest, KeysOutsideTheSettings)
{
    EXPECT_EQ(loadPanelPosition(config()).left, -1);
    EXPECT_EQ(loadPanelPosition(config()).top, -1);
    EXPECT_EQ(readMp3Options(config()), "-f --silent");
    EXPECT_FALSE(readUrlOverride(config()));

    EXPECT_TRUE(writeMainWndClassName(config()));
    EXPECT_TRUE(savePanelPosition(config(), {100, -20}));
    EXPECT_EQ(loadPanelPosition(config()).left, 100);
    EXPECT_EQ(loadPanelPosition(config()).top, -20);
    EXPECT_EQ(readProfileString(config(), "Preference", "MainWndClassName"), "TTWK");

    CSettings s;
    load(s);
    EXPECT_TRUE(s.WritePreference("Extra", " value "));
    EXPECT_EQ(readProfileString(config(), "Preference", "Extra"), "value");

    writeFile(config(), "[MP3]\nOPTIONS=-b 32 --cbr\n[URL]\nREG=https://example.org/help\n");
    EXPECT_EQ(readMp3Options(config()), "-b 32 --cbr");
    EXPECT_EQ(readUrlOverride(config()).value_or(""), "https://example.org/help");
}

} // namespace
} // namespace tw
