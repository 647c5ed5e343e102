#include <gtest/gtest.h>

#include "mainframe/test_mail.h"
#include "tests/mail/smtp_server_process.h"

namespace tw {
namespace {

using test::has;
using test::SmtpServerProcess;

TestMailAccount account(const SmtpServerProcess& server, const std::string& password)
{
    TestMailAccount a;
    a.server = server.address();
    a.userName = "alice";
    a.password = password;
    a.from = "me@example.com";
    a.to = "bob@example.com";
    a.timeout = std::chrono::milliseconds(5000);
    return a;
}

TEST(TestMail, ReachesTheServerAndTellsItsAnswer)
{
    SmtpServerProcess server({"--user", "alice", "--password", "s3cret"});
    ASSERT_TRUE(server.isRunning());
    const TestMailResult result = SendTestMail(account(server, "s3cret"), "Tellwick");
    EXPECT_TRUE(result.sent) << result.words;
    EXPECT_TRUE(has(result.words, "250 OK saved")) << result.words;
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_TRUE(has(server.read(1, "env"), "bob@example.com"));
    EXPECT_TRUE(has(server.read(1, "decoded"), "Tellwick test e-mail"));
}

TEST(TestMail, AWrongPasswordIsReportedAsSuch)
{
    SmtpServerProcess server({"--user", "alice", "--password", "s3cret"});
    ASSERT_TRUE(server.isRunning());
    const TestMailResult result = SendTestMail(account(server, "wrong"), "Tellwick");
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(has(result.words, "refused the user name or password")) << result.words;
    EXPECT_TRUE(has(result.words, "535")) << result.words;
    EXPECT_EQ(server.messageCount(), 0u);
}

TEST(TestMail, NoServerAndAnUnknownSecurityAreFailuresInWords)
{
    TestMailAccount a;
    a.server = "127.0.0.1:1"; // nobody listens on port 1
    a.from = "me@example.com";
    a.to = "bob@example.com";
    a.timeout = std::chrono::milliseconds(2000);
    TestMailResult result = SendTestMail(a, "Tellwick");
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(has(result.words, "no connection to 127.0.0.1:1")) << result.words;

    a.security = "sometimes";
    result = SendTestMail(a, "Tellwick");
    EXPECT_FALSE(result.sent);
    EXPECT_TRUE(has(result.words, "not known")) << result.words;
}

} // namespace
} // namespace tw
