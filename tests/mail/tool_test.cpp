// tellwick-tool mail as users run it: a reproducible compose, and a real send whose exit
// status tells whether the server took the message.
#include <cstdio>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "smtp_server_process.h"

namespace tw {
namespace {

using test::readFile;

const std::string kTool = TW_BINARY_DIR "/bin/tellwick-tool";
const std::string kMessage = "--from-name Tellwick --from me@example.com --to bob@example.com "
                             "--subject 'Voice mail' --body 'Voice mail from caller1.' ";

// Runs the tool through the shell with its output into a file; returns the exit status.
int runTool(const std::string& arguments, const std::string& output)
{
    const int status =
        std::system((kTool + " mail " + arguments + " >" + output + " 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MailTool, ComposeIsReproducibleAndSendReportsTheOutcome)
{
    if (::access(kTool.c_str(), X_OK) != 0)
        GTEST_SKIP() << "tellwick-tool not built";
    test::TempDir folder;
    test::writeFile(folder.file("vm_em.wav"), std::string("RIFF\0\0\0\0WAVE", 12));
    const std::string fixed = kMessage + "--attach " + folder.file("vm_em.wav") +
                              " --date '2007-05-01 14:03:09' --zone -0500 --tick 00c0ffee";
    ASSERT_EQ(runTool("compose " + fixed, folder.file("one")), 0) << readFile(folder.file("one"));
    ASSERT_EQ(runTool("compose " + fixed, folder.file("two")), 0);
    const std::string text = readFile(folder.file("one"));
    EXPECT_EQ(text, readFile(folder.file("two")));
    EXPECT_EQ(text.rfind("From: \"Tellwick\" <me@example.com>\r\nTo: \"bob\" <bob@example.com>\r\n"
                         "Subject: Voice mail\r\nDate: Tue, 1 May 2007 14:03:09 -0500\r\n",
                         0),
              0u);
    EXPECT_NE(text.find("boundary=\"Tellwick000_00C0FFEE\""), std::string::npos);
    EXPECT_NE(runTool("compose " + kMessage + "--date 'May 1st'", folder.file("bad")), 0);

    test::SmtpServerProcess server({"--refuse-rcpt", "nobody@example.com"});
    const std::string send = "send --server " + server.address() + " ";
    EXPECT_EQ(runTool(send + kMessage, folder.file("sent")), 0) << readFile(folder.file("sent"));
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_NE(server.read(1, "eml").find("Subject: Voice mail\r\n"), std::string::npos);
    EXPECT_EQ(runTool(send + "--from-name T --from me@example.com --to nobody@example.com "
                             "--subject s --body b",
                      folder.file("refused")),
              1);
    // The server's own words, not those of the reset after it.
    EXPECT_NE(
        readFile(folder.file("refused")).find("not sent (550): 550 5.1.1 Mailbox unavailable"),
        std::string::npos)
        << readFile(folder.file("refused"));
    EXPECT_EQ(runTool(send + "--security starttls " + kMessage, folder.file("clear")), 1);
    EXPECT_NE(readFile(folder.file("clear")).find("does not offer STARTTLS"), std::string::npos);
    EXPECT_NE(runTool(send + "--security ssl " + kMessage, folder.file("bad")), 0);
    EXPECT_EQ(server.messageCount(), 1u);

    // Over STARTTLS to a private server whose certificate the CA file names.
    ASSERT_TRUE(test::MakeCertificate(folder.path(), "DNS:localhost"));
    test::SmtpServerProcess tls({"--cert", folder.file("cert.pem"), "--key", folder.file("key.pem"),
                                 "--user", "alice", "--password", "s3cret"});
    const std::string secure = "send --server localhost:" + std::to_string(tls.port()) +
                               " --user alice --password s3cret --security starttls ";
    EXPECT_EQ(runTool(secure + "--ca-file " + folder.file("cert.pem") + " " + kMessage,
                      folder.file("tls")),
              0)
        << readFile(folder.file("tls"));
    EXPECT_EQ(runTool(secure + kMessage, folder.file("untrusted")), 1);
    EXPECT_NE(readFile(folder.file("untrusted")).find("self-signed certificate"),
              std::string::npos);
    EXPECT_EQ(tls.messageCount(), 1u);
}

} // namespace
} // namespace tw
