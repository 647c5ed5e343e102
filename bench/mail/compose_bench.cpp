// Composing the notification with a 5 MB attachment, side by side with coreutils' base64
// encoding the same bytes: the whole `tellwick-tool mail compose` process against the whole
// `base64` process, both writing to /dev/null, and the composer alone in this process. The
// figure that matters is the ratio of the process medians; the target is at most 1.5.
//
// Run: tw_mail_bench [runs]   (prints the medians and the ratios; exits 1 above the target)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mail/base64.h"
#include "mail/mail_compose.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Fn> double timeMs(Fn fn)
{
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the program with its output into /dev/null; true when it exited 0.
bool runToNull(std::vector<std::string> args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    const std::size_t size = 5 * 1024 * 1024;

    // Noise stands for audio: it takes the base64 path, as every recording does.
    std::string bytes(size, '\0');
    std::mt19937 random(42);
    for (auto& b : bytes)
        b = static_cast<char>(random() & 0xFF);
    char folder[] = "/tmp/tw-mail-bench-XXXXXX";
    if (!::mkdtemp(folder))
        return 2;
    const std::string path = std::string(folder) + "/voicemail_em.wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    } else {
        return 2;
    }

    const std::vector<std::string> tool = {
        TW_TOOL,      "mail",           "compose",     "--from-name",     "Tellwick",
        "--from",     "me@example.com", "--to",        "bob@example.com", "--subject",
        "Voice mail", "--body",         "Voice mail.", "--attach",        path};
    std::vector<double> compose, encode, coreutils, toolRuns;
    std::size_t composedSize = 0;
    for (int i = 0; i < runs; ++i) {
        compose.push_back(timeMs([&] {
            tw::CMailMessage message;
            message.from = {"Tellwick", "me@example.com"};
            message.recipient = {"bob", "bob@example.com"};
            message.to.push_back(message.recipient);
            message.subject = "Voice mail from caller1 at 2007/05/01 14:30:00.";
            message.textParts.emplace_back(message.subject, "text/plain");
            message.attachments.emplace_back(path);
            // Streamed as the SMTP client and the tool do; the sink only counts.
            composedSize = 0;
            tw::ComposeMessage(message, 1, [&](std::string_view piece) {
                composedSize += piece.size();
                return true;
            });
        }));
        encode.push_back(timeMs([&] {
            std::string out;
            tw::CBase64::EncodeLines(bytes.data(), bytes.size(), 76, out);
        }));
        bool ok = true, toolOk = true;
        coreutils.push_back(timeMs([&] { ok = runToNull({"/usr/bin/base64", path}); }));
        toolRuns.push_back(timeMs([&] { toolOk = runToNull(tool); }));
        if (!ok || !toolOk) {
            std::fprintf(stderr, "%s did not run\n", ok ? TW_TOOL : "coreutils base64");
            return 2;
        }
    }
    ::unlink(path.c_str());
    ::rmdir(folder);

    const double ratio = median(toolRuns) / median(coreutils);
    std::printf("attachment             %zu bytes, message %zu bytes, %d runs (medians)\n", size,
                composedSize, runs);
    std::printf("compose, streamed      %8.2f ms (in process)\n", median(compose));
    std::printf("base64 encode only     %8.2f ms\n", median(encode));
    std::printf("coreutils base64       %8.2f ms (process included)\n", median(coreutils));
    std::printf("tellwick-tool compose  %8.2f ms (process included)\n", median(toolRuns));
    std::printf("ratio compose/base64   %8.2f (in process, for reference)\n",
                median(compose) / median(coreutils));
    std::printf("ratio tool/base64      %8.2f (processes side by side; target <= 1.5)\n", ratio);
    return ratio <= 1.5 ? 0 : 1;
}
