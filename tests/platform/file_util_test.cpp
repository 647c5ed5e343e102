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

bool isEmptyFolder(const std::string& path)
{
    return std::filesystem::is_empty(path);
}

TEST(FileUtil, EnsureFolderCreatesOneLevelAndLeavesNoProbe)
{
    TempDir dir;
    EXPECT_TRUE(EnsureFolder(dir.path()));
    EXPECT_TRUE(isEmptyFolder(dir.path()));
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
    EXPECT_FALSE(FileExists(b));
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
    EXPECT_EQ(folder, "/data/tellwick");
    EXPECT_EQ(name, "Tellwick.Ini");
    EXPECT_FALSE(SplitPath("plain", folder, name));
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("/", "b"), "/b");
    EXPECT_EQ(JoinPath("a", "b"), "a/b");
}

TEST(FileUtil, FindProgramLooksInTheFolderThenOnPath)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("bin"));
    std::filesystem::create_directories(dir.file("prog"));
    const auto makeTool = [](const std::string& path, mode_t mode) {
        writeFile(path, "#!/bin/sh\n");
        ::chmod(path.c_str(), mode);
    };
    makeTool(dir.file("bin/tool"), 0755);
    makeTool(dir.file("prog/plain"), 0644); // not executable

    const char* saved = std::getenv("PATH");
    const std::string oldPath = saved ? saved : "";
    ::setenv("PATH", (dir.file("nowhere") + "::" + dir.file("bin")).c_str(), 1);
    EXPECT_EQ(FindProgram("tool", dir.file("prog")), dir.file("bin/tool"));
    makeTool(dir.file("prog/tool"), 0755);
    EXPECT_EQ(FindProgram("tool", dir.file("prog")), dir.file("prog/tool"));
    EXPECT_EQ(FindProgram("plain", dir.file("prog")), "");
    EXPECT_EQ(FindProgram("../bin/tool", dir.file("prog")), "");
    ::setenv("PATH", oldPath.c_str(), 1);
}

} // namespace
} // namespace tw
