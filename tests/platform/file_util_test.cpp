#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_util.h"
#include "platform/find_program.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(FileUtil, EnsureFolderCreatesOneLevelAndLeavesNoProbe)
{
    TempDir dir;
    EXPECT_TRUE(EnsureFolder(dir.path()));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(EnsureFolder(dir.file("one")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("one")));
    EXPECT_FALSE(EnsureFolder(dir.file("a/b")));
    EXPECT_FALSE(EnsureFolder(""));
    EXPECT_TRUE(EnsureFolderPath(dir.file("a/b/c")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
    writeFile(dir.file("file"), "x");
    EXPECT_FALSE(EnsureFolderPath(dir.file("file/sub")));
}

TEST(FileUtil, SafeDeleteAndRenameNeverOverwrite)
{
    TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    writeFile(a, "A");
    writeFile(b, "B");
    EXPECT_FALSE(RenameFileSafely(a, b));
    EXPECT_EQ(readFile(b), "B");
    EXPECT_TRUE(DeleteFileSafely(b));
    EXPECT_FALSE(DeleteFileSafely(b));
    EXPECT_TRUE(RenameFileSafely(a, b));
    EXPECT_FALSE(FileExists(a));
    EXPECT_EQ(readFile(b), "A");
    EXPECT_FALSE(RenameFileSafely(a, dir.file("c")));
    EXPECT_FALSE(CanOpenFile(""));
    EXPECT_TRUE(CanOpenFile(b));
}

TEST(FileUtil, SplitAndJoinPaths)
{
    std::string folder, name;
    EXPECT_TRUE(SplitPath("/data/tellwick/Tellwick.Ini", folder, name));
    EXPECT_EQ(folder + "|" + name, "/data/tellwick|Tellwick.Ini");
    EXPECT_FALSE(SplitPath("plain", folder, name));
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("/", "b"), "/b");
}

// The program folder before PATH is covered where the settings look for "lame".
TEST(FileUtil, FindProgramWantsAnExecutableNamedPlainly)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("bin"));
    writeFile(dir.file("plain"), "#!/bin/sh\n");
    writeFile(dir.file("bin/tool"), "#!/bin/sh\n");
    ::chmod(dir.file("bin/tool").c_str(), 0755);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir.file("nowhere") + "::" + dir.file("bin")).c_str(), 1);
    EXPECT_EQ(FindProgram("tool", dir.path()), dir.file("bin/tool"));
    EXPECT_EQ(FindProgram("plain", dir.path()), ""); // not executable
    EXPECT_EQ(FindProgram("../bin/tool", dir.file("bin")), "");
    ::setenv("PATH", oldPath.c_str(), 1);
}

} // namespace
} // namespace tw
