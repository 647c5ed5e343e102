#include "mainframe/test_mail.h"

#include "mail/smtp_connection.h"

namespace tw {

/// Notes a refused password, which the client otherwise reports only when the server then
/// refuses the sender.
class TestMailConnection : public CSmtpConnection
{
public:
    bool passwordRefused = false;
    std::string refusal;

protected:
    int OnWarning(int code, const std::string& reply) override
    {
        if (code == 535) {
            passwordRefused = true;
            refusal = reply;
        }
        return CSmtpConnection::OnWarning(code, reply);
    }
};

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

TestMailSender::TestMailSender() : m_connection(std::make_unique<TestMailConnection>())
{}

TestMailSender::~TestMailSender() = default;

void TestMailSender::Abort()
{
    m_connection->Abort();
}

TestMailResult SendTestMail(const TestMailAccount& account, const std::string& senderName)
{
    TestMailSender sender;
    return sender.Send(account, senderName);
}

TestMailResult TestMailSender::Send(const TestMailAccount& account, const std::string& senderName)
{
    const auto security = ParseSmtpSecurity(account.security);
    if (!security)
        return {false, "The connection security \"" + account.security + "\" is not known."};
    if (account.server.empty())
        return {false, "No SMTP server is given."};

    TestMailConnection& connection = *m_connection;
    connection.passwordRefused = false;
    connection.SetTimeout(account.timeout);
    connection.SetSecurity(*security, account.caFile);
    connection.SetAccount(account.userName, account.password);
    if (!connection.Connect(account.server))
        return {false, "Nothing was sent: " + connection.lastError() + "."};

    CMailMessage message;
    message.from = {senderName, account.from};
    message.recipient = {"", account.to};
    message.to.push_back(message.recipient);
    message.subject = senderName + " test e-mail";
    message.textParts.emplace_back("This test e-mail shows that " + senderName +
                                       " can send voice mail notifications with these settings.",
                                   "text/plain");
    const int code = connection.SendMessage(message);
    const std::string reply = trimmed(connection.lastReply());
    const std::string error = connection.lastError();
    connection.Disconnect();

    if (connection.passwordRefused) {
        return {false, "The server refused the user name or password (" +
                           trimmed(connection.refusal) + ")" +
                           (code == 0 ? ", although it took the test e-mail." : ".")};
    }
    if (code != 0)
        return {false, "The test e-mail was not sent: " +
                           (error.empty() ? "the server answered " + reply : error) + "."};
    return {true, "The test e-mail was sent to " + account.to + ". The server answered: " + reply};
}

} // namespace tw
