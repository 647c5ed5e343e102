#include "audio/lame_runner.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tw {

std::vector<std::string> splitOptions(const std::string& options)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const char c = options[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < options.size() &&
                       (options[i + 1] == '"' || options[i + 1] == '\\')) {
                word.push_back(options[++i]);
            } else {
                word.push_back(c);
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    // An unclosed quote ends with the text, as the whole rest of the line.
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string formatLameTitle(std::time_t start)
{
    std::tm local{};
    ::localtime_r(&start, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::vector<std::string> buildLameArguments(const std::string& program, const std::string& options,
                                            std::time_t start, const std::string& source,
                                            const std::string& target)
{
    std::vector<std::string> argv{program};
    for (auto& word : splitOptions(options))
        argv.push_back(std::move(word));
    argv.insert(argv.end(), {"--tt", formatLameTitle(start), "--tc", kLameComment, source, target});
    return argv;
}

std::string formatCommandLine(const std::vector<std::string>& argv)
{
    std::string line;
    for (const auto& arg : argv) {
        if (!line.empty())
            line.push_back(' ');
        if (!arg.empty() && arg.find_first_of(" \t\"\\") == std::string::npos) {
            line += arg;
            continue;
        }
        line.push_back('"');
        for (char c : arg) {
            if (c == '"' || c == '\\')
                line.push_back('\\');
            line.push_back(c);
        }
        line.push_back('"');
    }
    return line;
}

std::string ProgramRun::describe() const
{
    if (!started)
        return "could not be started (" + error + ")";
    if (timedOut)
        return "did not finish in time and was stopped";
    std::string text;
    if (signal != 0)
        text = "was ended by signal " + std::to_string(signal);
    else if (exitCode != 0)
        text = "failed with exit status " + std::to_string(exitCode);
    else
        return "succeeded";
    if (!errorOutput.empty())
        text += ": " + errorOutput;
    return text;
}

namespace {

struct SpawnSetup
{
    posix_spawn_file_actions_t actions{};
    bool ok = false;
    SpawnSetup() { ok = posix_spawn_file_actions_init(&actions) == 0; }
    ~SpawnSetup()
    {
        if (ok)
            posix_spawn_file_actions_destroy(&actions);
    }
};

void keepTail(std::string& text, const char* data, std::size_t size)
{
    constexpr std::size_t kKeep = 400;
    text.append(data, size);
    if (text.size() > kKeep)
        text.erase(0, text.size() - kKeep);
}

void trimLine(std::string& text)
{
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
}

} // namespace

ProgramRun runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    ProgramRun run;
    if (argv.empty() || argv[0].empty()) {
        run.error = "no program";
        return run;
    }
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        run.error = std::strerror(errno);
        return run;
    }
    SpawnSetup setup;
    if (!setup.ok ||
        posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0) != 0 ||
        posix_spawn_file_actions_adddup2(&setup.actions, errPipe[1], 2) != 0 ||
        posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3) != 0) {
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        run.error = "cannot prepare the process";
        return run;
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &setup.actions, nullptr, args.data(), environ);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(errPipe[0]);
        run.error = std::strerror(rc);
        return run;
    }
    run.started = true;

    // Read standard error until it closes or the time is up; the poll doubles as the wait.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool pipeOpen = true;
    int status = 0;
    bool reaped = false;
    while (!reaped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            reaped = true;
            break;
        }
        if (pipeOpen) {
            pollfd pfd{errPipe[0], POLLIN, 0};
            const int n = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 200)));
            if (n > 0) {
                char buffer[512];
                const ssize_t got = ::read(errPipe[0], buffer, sizeof buffer);
                if (got > 0)
                    keepTail(run.errorOutput, buffer, static_cast<std::size_t>(got));
                else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                    pipeOpen = false;
            }
        } else {
            // The program closed its standard error (or handed it on); poll for its end.
            ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left.count(), 20)));
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            reaped = true;
        else if (done < 0 && errno != EINTR)
            break;
    }
    ::close(errPipe[0]);
    if (reaped && !run.timedOut) {
        if (WIFEXITED(status))
            run.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            run.signal = WTERMSIG(status);
    } else if (!reaped) {
        run.error = "lost track of the process";
        run.signal = -1;
    }
    trimLine(run.errorOutput);
    return run;
}

} // namespace tw
