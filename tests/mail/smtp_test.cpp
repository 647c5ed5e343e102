// The SMTP client against a real server on loopback: greeting, EHLO and HELO, AUTH LOGIN,
// refusals, time-outs, and text that tries to smuggle commands into the dialogue.
#include <gtest/gtest.h>

#include "app/log.h"
#include "mail/base64.h"
#include "mail/smtp_connection.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using test::readFile;
using test::SmtpServerProcess;
using test::TempFolder;

class RecordingConnection : public CSmtpConnection
{
public:
    std::vector<int> errors;
    std::vector<int> warnings;
    std::vector<std::size_t> progress;

protected:
    int OnError(int code, const std::string&) override
    {
        errors.push_back(code);
        return 0;
    }
    int OnWarning(int code, const std::string&) override
    {
        warnings.push_back(code);
        return 0;
    }
    int OnProgress(std::string_view, std::size_t sent, std::size_t) override
    {
        progress.push_back(sent);
        return 1;
    }
};

// Every test reads the commands the client logged.
class MailSmtp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        appLog().Open(m_folder.file("Tellwick.Log"));
        appLog().Enable(true);
    }
    void TearDown() override { appLog().Close(); }
    std::string log() const { return readFile(m_folder.file("Tellwick.Log")); }

    static CMailMessage message(const std::string& to = "bob@example.com")
    {
        CMailMessage m;
        m.from = {"Tellwick", "me@example.com"};
        m.recipient = {"bob", to};
        m.to.push_back(m.recipient);
        m.subject = "Test";
        m.textParts.emplace_back("Hello\r\n.\r\nbye", "text/plain");
        return m;
    }

    TempFolder m_folder;
};

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(MailSmtp, AuthLoginWithTheRightPasswordSendsAndMasksTheAnswers)
{
    SmtpServerProcess server({"--user", "alice", "--password", "s3cret"});
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    connection.SetAccount("alice", "s3cret");
    ASSERT_TRUE(connection.Connect(server.address()));
    EXPECT_TRUE(connection.isExtended());
    CMailMessage m = message();
    EXPECT_EQ(connection.SendMessage(m), 0);
    connection.Disconnect();
    EXPECT_TRUE(connection.errors.empty());

    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "env"), "me@example.com\nbob@example.com");
    // The server undid the dot-stuffing: the lone dot line arrived as it was written.
    EXPECT_NE(server.read(1, "eml").find("\r\n\r\nHello\r\n.\r\nbye\r\n"), std::string::npos);

    const std::string text = log();
    EXPECT_NE(text.find("EHLO "), std::string::npos);
    EXPECT_NE(text.find("AUTH LOGIN\r\n********\r\n********\r\nMAIL FROM: <me@example.com>\r\n"
                        "RCPT TO: <bob@example.com>\r\nDATA\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("QUIT\r\n"), std::string::npos);
    for (const std::string& secret :
         {std::string("s3cret"), CBase64::Encode("s3cret"), CBase64::Encode("alice")})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
}

TEST_F(MailSmtp, AuthLoginPromptsAreAnsweredByWhatTheyNameOrByTheirOrder)
{
    // Reversed named prompts prove the wording decides; unknown words fall back to order.
    for (const char* prompts : {"Password:,Username:", "Benutzername,Kennwort"}) {
        const bool reversed = prompts[0] == 'P';
        SmtpServerProcess server({"--user", reversed ? "s3cret" : "alice", "--password",
                                  reversed ? "alice" : "s3cret", "--login-prompts", prompts});
        ASSERT_TRUE(server.isRunning());
        RecordingConnection connection;
        connection.SetAccount("alice", "s3cret");
        ASSERT_TRUE(connection.Connect(server.address()));
        CMailMessage m = message();
        EXPECT_EQ(connection.SendMessage(m), 0) << prompts;
        EXPECT_TRUE(connection.errors.empty()) << prompts;
        EXPECT_EQ(server.messageCount(), 1u) << prompts;
    }
}

TEST_F(MailSmtp, AuthLoginWithAWrongPasswordIsRefusedAndRetriesAreBounded)
{
    SmtpServerProcess server({"--user", "alice", "--password", "s3cret"});
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    connection.SetAccount("alice", "wrong");
    ASSERT_TRUE(connection.Connect(server.address()));
    CMailMessage m = message();
    EXPECT_EQ(connection.SendMessage(m), 530);
    EXPECT_EQ(connection.errors.front(), 535);
    EXPECT_EQ(connection.errors.back(), 530);
    EXPECT_EQ(server.messageCount(), 0u);
    // One MAIL FROM and a bounded number of tries after authenticating again.
    EXPECT_EQ(count(log(), "MAIL FROM:"), 3u);
    EXPECT_EQ(log().find("wrong"), std::string::npos);
}

TEST_F(MailSmtp, RefusedRecipientDoesNotStopTheOthers)
{
    SmtpServerProcess server({"--refuse-rcpt", "bob@example.com"});
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    ASSERT_TRUE(connection.Connect(server.address()));
    CMailMessage m = message();
    m.cc.push_back({"", "carol@example.com"});
    EXPECT_EQ(connection.SendMessage(m), 0);
    EXPECT_EQ(connection.warnings, std::vector<int>{550});
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "env"), "me@example.com\ncarol@example.com");

    CMailMessage alone = message();
    EXPECT_EQ(connection.SendMessage(alone), 550);
    EXPECT_EQ(server.messageCount(), 1u);
    // The connection is still good for the next message.
    CMailMessage next = message("dave@example.com");
    EXPECT_EQ(connection.SendMessage(next), 0);
    EXPECT_EQ(server.messageCount(), 2u);
}

TEST_F(MailSmtp, RefusedEhloFallsBackToHeloWithoutAuthentication)
{
    SmtpServerProcess server({"--refuse-ehlo"});
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    connection.SetAccount("alice", "s3cret");
    ASSERT_TRUE(connection.Connect(server.address()));
    EXPECT_TRUE(connection.isGreeted());
    EXPECT_FALSE(connection.isExtended());
    CMailMessage m = message();
    EXPECT_EQ(connection.SendMessage(m), 0);
    EXPECT_EQ(server.messageCount(), 1u);
    const std::string text = log();
    EXPECT_LT(text.find("EHLO "), text.find("HELO "));
    EXPECT_EQ(text.find("AUTH"), std::string::npos);
}

TEST_F(MailSmtp, SilentServerTimesOutAndUnreachableServerFails)
{
    SmtpServerProcess server({"--silent"});
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    connection.SetTimeout(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.Connect(server.address()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(connection.errors, std::vector<int>{-1});
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(log().find("QUIT"), std::string::npos);

    EXPECT_FALSE(connection.Connect("no-such-host.invalid"));
    EXPECT_FALSE(connection.Connect("127.0.0.1:1"));
}

TEST_F(MailSmtp, LineBreaksCannotSmuggleCommands)
{
    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    ASSERT_TRUE(connection.Connect(server.address()));

    CMailMessage forgedRecipient = message("bob@example.com>\r\nRCPT TO:<evil@example.com");
    EXPECT_EQ(connection.SendMessage(forgedRecipient), -1);
    CMailMessage forgedSender = message();
    forgedSender.from.address = "me@example.com>\r\nRCPT TO:<evil@example.com";
    EXPECT_EQ(connection.SendMessage(forgedSender), -1);
    EXPECT_EQ(log().find("evil"), std::string::npos);

    // A subject that would end the data early and start a second mail stays one header.
    CMailMessage forgedSubject = message();
    forgedSubject.subject =
        "Hi\r\n.\r\nMAIL FROM:<evil@example.com>\r\nRCPT TO:<evil@example.com>\r\nDATA\r\n";
    forgedSubject.to[0].displayName = "bob\r\n.\r\nQUIT";
    EXPECT_EQ(connection.SendMessage(forgedSubject), 0);
    connection.Disconnect();
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "env"), "me@example.com\nbob@example.com");
    EXPECT_NE(server.read(1, "eml").find("Subject: Hi  .  MAIL FROM:<evil@example.com>  RCPT"),
              std::string::npos);
}

TEST_F(MailSmtp, LongTextGoesOutInPiecesOf1024Bytes)
{
    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    RecordingConnection connection;
    ASSERT_TRUE(connection.Connect(server.address()));
    CMailMessage m = message();
    m.textParts[0].text.assign(2900, 'x'); // long lines: quoted-printable, a bit over 3000
    EXPECT_EQ(connection.SendMessage(m), 0);
    ASSERT_GE(connection.progress.size(), 3u);
    for (std::size_t i = 0; i + 1 < connection.progress.size(); ++i)
        EXPECT_EQ(connection.progress[i], 1024 * (i + 1));
    EXPECT_LE(connection.progress.back() - connection.progress[connection.progress.size() - 2],
              1024u);
    EXPECT_EQ(server.messageCount(), 1u);
}

TEST(MailServerName, Forms)
{
    const auto check = [](const char* server, const char* host, const char* port) {
        const ServerName name = ParseServerName(server, 25);
        EXPECT_EQ(name.host, host) << server;
        EXPECT_EQ(name.port, port) << server;
    };
    check("smtp.example.com", "smtp.example.com", "25");
    check("smtp.example.com:587", "smtp.example.com", "587");
    check("smtp.example.com:", "smtp.example.com", "25");
    check("[::1]:2525", "::1", "2525");
    check("[::1]", "::1", "25");
    check("fe80::1", "fe80::1", "25");
}

} // namespace
} // namespace tw
