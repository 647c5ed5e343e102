// The SMTP client against a real server on loopback: EHLO and HELO, AUTH LOGIN, refusals,
// time-outs, and text that tries to smuggle commands into the dialogue.
#include <regex>

#include <gtest/gtest.h>

#include "app/log.h"
#include "mail/base64.h"
#include "mail/smtp_connection.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using test::has;
using test::message;
using test::SmtpServerProcess;

class RecordingConnection : public CSmtpConnection
{
public:
    std::vector<int> errors, warnings;
    std::vector<std::size_t> progress;

protected:
    int OnError(int code, const std::string&) override { return errors.push_back(code), 0; }
    int OnWarning(int code, const std::string&) override { return warnings.push_back(code), 0; }
    int OnProgress(std::string_view, std::size_t sent, std::size_t) override
    {
        return progress.push_back(sent), 1;
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
    std::string log() const { return test::readFile(m_folder.file("Tellwick.Log")); }
    // Connects to a new server started with the arguments; the message's result.
    int sendTo(const std::vector<std::string>& arguments, const std::string& user = "",
               const std::string& password = "", CMailMessage m = message())
    {
        m_server = std::make_unique<SmtpServerProcess>(arguments);
        m_connection.SetAccount(user, password);
        return m_connection.Connect(m_server->address()) ? m_connection.SendMessage(m) : -3;
    }

    test::TempDir m_folder;
    std::unique_ptr<SmtpServerProcess> m_server;
    RecordingConnection m_connection;
};

TEST_F(MailSmtp, AuthLoginAnswersPromptsByWhatTheyNameOrByOrderAndMasksTheAnswers)
{
    // The server's usual prompts; reversed named prompts prove the wording decides; unknown
    // words fall back to the order.
    for (const std::string prompts : {"", "Password:,Username:", "Benutzername,Kennwort"}) {
        const bool reversed = prompts[0] == 'P';
        std::vector<std::string> args = {"--user", reversed ? "s3cret" : "alice", "--password",
                                         reversed ? "alice" : "s3cret", "--no-plain"};
        if (!prompts.empty())
            args.insert(args.end(), {"--login-prompts", prompts});
        ASSERT_EQ(sendTo(args, "alice", "s3cret"), 0) << prompts;
        EXPECT_TRUE(m_connection.isExtended());
        m_connection.Disconnect();
        EXPECT_TRUE(m_connection.errors.empty()) << prompts;
    }
    ASSERT_EQ(m_server->messageCount(), 1u);
    EXPECT_EQ(m_server->read(1, "env"), "me@example.com\nbob@example.com");
    // The server undid the dot-stuffing: the lone dot line arrived as it was written.
    EXPECT_TRUE(has(m_server->read(1, "eml"), "\r\n\r\nHello\r\n.\r\nbye\r\n"));
    const std::string text = log();
    EXPECT_TRUE(has(text, "AUTH LOGIN\r\n********\r\n********\r\nMAIL FROM: <me@example.com>\r\n"
                          "RCPT TO: <bob@example.com>\r\nDATA\r\n"));
    EXPECT_TRUE(has(text, "QUIT\r\n"));
    for (const std::string& secret :
         {std::string("s3cret"), CBase64::Encode("s3cret"), CBase64::Encode("alice")})
        EXPECT_FALSE(has(text, secret)) << secret;
}

TEST_F(MailSmtp, AuthPlainWhenOfferedAndTheMailCarriesAnIdAndAQualifiedHelloName)
{
    ASSERT_EQ(sendTo({"--user", "alice", "--password", "s3cret"}, "alice", "s3cret"), 0);
    m_connection.Disconnect();
    EXPECT_TRUE(has(log(), "AUTH PLAIN ********\r\nMAIL FROM"));
    EXPECT_FALSE(has(log(), CBase64::Encode(std::string("\0alice\0s3cret", 13))));
    EXPECT_TRUE(
        std::regex_search(m_server->read(1, "eml"),
                          std::regex("\r\nMessage-ID: <[0-9a-f]+\\.[0-9a-f]+@example\\.com>\r\n")));
    // A host name with a dot, or this end's address literal: never a bare name.
    std::smatch name;
    const std::string commands = m_server->commands();
    ASSERT_TRUE(std::regex_search(commands, name, std::regex("EHLO-NAME (\\S+)")));
    EXPECT_TRUE(name[1] == "[127.0.0.1]" || has(name[1], ".")) << name[1];
    // The log holds the message's size, not its text.
    EXPECT_TRUE(std::regex_search(log(), std::regex("DATA\r\n<message of [0-9]+ bytes>\r\n")));
    EXPECT_FALSE(has(log(), "Subject"));
}

TEST_F(MailSmtp, AuthLoginWithAWrongPasswordIsRefusedAndRetriesAreBounded)
{
    EXPECT_EQ(sendTo({"--user", "alice", "--password", "s3cret", "--no-plain"}, "alice", "wrong"),
              530);
    EXPECT_EQ(m_connection.errors.front(), 535);
    EXPECT_EQ(m_connection.errors.back(), 530);
    EXPECT_EQ(m_server->messageCount(), 0u);
    // One MAIL FROM and a bounded number of tries after authenticating again.
    const std::string text = log();
    const std::regex mailFrom("MAIL FROM:");
    const auto tries = std::distance(std::sregex_iterator(text.begin(), text.end(), mailFrom), {});
    EXPECT_EQ(tries, 3);
    EXPECT_FALSE(has(text, "wrong"));
}

TEST_F(MailSmtp, RefusedRecipientDoesNotStopTheOthers)
{
    CMailMessage m = message();
    m.cc.push_back({"", "carol@example.com"});
    EXPECT_EQ(sendTo({"--refuse-rcpt", "bob@example.com"}, "", "", m), 0);
    EXPECT_EQ(m_connection.warnings, std::vector<int>{550});
    ASSERT_EQ(m_server->messageCount(), 1u);
    EXPECT_EQ(m_server->read(1, "env"), "me@example.com\ncarol@example.com");
    CMailMessage alone = message();
    EXPECT_EQ(m_connection.SendMessage(alone), 550);
    // The refusal is kept, not replaced by the reply to the RSET that follows it.
    EXPECT_EQ(m_connection.lastReply(), "550 5.1.1 Mailbox unavailable");
    EXPECT_EQ(m_connection.lastError(), "550 5.1.1 Mailbox unavailable");
    CMailMessage next = message("dave@example.com"); // the connection is still good
    EXPECT_EQ(m_connection.SendMessage(next), 0);
    EXPECT_EQ(m_server->messageCount(), 2u);
}

TEST_F(MailSmtp, RefusedEhloFallsBackToHeloWithoutAuthentication)
{
    EXPECT_EQ(sendTo({"--refuse-ehlo"}, "alice", "s3cret"), 0);
    EXPECT_TRUE(m_connection.isGreeted());
    EXPECT_FALSE(m_connection.isExtended());
    EXPECT_EQ(m_server->messageCount(), 1u);
    EXPECT_LT(log().find("EHLO "), log().find("HELO "));
    EXPECT_FALSE(has(log(), "AUTH"));
}

TEST_F(MailSmtp, SilentServerTimesOutAndUnreachableServerFails)
{
    SmtpServerProcess server({"--silent"});
    m_connection.SetTimeout(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_connection.Connect(server.address()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(m_connection.errors, std::vector<int>{-1});
    EXPECT_FALSE(m_connection.isConnected());
    EXPECT_FALSE(has(log(), "QUIT"));
    EXPECT_FALSE(m_connection.Connect("no-such-host.invalid"));
}

TEST_F(MailSmtp, LineBreaksInAddressesCannotSmuggleCommandsAndDataGoesIn1024BytePieces)
{
    CMailMessage forgedSender = message();
    forgedSender.from.address = "me@example.com>\r\nRCPT TO:<evil@example.com";
    EXPECT_EQ(sendTo({}, "", "", forgedSender), -1);
    CMailMessage forgedRecipient = message("bob@example.com>\r\nRCPT TO:<evil@example.com");
    EXPECT_EQ(m_connection.SendMessage(forgedRecipient), -1);
    EXPECT_FALSE(has(log(), "evil"));

    CMailMessage m = message();
    m.textParts[0].text.assign(2900, 'x'); // long lines: quoted-printable, a bit over 3000
    EXPECT_EQ(m_connection.SendMessage(m), 0);
    const auto& sent = m_connection.progress;
    ASSERT_GE(sent.size(), 3u);
    for (std::size_t i = 0; i + 1 < sent.size(); ++i)
        EXPECT_EQ(sent[i], 1024 * (i + 1));
    EXPECT_LE(sent.back() - sent[sent.size() - 2], 1024u);
    EXPECT_EQ(m_server->messageCount(), 1u);
}

TEST(MailServerName, Forms)
{
    const auto parsed = [](const char* server) {
        const ServerName name = ParseServerName(server, 25);
        return name.host + " " + name.port;
    };
    EXPECT_EQ(parsed("smtp.example.com"), "smtp.example.com 25");
    EXPECT_EQ(parsed("smtp.example.com:"), "smtp.example.com 25");
    EXPECT_EQ(parsed("[::1]:2525"), "::1 2525");
    EXPECT_EQ(parsed("[::1]"), "::1 25");
    EXPECT_EQ(parsed("fe80::1"), "fe80::1 25");
}

} // namespace
} // namespace tw
