#include <cstdio>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "records/record_index.h"
#include "tests/records/test_util.h"

namespace tw {
namespace {

using namespace test;

const std::string kTool = std::string(TW_BINARY_DIR) + "/bin/tellwick-tool";

/// Runs the tool on Berlin time (in folder, when given); its standard output split in
/// lines, and its exit status.
std::pair<std::vector<std::string>, int> runTool(const std::string& arguments,
                                                 const std::string& folder = {})
{
    const std::string command = (folder.empty() ? "" : "cd '" + folder + "' && ") +
                                "TZ=Europe/Berlin " + kTool + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (const std::size_t n = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0)
        out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return {lines, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(RecordFolderTest, ToolListsInfoAndRebuilds)
{
    if (!exists(kTool))
        GTEST_SKIP() << "tellwick-tool is not built";
    const auto talk = rec(RECORD_CONVERSATION, at(2007, 7, 21, 9), 60, "ann");
    const auto mail = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 30, "bob");
    {
        CRecordIndex index;
        ASSERT_TRUE(index.OpenFolder(m_dir.path()));
        ASSERT_TRUE(index.UpdateRecord(mail.startTime,
                                       [&](RecordInfo& r) { r.SetAnnotation("two\tparts"); }));
        ASSERT_TRUE(index.Save());
    }
    const std::string list = "records list '" + m_dir.path() + "'";
    auto [rows, status] = runTool(list);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], std::to_string(mail.startTime) + "\t" + std::to_string(mail.endTime) +
                           "\t1\t0\t" + std::to_string(readFile(mail.Path()).size()) +
                           "\tbob\t\t\ttwo\\tparts\t" + mail.Path());
    EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), std::to_string(talk.startTime));
    EXPECT_EQ(runTool(list + " --type 2").first.size(), 1u);
    EXPECT_EQ(runTool(list + " --search TWO").first.size(), 1u);
    EXPECT_NE(runTool(list + " --type 7").second, 0);

    // The chunk of a file written by the scan carries the same columns.
    EXPECT_EQ(runTool("records info '" + talk.Path() + "'"),
              std::make_pair(std::vector<std::string>{rows[1]}, 0));
    EXPECT_EQ(runTool("records info '" + m_dir.file("none.wav") + "'").second, 1);

    // A rebuild keeps what the index held; a folder without an index gets one written.
    EXPECT_EQ(runTool("records rebuild '" + m_dir.path() + "'"),
              std::make_pair(std::vector<std::string>{"2 records"}, 0));
    EXPECT_EQ(runTool(list + " --search parts").first.size(), 1u); // only in the index
    std::filesystem::remove(m_dir.file("twkrdb.ndx"));
    EXPECT_EQ(runTool(list + " --type 1").first.size(), 1u);
    EXPECT_TRUE(exists(m_dir.file("twkrdb.ndx")));
}

TEST_F(RecordFolderTest, ToolStoresAbsolutePathsForARelativeFolder)
{
    if (!exists(kTool))
        GTEST_SKIP() << "tellwick-tool is not built";
    const auto mail = rec(RECORD_VOICEMAIL, at(2007, 7, 20, 9), 30, "bob");
    const std::string parent = std::filesystem::path(m_dir.path()).parent_path();
    const std::string relative = std::filesystem::path(m_dir.path()).filename().string() + "/./";
    auto [rows, status] = runTool("records list '" + relative + "'", parent);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(rows[0].rfind('\t') + 1), mail.Path());
    RecordInfo chunk;
    ASSERT_TRUE(ReadRecordInfo(mail.Path(), chunk));
    EXPECT_EQ(chunk.Path(), mail.Path());
    CRecordIndex index;
    ASSERT_TRUE(index.OpenFolder(m_dir.path()));
    EXPECT_EQ(index.FindRecord(mail.startTime)->Path(), mail.Path());
}

} // namespace
} // namespace tw
