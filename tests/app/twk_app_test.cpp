#include <gtest/gtest.h>

#include "app/twk_app.h"
#include "platform/log.h"
#include "platform/profile_store.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

FolderEnvironment environment(const TempDir& dir, const std::string& xdg)
{
    return {dir.file("prefix/bin/tellwick"), xdg, dir.file("home")};
}

TEST(TWKApp, StartUpCreatesTheFoldersKeepsABadConfigurationAndShutdownSaves)
{
    TempDir dir;
    // A fresh account: not even ~/.local/share exists.
    const FolderEnvironment env = environment(dir, "");
    const AppFolders folders = SetupFolders(env);
    EXPECT_EQ(folders.dataFolder, dir.file("home/.local/share/tellwick"));
    for (const auto& folder :
         {folders.dataFolder, folders.greetingFolder, folders.recordsFolder, folders.mailFolder})
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    const std::string junk("\0\1\2\3", 4);
    writeFile(folders.configFile, junk);

    CTWKApp app;
    app.InitInstance(env);
    EXPECT_EQ(appLog().path(), folders.logFile);
    EXPECT_TRUE(appLog().isEnabled());
    EXPECT_EQ(app.settings().nACodec, 1);
    EXPECT_EQ(app.settings().sRecordStorageFolder, folders.recordsFolder);
    app.settings().nVoiceMailMaxLength = 120;
    app.ExitInstance();
    app.ExitInstance(); // twice is harmless

    EXPECT_EQ(readProfileInt(folders.configFile, "Preference", "nVoiceMailMaxLength", 0), 120);
    EXPECT_EQ(readProfileString(folders.configFile, "CallOutSave", "sSkypeNameTo", "absent"), "");
    EXPECT_EQ(readFile(folders.configFile + ".bad"), junk);
    const std::string log = readFile(folders.logFile);
    EXPECT_NE(log.find("configuration file cannot be read"), std::string::npos);
    EXPECT_NE(log.find(" - ExitInstance()\r\n"), std::string::npos);
    EXPECT_FALSE(appLog().isEnabled());
}

TEST(TWKApp, ADataFolderThatCannotBeWrittenStillStartsWithDefaults)
{
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    CTWKApp app;
    app.InitInstance(environment(dir, dir.file("plain/data")));
    EXPECT_EQ(app.folders().dataFolder, dir.file("plain/data/tellwick"));
    EXPECT_EQ(app.settings().nVoiceMailWaitingPeriod, 10);
    app.ExitInstance();
    EXPECT_EQ(readFile(dir.file("plain")), "x");
}

} // namespace
} // namespace tw
