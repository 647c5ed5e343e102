#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace tw {

/// What the E-mail Settings dialog holds when the user asks for a test mail.
struct TestMailAccount
{
    std::string server; ///< "host" or "host:port"
    std::string userName;
    std::string password;
    std::string from;
    std::string to;
    std::string security = "automatic"; ///< as the "EmailSecurity" setting
    std::string caFile;
    std::chrono::milliseconds timeout{20000};
};

struct TestMailResult
{
    bool sent = false;
    /// For the user, in plain words: what the server answered, or why nothing was sent.
    std::string words;
};

class TestMailConnection;

/// Sends one test mail; Abort() may come from another thread and ends the send at once (the
/// dialog that asked is closing).
class TestMailSender
{
public:
    TestMailSender();
    ~TestMailSender();
    TestMailSender(const TestMailSender&) = delete;
    TestMailSender& operator=(const TestMailSender&) = delete;

    TestMailResult Send(const TestMailAccount& account, const std::string& senderName);
    void Abort();

private:
    std::unique_ptr<TestMailConnection> m_connection;
};

/// Sends one short mail from "from" to "to" through the same SMTP client as the voice mails,
/// with the same security rules. Blocks for up to a few time-outs: call it off the UI thread.
/// A refused user name or password is a failure even when the server took the mail anyway.
TestMailResult SendTestMail(const TestMailAccount& account, const std::string& senderName);

} // namespace tw
