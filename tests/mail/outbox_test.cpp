// The outbox against a real server: the voice-mail notification end to end, the twelve
// slots, items waiting for a server that is down, and stopping a sender that is stuck.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/mail_outbox.h"
#include "platform/file_util.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using namespace std::chrono_literals;
using test::readFile;
using test::SmtpServerProcess;
using test::TempFolder;
using test::writeFile;

// A loopback port that refuses connections: bound, never listening.
class ClosedPort
{
public:
    ClosedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};

// One second of a 440 Hz tone, 16 kHz mono 16-bit PCM.
std::string wavBytes()
{
    std::string data;
    for (int i = 0; i < 16000; ++i) {
        const auto sample = static_cast<std::int16_t>((i * 440LL * 65536 / 16000) % 65536 - 32768);
        data.push_back(static_cast<char>(sample & 0xFF));
        data.push_back(static_cast<char>((sample >> 8) & 0xFF));
    }
    const auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); };
    const auto u16 = [](std::uint16_t v) { return std::string(reinterpret_cast<char*>(&v), 2); };
    return "RIFF" + u32(36 + data.size()) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(16000) +
           u32(32000) + u16(2) + u16(16) + "data" + u32(data.size()) + data;
}

MailItem item(const std::string& subject, const std::string& attachment = {})
{
    MailItem mail;
    mail.fromName = "Tellwick";
    mail.fromAddress = "me@example.com";
    mail.recipientCount = 1;
    mail.toAddress = "bob@example.com";
    mail.toName = RecipientNameOf(mail.toAddress);
    mail.subject = subject;
    mail.body = subject;
    if (!attachment.empty()) {
        mail.attachmentCount = 1;
        mail.attachments[0] = attachment;
    }
    return mail;
}

std::string subjectOf(const std::string& message)
{
    const auto start = message.find("Subject: ") + 9;
    return message.substr(start, message.find("\r\n", start) - start);
}

TEST(MailOutbox, VoiceMailNotificationArrivesWithItsRecording)
{
    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    TempFolder folder;
    const std::string wav = wavBytes();
    const std::string copy = folder.file("20070501-143000_em.wav");
    writeFile(copy, wav);

    CMailOutbox outbox;
    outbox.SetMailFolder(folder.path());
    EXPECT_TRUE(FileExists(folder.file("Mail")));
    outbox.SetAccount(server.address(), "", "");
    const std::string text = "Voice mail from caller1 at 2007/05/01 14:30:00.";
    ASSERT_TRUE(outbox.QueueMail(item(text, copy)));
    ASSERT_TRUE(outbox.WaitIdle(60s));

    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "part0"), wav);
    const std::string message = server.read(1, "eml");
    EXPECT_EQ(subjectOf(message), text);
    EXPECT_NE(message.find("From: \"Tellwick\" <me@example.com>\r\nTo: \"bob\" <bob@example.com>"),
              std::string::npos);
    EXPECT_NE(message.find("Content-Type: audio/x-wav;\r\n\tname=\"20070501-143000_em.wav\""),
              std::string::npos);
    EXPECT_FALSE(FileExists(copy));
    EXPECT_EQ(outbox.queuedCount(), 0u);
}

TEST(MailOutbox, RefusedRecipientStillDeletesTheCopy)
{
    SmtpServerProcess server({"--refuse-rcpt", "bob@example.com"});
    ASSERT_TRUE(server.isRunning());
    TempFolder folder;
    writeFile(folder.file("a_em.wav"), wavBytes());
    CMailOutbox outbox;
    outbox.SetAccount(server.address(), std::nullopt, std::nullopt);
    ASSERT_TRUE(outbox.QueueMail(item("refused", folder.file("a_em.wav"))));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(server.messageCount(), 0u);
    EXPECT_FALSE(FileExists(folder.file("a_em.wav")));
}

TEST(MailOutbox, RefusesIncompleteItemsAndAThirteenth)
{
    ClosedPort down;
    CMailOutbox outbox;
    outbox.SetAccount(down.address(), "", "");
    MailItem noCount = item("x");
    noCount.recipientCount = 0;
    MailItem noSender = item("x");
    noSender.fromAddress.clear();
    MailItem noRecipient = item("x");
    noRecipient.toAddress.clear();
    MailItem tooMany = item("x");
    tooMany.attachmentCount = 6;
    for (const MailItem& bad : {noCount, noSender, noRecipient, tooMany})
        EXPECT_FALSE(outbox.QueueMail(bad));

    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(outbox.QueueMail(item("item " + std::to_string(i))));
    EXPECT_FALSE(outbox.QueueMail(item("thirteenth")));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 12u);
}

TEST(MailOutbox, ItemsWaitingForADownServerGoNewestFirst)
{
    ClosedPort down;
    TempFolder folder;
    CMailOutbox outbox;
    outbox.SetAccount(down.address(), "", "");
    for (int i = 1; i <= 3; ++i) {
        writeFile(folder.file(std::to_string(i) + ".wav"), "RIFF");
        ASSERT_TRUE(
            outbox.QueueMail(item(std::to_string(i), folder.file(std::to_string(i) + ".wav"))));
    }
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 3u);
    EXPECT_TRUE(FileExists(folder.file("1.wav")));

    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    outbox.SetAccount(server.address(), std::nullopt, std::nullopt);
    ASSERT_TRUE(outbox.QueueMail(item("4")));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 4u);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(subjectOf(server.read(n, "eml")), std::to_string(5 - n));
    EXPECT_EQ(outbox.queuedCount(), 0u);
    EXPECT_FALSE(FileExists(folder.file("1.wav")));
}

TEST(MailOutbox, ItemsQueuedWhileTheSenderWorksAreAllSent)
{
    // Items arrive while the sender connects, sends and says QUIT: none may be left behind
    // by a sender that was just ending.
    SmtpServerProcess server;
    ASSERT_TRUE(server.isRunning());
    CMailOutbox outbox;
    outbox.SetAccount(server.address(), "", "");
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(outbox.QueueMail(item("round " + std::to_string(round))));
        ASSERT_TRUE(outbox.WaitIdle(60s));
        EXPECT_EQ(outbox.queuedCount(), 0u);
        EXPECT_EQ(server.messageCount(), 4u * (round + 1));
    }
}

TEST(MailOutbox, StopCutsASenderStuckOnASilentServer)
{
    SmtpServerProcess server({"--silent"});
    ASSERT_TRUE(server.isRunning());
    TempFolder folder;
    writeFile(folder.file("a_em.wav"), "RIFF");
    {
        CMailOutbox outbox; // the full 30 s reply time-out: Stop must not wait for it
        outbox.SetStopWait(200ms);
        outbox.SetAccount(server.address(), "", "");
        ASSERT_TRUE(outbox.QueueMail(item("stuck", folder.file("a_em.wav"))));
        EXPECT_TRUE(outbox.isSending());
        const auto start = std::chrono::steady_clock::now();
        outbox.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_FALSE(outbox.isSending());
        EXPECT_FALSE(outbox.QueueMail(item("after stop")));
    }
    // The item never went out; its copy stays for the caller.
    EXPECT_TRUE(FileExists(folder.file("a_em.wav")));
}

} // namespace
} // namespace tw
