#include "smtp_server_process.h"

#include <cstdio>
#include <filesystem>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tw::test {

SmtpServerProcess::SmtpServerProcess(const std::vector<std::string>& arguments)
{
    std::vector<std::string> args = {"/usr/bin/python3", TW_SOURCE_DIR "/tests/mail/smtp_server.py",
                                     "--folder", m_folder.path()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The first line is the port; a server that failed to start closes the pipe instead.
    FILE* in = ::fdopen(out[0], "r");
    char line[32] = "";
    if (m_pid > 0 && std::fgets(line, sizeof line, in) != nullptr)
        m_port = std::atoi(line);
    std::fclose(in);
}

SmtpServerProcess::~SmtpServerProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::size_t SmtpServerProcess::messageCount() const
{
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.path(), error))
        count += entry.path().extension() == ".eml";
    return count;
}

std::string SmtpServerProcess::read(int number, const std::string& kind) const
{
    return readFile(m_folder.path() + "/" + std::to_string(10000 + number).substr(1) + "." + kind);
}

} // namespace tw::test

namespace tw::test {

bool MakeCertificate(const std::string& folder, const std::string& names)
{
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=tellwick-test -addext subjectAltName=" +
        names + " -keyout " + folder + "/key.pem -out " + folder + "/cert.pem >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace tw::test
