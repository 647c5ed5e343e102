// Composing the notification with a 5 MB attachment, timed against coreutils' base64
// encoding the same bytes (its output to /dev/null, as ours stays in memory). The figure
// that matters is the ratio of the medians; the target is at most 1.5.
//
// Run: tw_mail_bench [runs]   (prints the medians and the ratio; exits 1 above the target)

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

bool runCoreutilsBase64(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string program = "/usr/bin/base64", file = path;
    char* argv[] = {program.data(), file.data(), nullptr};
    pid_t pid;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
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

    std::vector<double> compose, encode, coreutils;
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
            composedSize = tw::ComposeMessageText(message).size();
        }));
        encode.push_back(timeMs([&] {
            std::string out;
            tw::CBase64::EncodeLines(bytes.data(), bytes.size(), 76, out);
        }));
        bool ok = true;
        coreutils.push_back(timeMs([&] { ok = runCoreutilsBase64(path); }));
        if (!ok) {
            std::fprintf(stderr, "coreutils base64 did not run\n");
            return 2;
        }
    }
    ::unlink(path.c_str());
    ::rmdir(folder);

    const double ratio = median(compose) / median(coreutils);
    std::printf("attachment             %zu bytes, message %zu bytes, %d runs (medians)\n", size,
                composedSize, runs);
    std::printf("compose (read+encode)  %8.2f ms\n", median(compose));
    std::printf("base64 encode only     %8.2f ms\n", median(encode));
    std::printf("coreutils base64       %8.2f ms (process included)\n", median(coreutils));
    std::printf("ratio compose/base64   %8.2f (target <= 1.5)\n", ratio);
    return ratio <= 1.5 ? 0 : 1;
}
