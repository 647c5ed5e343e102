// The SMTP client's protection against a real server on loopback with a certificate made
// for the test: STARTTLS and TLS from the start, certificate and host-name checks, a server
// that cannot encrypt, and servers that break the handshake.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include "mail/smtp_connection.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using test::has;
using test::message;
using test::SmtpServerProcess;

class MailTls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::MakeCertificate(m_good.path(), "DNS:localhost,IP:127.0.0.1"));
        ASSERT_TRUE(test::MakeCertificate(m_other.path(), "DNS:other.example"));
    }
    // A server with the certificate of folder (STARTTLS unless implicit) and an account.
    void start(const test::TempDir& folder, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--cert",     folder.file("cert.pem"),
                                         "--key",      folder.file("key.pem"),
                                         "--user",     "alice",
                                         "--password", "s3cret"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_server = std::make_unique<SmtpServerProcess>(args);
        ASSERT_TRUE(m_server->isRunning());
    }
    bool connect(SmtpSecurity security, const std::string& caFile)
    {
        m_connection.SetAccount("alice", "s3cret");
        m_connection.SetSecurity(security, caFile);
        return m_connection.Connect("localhost:" + std::to_string(m_server->port()));
    }
    void expectDelivered()
    {
        CMailMessage m = message();
        EXPECT_EQ(m_connection.SendMessage(m), 0) << m_connection.lastError();
        EXPECT_TRUE(m_connection.isEncrypted());
        m_connection.Disconnect();
        EXPECT_EQ(m_server->messageCount(), 1u);
        EXPECT_TRUE(has(m_server->commands(), "AUTH"));
    }
    // Refused before any credentials were sent, with a reason that says what happened.
    void expectRefused(const std::string& reason)
    {
        EXPECT_TRUE(has(m_connection.lastError(), reason)) << m_connection.lastError();
        EXPECT_FALSE(m_connection.isConnected());
        EXPECT_FALSE(has(m_server->commands(), "AUTH"));
        EXPECT_EQ(m_server->messageCount(), 0u);
    }

    test::TempDir m_good, m_other;
    std::unique_ptr<SmtpServerProcess> m_server;
    CSmtpConnection m_connection;
};

TEST_F(MailTls, StartTlsAndTlsFromTheStartDeliverWithAuthentication)
{
    for (const SmtpSecurity security : {SmtpSecurity::StartTls, SmtpSecurity::Automatic}) {
        start(m_good);
        ASSERT_TRUE(connect(security, m_good.file("cert.pem"))) << m_connection.lastError();
        expectDelivered();
        // The server saw a greeting before and after STARTTLS.
        const std::string commands = m_server->commands();
        EXPECT_LT(commands.find("EHLO-NAME"), commands.rfind("EHLO-NAME"));
    }
    start(m_good, {"--implicit-tls"});
    ASSERT_TRUE(connect(SmtpSecurity::Tls, m_good.file("cert.pem"))) << m_connection.lastError();
    expectDelivered();
}

TEST_F(MailTls, CertificatesThatDoNotProveTheServerAreRefused)
{
    start(m_other);
    EXPECT_FALSE(connect(SmtpSecurity::Automatic, m_other.file("cert.pem")));
    expectRefused("not trusted for localhost (hostname mismatch)");
    // Without the extra CA file the system's trust store does not know the certificate.
    start(m_good, {"--implicit-tls"});
    EXPECT_FALSE(connect(SmtpSecurity::Tls, ""));
    expectRefused("self-signed certificate");
    EXPECT_FALSE(connect(SmtpSecurity::Tls, m_good.file("no-such.pem")));
    EXPECT_TRUE(has(m_connection.lastError(), "cannot be read"));
}

TEST_F(MailTls, StartTlsRequiredOfAServerWithoutItSendsNothing)
{
    m_server = std::make_unique<SmtpServerProcess>(
        std::vector<std::string>{"--user", "alice", "--password", "s3cret"});
    EXPECT_FALSE(connect(SmtpSecurity::StartTls, ""));
    expectRefused("does not offer STARTTLS");
    EXPECT_FALSE(has(m_server->commands(), "MAIL"));
    // A loopback relay may take the password in clear text when nothing else is offered.
    ASSERT_TRUE(connect(SmtpSecurity::Automatic, ""));
    CMailMessage m = message();
    EXPECT_EQ(m_connection.SendMessage(m), 0);
    EXPECT_FALSE(m_connection.isEncrypted());
}

// An IPv4 address of this machine that is not on the loopback interface; empty when none.
std::string outsideAddress()
{
    ifaddrs* list = nullptr;
    std::string found;
    if (::getifaddrs(&list) != 0)
        return found;
    for (ifaddrs* it = list; it != nullptr && found.empty(); it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET)
            continue;
        const auto& address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr;
        char text[INET_ADDRSTRLEN];
        if ((ntohl(address.s_addr) >> 24) != 127 &&
            ::inet_ntop(AF_INET, &address, text, sizeof text))
            found = text;
    }
    ::freeifaddrs(list);
    return found;
}

TEST_F(MailTls, NoPasswordInClearTextToAnotherMachineUnlessSecurityIsNone)
{
    const std::string address = outsideAddress();
    if (address.empty())
        GTEST_SKIP() << "no network address besides loopback";
    m_server = std::make_unique<SmtpServerProcess>(
        std::vector<std::string>{"--bind", address, "--user", "alice", "--password", "s3cret"});
    const std::string server = address + ":" + std::to_string(m_server->port());
    m_connection.SetAccount("alice", "s3cret");
    EXPECT_FALSE(m_connection.Connect(server));
    expectRefused("the password is not sent in clear text");
    m_connection.SetSecurity(SmtpSecurity::None);
    ASSERT_TRUE(m_connection.Connect(server)) << m_connection.lastError();
    CMailMessage m = message();
    EXPECT_EQ(m_connection.SendMessage(m), 0);
    EXPECT_TRUE(has(m_server->commands(), "AUTH"));
}

TEST_F(MailTls, BrokenHandshakesGiveAClearError)
{
    start(m_good, {"--broken-starttls", "garbage"});
    EXPECT_FALSE(connect(SmtpSecurity::Automatic, m_good.file("cert.pem")));
    expectRefused("no secure connection: the TLS handshake failed");
    start(m_good, {"--broken-starttls", "drop"});
    EXPECT_FALSE(connect(SmtpSecurity::StartTls, m_good.file("cert.pem")));
    expectRefused("no secure connection: the server closed the connection during the TLS");
    // A client that expects TLS from the start meets a server that talks in clear text.
    start(m_good);
    EXPECT_FALSE(connect(SmtpSecurity::Tls, m_good.file("cert.pem")));
    expectRefused("no secure connection");
}

TEST(MailSecurity, SettingNames)
{
    EXPECT_EQ(ParseSmtpSecurity("STARTTLS"), SmtpSecurity::StartTls);
    EXPECT_EQ(ParseSmtpSecurity("auto"), SmtpSecurity::Automatic);
    EXPECT_EQ(ParseSmtpSecurity("automatic"), SmtpSecurity::Automatic);
    EXPECT_EQ(ParseSmtpSecurity("none"), SmtpSecurity::None);
    EXPECT_EQ(ParseSmtpSecurity("ssl"), std::nullopt);
    EXPECT_STREQ(SmtpSecurityName(SmtpSecurity::Tls), "tls");
}

} // namespace
} // namespace tw
