#include <cstdlib>
#include <map>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mainframe/secret_store.h"
#include "mainframe/settings.h"
#include "platform/log.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using Status = ProfileStore::LoadStatus;

// The first save of the defaults: every key in table order; keys of a section that comes
// again later in the table go to that section's end.
std::string defaultsText(const std::string& records)
{
    return "[Preference]\nnRecordStorageMinFreeSpace=1024\nsRecordStorageFolder=" + records +
           "\nfRecordStorageRecycle=1\nfVoiceMailEnable=1\nnVoiceMailWaitingPeriod=10\n"
           "nVoiceMailMaxLength=60\nfVoiceMailEmail=0\nnGreetingType=0\nnDefaultGreetingIndex=1\n"
           "fMuteCaller=0\nfConversationRecord=1\nfRecordWarn=0\nnACodec=1\nnACodecForEmail=2\n"
           "nAFormatMode=1\nfStickWithSkype=1\nfAlwaysOnTop=0\nfStartUp=1\nfDesktopNotify=1\n\n"
           "[Notification]\nEmailSize=0\nEmailServer=\nEmailUserName=\nEmailPW=\nEmailFrom=\n"
           "EmailToCount=1\nEmailTo=\nEmailSubject=Default\nEmailPicNum=0\n"
           "EmailSecurity=automatic\nEmailCAFile=\n\n"
           "[CallTransfer]\nfEnable=0\nsSkypeName=\n\n"
           "[CallOutSave]\nfEnable=0\nsPassword=\nsSkypeNameFrom=\nsSkypeNameTo=\n";
}

// Every test runs with a PATH that holds no "lame", unless it puts one there.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        for (const char* sub : {"emptybin", "prog", "data"})
            std::filesystem::create_directories(m_dir.file(sub));
        ::setenv("PATH", m_dir.file("emptybin").c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", m_oldPath.c_str(), 1); }

    std::string config() const { return m_dir.file("data/Tellwick.Ini"); }
    Status load(CSettings& s, CSettings::GreetingLookup lookup = {})
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
    EXPECT_EQ(load(s), Status::Missing);
    EXPECT_EQ(s.sRecordStorageFolder, m_dir.file("data/records"));
    EXPECT_EQ(s.nACodecForEmail, 2);
    EXPECT_EQ(s.EmailSubject, "Default");
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readFile(config()), defaultsText(m_dir.file("data/records")));
}

TEST_F(SettingsTest, EveryKeyRoundTripsAndOtherLinesStay)
{
    // Every key differs from its default, so a key that is not read back is saved wrongly.
    const std::string custom =
        "[Preference]\nnRecordStorageMinFreeSpace=300\nsRecordStorageFolder=/srv/Records Ü\n"
        "fRecordStorageRecycle=0\nfVoiceMailEnable=0\nnVoiceMailWaitingPeriod=0\n"
        "nVoiceMailMaxLength=300\nfVoiceMailEmail=1\nnGreetingType=2\nnDefaultGreetingIndex=3\n"
        "fMuteCaller=1\nfConversationRecord=0\nfRecordWarn=1\nnACodec=3\nnACodecForEmail=0\n"
        "nAFormatMode=0\nfStickWithSkype=0\nfAlwaysOnTop=1\nfStartUp=0\nfDesktopNotify=0\n\n"
        "[Notification]\nEmailSize=8\nEmailServer=smtp.example.org:587\nEmailUserName=ann\n"
        "EmailPW=p=w ;#\nEmailFrom=ann@example.org\nEmailToCount=3\nEmailTo=bob@example.org\n"
        "EmailSubject=Voice mail\nEmailPicNum=7\nEmailSecurity=starttls\n"
        "EmailCAFile=/etc/ssl/private-ca.pem\n\n"
        "[CallTransfer]\nfEnable=1\nsSkypeName=+44 20 7946 0000\n\n"
        "[CallOutSave]\nfEnable=1\nsPassword=secret\nsSkypeNameFrom=from.me\nsSkypeNameTo=to.you\n";
    writeFile(config(), custom);
    CSettings s;
    load(s);
    EXPECT_EQ(s.EmailPW, "p=w ;#");
    EXPECT_EQ(s.nVoiceMailWaitingPeriod, 0);
    ASSERT_TRUE(s.Save(m_dir.file("again.ini")));
    EXPECT_EQ(readFile(m_dir.file("again.ini")), custom);

    // Saving over a file keeps its other lines; flags written as other numbers read as set.
    const std::string others =
        "; kept\n[SPanel]\nleft=12\n[Preference]\nunknown=kept\nfMuteCaller=2\n";
    writeFile(config(), others);
    load(s);
    EXPECT_TRUE(s.fMuteCaller);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(
        readFile(config()).rfind("; kept\n[SPanel]\nleft=12\n[Preference]\nunknown=kept\n", 0), 0u);
    EXPECT_EQ(loadPanelPosition(config()).left, 12);
}

TEST_F(SettingsTest, LameFallsBackToMp3WhenNoEncoderIsFound)
{
    const std::string lame = "[Preference]\nnACodec=4\nnACodecForEmail=4\n";
    writeFile(config(), lame);
    CSettings s;
    load(s);
    EXPECT_EQ(s.nACodec, CSettings::CodecMp3);
    EXPECT_EQ(s.nACodecForEmail, CSettings::CodecMp3);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 2);
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodecForEmail", -1), 2);

    writeFile(config(), lame);
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
    writeFile(config(), "[Preference]\nnVoiceMailWaitingPeriod=soon\nnVoiceMailMaxLength=99999\n"
                        "sRecordStorageFolder=" +
                            std::string(518, 'r') + clef +
                            "tail\n[Notification]\nEmailServer=" + std::string(258, 's') + clef +
                            "\nEmailTo=" + std::string(259, 't') + "\n");
    CSettings s;
    load(s);
    EXPECT_EQ(s.nVoiceMailWaitingPeriod, 0); // not a number
    EXPECT_EQ(s.nVoiceMailMaxLength, 99999); // not clamped to the dialog's range
    EXPECT_EQ(s.sRecordStorageFolder, std::string(518, 'r'));
    EXPECT_EQ(s.EmailServer, std::string(258, 's'));
    EXPECT_EQ(s.EmailTo, std::string(259, 't'));
}

TEST_F(SettingsTest, BadFilesLoadDefaultsWithoutLosingThem)
{
    // Duplicate sections and keys: the first answers, the duplicate stays.
    writeFile(config(), "[Preference]\nnACodec=3\nnACodec=0\n[preference]\nnACodec=1\n"
                        "nAFormatMode=0\n");
    CSettings s;
    EXPECT_EQ(load(s), Status::Ok);
    EXPECT_EQ(s.nACodec, 3);
    EXPECT_EQ(s.nAFormatMode, 0);
    ASSERT_TRUE(s.Save());
    EXPECT_NE(readFile(config()).find("[preference]\nnACodec=1\n"), std::string::npos);

    // Binary: defaults, and the file is kept aside when the settings are saved.
    const std::string junk = "\x7F" + std::string("ELF\0\0\0", 6) + "[Preference]\nnACodec=3\n";
    writeFile(config(), junk);
    EXPECT_EQ(load(s), Status::Binary);
    EXPECT_EQ(s.nACodec, 1);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(readFile(config() + ".bad"), junk);
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 1);

    // Unreadable: a folder where the file should be.
    std::filesystem::remove(config());
    std::filesystem::create_directory(config());
    EXPECT_EQ(load(s), Status::Unreadable);
    EXPECT_EQ(s.nVoiceMailWaitingPeriod, 10);
    EXPECT_FALSE(s.Save());
    EXPECT_TRUE(std::filesystem::is_directory(config()));
}

TEST_F(SettingsTest, SavingNeedsALoadAndAWritableFolder)
{
    CSettings s;
    EXPECT_FALSE(s.Save(config()));
    EXPECT_FALSE(s.WritePreference("MainWndClassName", "TTWK"));
    EXPECT_FALSE(std::filesystem::exists(config()));

    writeFile(m_dir.file("plain"), "x");
    EXPECT_EQ(s.Load(m_dir.file("plain/Tellwick.Ini"), m_dir.file("plain"), m_dir.file("prog")),
              Status::Missing);
    EXPECT_EQ(s.nACodec, 1);
    EXPECT_FALSE(s.Save());
    EXPECT_FALSE(s.WritePreference("x", "y"));
    EXPECT_TRUE(s.Save(config())); // another path may be given
    EXPECT_EQ(readProfileInt(config(), "Preference", "nACodec", -1), 1);
}

TEST_F(SettingsTest, GreetingIsLookedUpAtLoadAndOnRequest)
{
    writeFile(config(), "[Preference]\nnDefaultGreetingIndex=7\n");
    CSettings s;
    load(s, [](int index, std::string& name, std::string& file) {
        name = "Greeting " + std::to_string(index);
        file = "/g/" + std::to_string(index) + ".wav";
        return index <= 2;
    });
    EXPECT_EQ(s.sDefaultGreetingName + s.sDefaultGreetingFile, ""); // a failed lookup leaves none
    s.nDefaultGreetingIndex = 2;
    s.LookupDefaultGreeting();
    EXPECT_EQ(s.sDefaultGreetingName + "|" + s.sDefaultGreetingFile, "Greeting 2|/g/2.wav");
}

// The Secret Service as a map; "available" and "accepts" switch its two ways of failing.
class FakeSecretStore : public SecretStore
{
public:
    bool available = true, accepts = true;
    std::map<std::string, std::string, std::less<>> secrets;

    bool isAvailable() override { return available; }
    std::string why() const override { return "no bus"; }
    std::optional<std::string> lookup(std::string_view key) override
    {
        const auto found = secrets.find(key);
        return found == secrets.end() ? std::nullopt : std::optional(found->second);
    }
    bool store(std::string_view key, std::string_view secret) override
    {
        return accepts && (secrets[std::string(key)] = secret, true);
    }
    bool remove(std::string_view key) override { return secrets.erase(std::string(key)) > 0; }
};

TEST_F(SettingsTest, PasswordsMoveIntoTheSecretServiceAndStayInTheFileWithoutOne)
{
    appLog().Open(m_dir.file("Tellwick.Log"));
    appLog().Enable(true);
    const std::string withPasswords =
        "[Notification]\nEmailServer=smtp.example.org\nEmailUserName=ann\n"
        "EmailPW=pw 1\n"
        "[CallOutSave]\nsPassword=pw 2\n";
    writeFile(config(), withPasswords);
    ::chmod(config().c_str(), 0644);

    // No Secret Service: the file keeps them, readable by its owner only, and the log says why.
    FakeSecretStore store;
    store.available = false;
    CSettings s;
    s.UseSecretStore(&store);
    load(s);
    EXPECT_EQ(s.EmailPW, "pw 1");
    EXPECT_EQ(readFile(config()), withPasswords);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(config().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(m_dir.file("Tellwick.Log")).find("No Secret Service (no bus)"),
              std::string::npos);

    // With one: moved there at start and gone from the file, the rest of which stays.
    store.available = true;
    load(s);
    EXPECT_EQ(store.secrets["Notification/EmailPW"], "pw 1");
    EXPECT_EQ(store.secrets["CallOutSave/sPassword"], "pw 2");
    EXPECT_EQ(readFile(config()),
              "[Notification]\nEmailServer=smtp.example.org\nEmailUserName=ann\n[CallOutSave]\n");
    CSettings again;
    again.UseSecretStore(&store);
    load(again);
    EXPECT_EQ(again.EmailPW + "|" + again.sPassword, "pw 1|pw 2");
    again.EmailPW = "changed";
    again.sPassword.clear();
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(store.secrets["Notification/EmailPW"], "changed");
    EXPECT_FALSE(store.secrets.contains("CallOutSave/sPassword"));
    EXPECT_EQ(readFile(config()).find("PW"), std::string::npos);

    // A password entered after a start without an account goes there when saved.
    writeFile(config(), "[Notification]\nEmailServer=smtp.example.org\n");
    store.secrets.clear();
    load(s);
    EXPECT_FALSE(s.passwordsInSecretStore()); // not asked: nothing to look up
    s.EmailUserName = "ann";
    s.EmailPW = "new";
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(store.secrets["Notification/EmailPW"], "new");
    EXPECT_EQ(readFile(config()).find("EmailPW"), std::string::npos);

    // A service that refuses to store leaves the password where it was.
    writeFile(config(), withPasswords);
    store.accepts = false;
    load(s);
    EXPECT_EQ(readFile(config()), withPasswords);
    EXPECT_FALSE(s.passwordsInSecretStore());
    appLog().Close();
}

TEST_F(SettingsTest, KeysOutsideTheSettings)
{
    EXPECT_EQ(loadPanelPosition(config()).top, -1);
    EXPECT_EQ(readMp3Options(config()), "-f --silent");
    EXPECT_FALSE(readUrlOverride(config()));
    CSettings s;
    load(s);
    EXPECT_TRUE(writeMainWndClassName(config()));
    EXPECT_TRUE(savePanelPosition(config(), {100, -20}));
    EXPECT_TRUE(s.WritePreference("Extra", " value "));
    EXPECT_EQ(
        readFile(config()),
        "[Preference]\nMainWndClassName=TTWK\nExtra= value \n\n[SPanel]\nleft=100\ntop=-20\n");
    EXPECT_EQ(loadPanelPosition(config()).top, -20);

    writeFile(config(), "[MP3]\nOPTIONS=-b 32 --cbr\n[URL]\nREG=https://example.org/help\n");
    EXPECT_EQ(readMp3Options(config()), "-b 32 --cbr");
    EXPECT_EQ(readUrlOverride(config()).value_or(""), "https://example.org/help");
}

} // namespace
} // namespace tw
