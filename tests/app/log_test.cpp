#include <regex>
#include <set>
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
    const std::string text = readFile(path);
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        out.push_back(text.substr(pos, end - pos));
    if (pos != text.size())
        out.push_back(text.substr(pos) + "<no CR LF>");
    return out;
}

std::string numberedLines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

class LogTest : public ::testing::Test
{
protected:
    TempDir m_dir;
    const std::string m_path = m_dir.file("Tellwick.Log");
    CLog m_log;
};

TEST_F(LogTest, LinesAreTimestampedOrRawCutTo1023BytesAndOnlyWrittenWhenEnabled)
{
    m_log.Write("before open");
    m_log.Open(m_path);
    EXPECT_TRUE(std::filesystem::exists(m_path)); // created empty
    m_log.Write("not enabled yet");
    m_log.Enable(true);
    m_log.Write("CMainFrame::Exit()");
    m_log.WriteRaw("MAIL FROM:<ann@example.org>");
    // Long lines are cut to 1023 bytes, never inside a character: after the two-byte lead-in
    // "ab", a cut at 1023 bytes would split an accent.
    m_log.WriteRaw(std::string(2000, 'x'));
    std::string accents = "ab";
    for (int i = 0; i < 1000; ++i)
        accents += "\xC3\xA9";
    m_log.WriteRaw(accents);
    m_log.Write(std::string(2000, 'y'));
    const auto got = lines(m_path);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].substr(19), " - CMainFrame::Exit()"); // the time's shape: see below
    EXPECT_EQ(got[1], "MAIL FROM:<ann@example.org>");
    EXPECT_EQ(got[2], std::string(1023, 'x'));
    EXPECT_EQ(got[3], accents.substr(0, 1022));
    EXPECT_EQ(got[4].size(), 1023u);
    EXPECT_EQ(m_log.lineCount(), 5);

    // A log deleted behind our back stays deleted until the next Open.
    std::filesystem::remove(m_path);
    m_log.Write("lost");
    m_log.Close();
    m_log.Write("after close");
    EXPECT_FALSE(std::filesystem::exists(m_path));

    // A folder that cannot be written loses lines quietly.
    writeFile(m_dir.file("plain"), "x");
    m_log.Open(m_dir.file("plain/Tellwick.Log"));
    m_log.Enable(true);
    for (int i = 0; i < 150; ++i)
        m_log.Write("nowhere");
    EXPECT_EQ(m_log.lineCount(), 0);
}

TEST_F(LogTest, RotatesAtOpenAndOnTheHundredthLine)
{
    writeFile(m_path, numberedLines(120));
    writeFile(m_path + "1", "older backup");
    m_log.Open(m_path);
    EXPECT_EQ(readFile(m_path + "1"), numberedLines(120));
    EXPECT_EQ(readFile(m_path), "");
    EXPECT_EQ(m_log.lineCount(), 0);

    m_log.Enable(true);
    for (int i = 1; i <= 100; ++i)
        m_log.WriteRaw("line " + std::to_string(i));
    // The 100th line itself went into the backup.
    EXPECT_EQ(readFile(m_path + "1"), numberedLines(100));
    EXPECT_EQ(readFile(m_path), "");
    m_log.WriteRaw("line 101");
    EXPECT_EQ(readFile(m_path), "line 101\r\n");

    // Only CR LF pairs count at Open: 99 lines and stray LFs do not rotate.
    writeFile(m_path, numberedLines(99) + "\n\n\r");
    m_log.Open(m_path);
    EXPECT_EQ(m_log.lineCount(), 99);
    EXPECT_EQ(readFile(m_path + "1"), numberedLines(100));

    // A text with line breaks of its own counts every line it writes: 99 + 2 rotates.
    writeFile(m_path, "");
    m_log.Open(m_path);
    m_log.Enable(true);
    m_log.WriteRaw(numberedLines(98));
    EXPECT_EQ(m_log.lineCount(), 99);
    m_log.WriteRaw("a\r\nb");
    EXPECT_EQ(m_log.lineCount(), 0);
    EXPECT_EQ(lines(m_path + "1").size(), 101u);
}

TEST_F(LogTest, ConcurrentWritersNeverInterleaveOrLoseLines)
{
    m_log.Open(m_path);
    m_log.Enable(true);
    constexpr int kThreads = 4, kLines = 40; // 160 lines: exactly one rotation
    const std::string padding(300, '.');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                m_log.Write("thread " + std::to_string(t) + " line " + std::to_string(i) + padding);
        });
    for (auto& thread : threads)
        thread.join();

    auto all = lines(m_path + "1");
    EXPECT_EQ(all.size(), 100u);
    for (const auto& line : lines(m_path))
        all.push_back(line);
    std::set<std::string> seen;
    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - (thread \d line \d+)\.{300})");
    for (const auto& line : all) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        EXPECT_TRUE(seen.insert(m[1]).second) << "twice: " << m[1];
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

} // namespace
} // namespace tw
