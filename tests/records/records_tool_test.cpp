#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(TW_BINARY_DIR) + "/bin/tellwick-tool";

/// Runs the tool with TZ fixed; returns its standard output and exit status.
std::pair<std::string, int> runTool(const std::string& arguments)
{
    const std::string command = "TZ=Europe/Berlin " + kTool + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {"", -1};
    std::string out;
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(RecordsToolTest, ListsInfoAndRebuild)
{
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tellwick-tool is not built";
    test::ScopedTimeZone tz("Europe/Berlin");
    test::TempFolder dir;
    auto talk = test::makeRecordFile(dir.path(), RECORD_CONVERSATION,
                                     test::localTime(2007, 7, 21, 9, 0, 0), 60, "ann");
    auto mail = test::makeRecordFile(dir.path(), RECORD_VOICEMAIL,
                                     test::localTime(2007, 7, 20, 9, 0, 0), 30, "bob");
    mail.SetAnnotation("two\tparts");
    {
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(dir.path()));
        ASSERT_TRUE(index.UpdateRecord(mail.startTime,
                                       [&](RecordInfo& r) { r.SetAnnotation("two\tparts"); }));
        ASSERT_TRUE(index.Save());
    }
    auto [out, status] = runTool("records list '" + dir.path() + "'");
    ASSERT_EQ(status, 0);
    auto rows = lines(out);
    ASSERT_EQ(rows.size(), 2u);
    const std::string expected =
        std::to_string(mail.startTime) + "\t" + std::to_string(mail.endTime) + "\t1\t0\t" +
        std::to_string(mail.size) + "\tbob\t\t\ttwo\\tparts\t" + mail.Path();
    EXPECT_EQ(rows[0], expected);
    EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), std::to_string(talk.startTime));

    std::tie(out, status) = runTool("records list '" + dir.path() + "' --type 2");
    EXPECT_EQ(lines(out).size(), 1u);
    std::tie(out, status) = runTool("records list '" + dir.path() + "' --search TWO");
    EXPECT_EQ(lines(out).size(), 1u);
    std::tie(out, status) = runTool("records list '" + dir.path() + "' --type 7");
    EXPECT_NE(status, 0);

    // The chunk of a file written by the scan carries the same columns.
    std::tie(out, status) = runTool("records info '" + talk.Path() + "'");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(lines(out), std::vector<std::string>{rows[1]});
    std::tie(out, status) = runTool("records info '" + dir.path() + "/none.wav'");
    EXPECT_EQ(status, 1);

    // A rebuild keeps what the index held; a folder without an index gets one written.
    std::tie(out, status) = runTool("records rebuild '" + dir.path() + "'");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out, "2 records\n");
    std::tie(out, status) = runTool("records list '" + dir.path() + "' --search parts");
    EXPECT_EQ(lines(out).size(), 1u); // the annotation lives only in the index
    fs::remove(dir / "twkrdb.ndx");
    std::tie(out, status) = runTool("records list '" + dir.path() + "' --type 1");
    ASSERT_EQ(lines(out).size(), 1u);
    EXPECT_TRUE(fs::exists(dir / "twkrdb.ndx"));
}

} // namespace
} // namespace tw
