#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "mail/mail_message.h"
#include "tests/platform/temp_dir.h"

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
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int port() const { return m_port; }
    /// The verbs the server handled, one a line ("EHLO", "AUTH", "MAIL", ...), and each EHLO
    /// name as "EHLO-NAME name".
    std::string commands() const { return readFile(m_folder.path() + "/commands"); }
    /// Messages saved so far. The server saves before it answers 250, so a send that
    /// succeeded is already counted.
    std::size_t messageCount() const;
    /// The saved files of message number (1-based): "eml", "env", "part0", ...
    std::string read(int number, const std::string& kind) const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    TempDir m_folder;
};

/// A self-signed certificate and its key for the names ("DNS:localhost,IP:127.0.0.1"), made
/// by openssl into folder as cert.pem and key.pem; false when openssl failed.
bool MakeCertificate(const std::string& folder, const std::string& names);

/// A small message from me@example.com to bob (envelope and To), whose text holds a line
/// with a lone dot.
inline CMailMessage message(const std::string& to = "bob@example.com")
{
    CMailMessage m;
    m.from = {"Tellwick", "me@example.com"};
    m.recipient = {"bob", to};
    m.to.push_back(m.recipient);
    m.subject = "Test";
    m.textParts.emplace_back("Hello\r\n.\r\nbye", "text/plain");
    return m;
}

inline bool has(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

} // namespace tw::test
