#include <gtest/gtest.h>

#include "platform/app_folders.h"

namespace tw {
namespace {

TEST(AppFolders, FollowXdgDataHomeThenHomeThenTheProgramFolder)
{
    FolderEnvironment env{"/opt/Tw/bin/tellwick", "/Users/Data/", "/home/Ann"};
    AppFolders f = computeAppFolders(env);
    EXPECT_EQ(f.programFolder, "/opt/Tw/bin");
    EXPECT_EQ(f.programDataFolder, "/opt/Tw/share/tellwick");
    EXPECT_EQ(f.dataFolder, "/Users/Data/tellwick"); // the case is kept
    EXPECT_EQ(f.configFile, "/Users/Data/tellwick/Tellwick.Ini");
    EXPECT_EQ(f.logFile, "/Users/Data/tellwick/Tellwick.Log");
    EXPECT_EQ(f.greetingFolder, "/Users/Data/tellwick/Greeting");
    EXPECT_EQ(f.recordsFolder, "/Users/Data/tellwick/records");
    EXPECT_EQ(f.mailFolder, "/Users/Data/tellwick/Mail");
    EXPECT_EQ(f.panelListFile, "/Users/Data/tellwick/splist.ini");

    env.xdgDataHome = "relative/data"; // not absolute: ignored, as XDG says
    EXPECT_EQ(computeAppFolders(env).dataFolder, "/home/Ann/.local/share/tellwick");
    env.xdgDataHome.clear();
    env.home.clear();
    EXPECT_EQ(computeAppFolders(env).dataFolder, "/opt/Tw/bin/tellwick");
    env.executablePath = "/tellwick";
    EXPECT_EQ(computeAppFolders(env).programFolder, "/");
    EXPECT_EQ(computeAppFolders(env).programDataFolder, "/share/tellwick");

    // This process finds its executable; the build tree keeps data beside bin/ in share/.
    env = currentFolderEnvironment();
    EXPECT_NE(env.executablePath.find("tw_platform_tests"), std::string::npos);
    EXPECT_EQ(computeAppFolders(env).programDataFolder,
              std::string(TW_BINARY_DIR) + "/share/tellwick");
}

} // namespace
} // namespace tw
