// `tellwick-tool records list FOLDER --search TEXT` over a 100 000-record index beside `cat`
// of the same index file, timed in one run, so the ratio does not depend on the machine.
// The records are MP3 entries without audio files: listing reads only the index.
//
//   tw_records_list_bench [FOLDER]      (default: a folder made below $TMPDIR and removed)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "records/record_index.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 100000;
constexpr int kRuns = 7;

double run(const std::vector<std::string>& argv)
{
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const bool own = argc < 2;
    const std::string folder =
        own ? (std::filesystem::temp_directory_path() / "tw-list-bench").string() : argv[1];
    std::filesystem::create_directories(folder);
    const std::string index = folder + "/twkrdb.ndx";
    struct stat st
    {
    };
    if (stat(index.c_str(), &st) != 0) {
        tw::CRecordIndex records;
        records.OpenFolder(folder);
        const std::uint32_t first = 1104537600; // 2005-01-01
        for (int i = 0; i < kRecords; ++i) {
            tw::RecordInfo info;
            info.type = i % 3 == 0 ? tw::RECORD_CONVERSATION : tw::RECORD_VOICEMAIL;
            info.startTime = first + std::uint32_t(i) * 900;
            info.endTime = info.startTime + 30 + std::uint32_t(i % 600);
            info.SetSkypeName("user" + std::to_string(i % 5000));
            info.SetFullName("User " + std::to_string(i % 5000));
            info.SetPath(folder + "/r" + std::to_string(i) + ".mp3");
            records.AddRecord(info);
        }
        records.Save();
        stat(index.c_str(), &st);
    }
    // A name, and a piece of a date that only the Time texts hold (they must be formatted).
    std::vector<double> cat, list, dates;
    for (int i = 0; i < kRuns; ++i) {
        cat.push_back(run({"cat", index}));
        list.push_back(run({TW_TOOL_PATH, "records", "list", folder, "--search", "user123"}));
        dates.push_back(run({TW_TOOL_PATH, "records", "list", folder, "--search", "/01/0"}));
    }
    const double c = median(cat), l = median(list), d = median(dates);
    std::printf("index %s: %.1f MB, %d records\n", index.c_str(), st.st_size / 1e6, kRecords);
    std::printf("cat                                          %8.1f ms (median of %d)\n", c, kRuns);
    std::printf("tellwick-tool records list --search user123  %8.1f ms (median of %d)\n", l, kRuns);
    std::printf("tellwick-tool records list --search /01/0    %8.1f ms (median of %d)\n", d, kRuns);
    std::printf("ratio %.2f (target at most 3); with Time texts %.2f\n", l / c, d / c);
    if (own)
        std::filesystem::remove_all(folder);
    return 0;
}
