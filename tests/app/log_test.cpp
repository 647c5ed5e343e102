#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "app/log.h"
#include "tests/platform/temp_dir.h"

namespace tw {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::vector<std::string> lines(const std::string& path)
{
    std::vector<std::string> out;
    std::string text = readFile(path);
    for (std::size_t pos = 0; pos < text.size();) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            out.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

std::string numbered(int n)
{
    return "line " + std::to_string(n);
}

TEST(Log, LinesAreTimestampedOrRawAndOnlyWrittenWhenEnabled)
{
    TempDir dir;
    const std::string path = dir.file("Tellwick.Log");
    CLog log;
    log.Write("before open");
    log.Open(path);
    EXPECT_TRUE(std::filesystem::exists(path)); // created empty
    log.Write("not enabled yet");
    log.Enable(true);
    log.Write("CMainFrame::Exit()");
    log.WriteRaw("MAIL FROM:<ann@example.org>");
    const auto got = lines(path);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        got[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - CMainFrame::Exit\(\))")))
        << got[0];
    EXPECT_EQ(got[1], "MAIL FROM:<ann@example.org>");
    EXPECT_EQ(log.lineCount(), 2);

    // A log deleted behind our back stays deleted until the next Open.
    std::filesystem::remove(path);
    log.Write("lost");
    EXPECT_FALSE(std::filesystem::exists(path));
    log.Close();
    log.Write("after close");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Log, RotatesAtOpenAndOnTheHundredthLine)
{
    TempDir dir;
    const std::string path = dir.file("Tellwick.Log");
    std::string old;
    for (int i = 1; i <= 120; ++i)
        old += numbered(i) + "\r\n";
    writeFile(path, old);
    writeFile(path + "1", "older backup");

    CLog log;
    log.Open(path);
    EXPECT_EQ(readFile(path + "1"), old);
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(log.lineCount(), 0);

    log.Enable(true);
    for (int i = 1; i <= 100; ++i)
        log.WriteRaw(numbered(i));
    // The 100th line itself went into the backup.
    const auto backup = lines(path + "1");
    ASSERT_EQ(backup.size(), 100u);
    EXPECT_EQ(backup.back(), numbered(100));
    EXPECT_EQ(readFile(path), "");
    log.WriteRaw(numbered(101));
    EXPECT_EQ(lines(path), std::vector<std::string>{numbered(101)});

    // Only CR LF pairs count at Open: 99 lines and stray LFs do not rotate.
    std::string almost;
    for (int i = 1; i <= 99; ++i)
        almost += numbered(i) + "\r\n";
    writeFile(path, almost + "\n\n\r");
    log.Open(path);
    EXPECT_EQ(log.lineCount(), 99);
    EXPECT_EQ(lines(path + "1").back(), numbered(100));
}

TEST(Log, LongLinesAreCutTo1023BytesOnACharacterBoundary)
{
    TempDir dir;
    const std::string path = dir.file("Tellwick.Log");
    CLog log;
    log.Open(path);
    log.Enable(true);
    log.WriteRaw(std::string(2000, 'x'));
    // Two-byte characters after a two-byte lead-in: the cut at 1023 would split one.
    log.WriteRaw("ab" + [] {
        std::string s;
        for (int i = 0; i < 1000; ++i)
            s += "\xC3\xA9";
        return s;
    }());
    log.Write(std::string(2000, 'y'));
    const auto got = lines(path);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], std::string(1023, 'x'));
    EXPECT_EQ(got[1].size(), 1022u); // "ab" + 510 characters of 2 bytes
    EXPECT_EQ(static_cast<unsigned char>(got[1].back()), 0xA9);
    EXPECT_EQ(got[2].size(), 1023u);
}

TEST(Log, ConcurrentWritersNeverInterleaveOrLoseLines)
{
    TempDir dir;
    const std::string path = dir.file("Tellwick.Log");
    CLog log;
    log.Open(path);
    log.Enable(true);
    constexpr int kThreads = 4, kLines = 40; // 160 lines: exactly one rotation
    const std::string padding(300, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                log.Write("thread " + std::to_string(t) + " line " + std::to_string(i) + padding);
        });
    for (auto& thread : threads)
        thread.join();

    std::set<std::string> seen;
    auto all = lines(path + "1");
    EXPECT_EQ(all.size(), 100u);
    for (const auto& line : lines(path))
        all.push_back(line);
    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - (thread \d line \d+)\.{300})");
    for (const auto& line : all) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_TRUE(seen.insert(m[1]).second) << "twice: " << m[1];
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(Log, AFolderThatCannotBeWrittenLosesLinesQuietly)
{
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    CLog log;
    log.Open(dir.file("plain/Tellwick.Log"));
    log.Enable(true);
    for (int i = 0; i < 150; ++i)
        log.Write("nowhere");
    EXPECT_EQ(log.lineCount(), 0);
    log.Close();
}

} // namespace
} // namespace tw
