#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tw::test {

/// The loopback SMTP server of smtp_server.py, run by the system's own Python (which has
/// aiosmtpd), in a child process that ends with this object.
class SmtpServerProcess
{
public:
    /// Starts the server with the extra arguments; isRunning() tells whether it came up.
    explicit SmtpServerProcess(const std::vector<std::string>& arguments = {});
    ~SmtpServerProcess();

    bool isRunning() const { return m_port != 0; }
    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    const std::string& folder() const { return m_folder; }

    /// Messages saved so far. The server saves before it answers 250, so a send that
    /// succeeded is already counted.
    std::size_t messageCount() const;
    /// The saved files of message number (1-based): "eml", "env", "part0", ...
    std::string read(int number, const std::string& kind) const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_folder;
};

/// A fresh temporary folder, removed with everything in it by the destructor.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
bool FileIsExecutable(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace tw::test
