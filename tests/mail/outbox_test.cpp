// The outbox against a real server: the voice-mail notification end to end, the twelve
// slots, items waiting for a server that is down, retries on the virtual clock, refusals,
// items kept across a restart, and stopping a sender that is stuck.
#include <atomic>
#include <filesystem>
#include <future>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/mail_outbox.h"
#include "platform/file_util.h"
#include "platform/log.h"
#include "platform/manual_event_loop.h"
#include "smtp_server_process.h"

namespace tw {
namespace {

using namespace std::chrono_literals;
using test::SmtpServerProcess;
using test::writeFile;

const std::string kServerDown = "127.0.0.1:1"; // nobody listens: refused at once

MailItem item(const std::string& subject, const std::string& attachment = {},
              const std::string& to = "bob@example.com")
{
    MailItem mail;
    mail.fromName = "Tellwick";
    mail.fromAddress = "me@example.com";
    mail.recipientCount = 1;
    mail.toAddress = to;
    mail.toName = RecipientNameOf(to);
    mail.subject = mail.body = subject;
    mail.attachmentCount = attachment.empty() ? 0 : 1;
    mail.attachments[0] = attachment;
    return mail;
}

TEST(MailOutbox, VoiceMailArrivesWithItsRecordingAndCopiesGoAfterEveryAttempt)
{
    SmtpServerProcess server({"--refuse-rcpt", "carol@example.com"});
    ASSERT_TRUE(server.isRunning());
    test::TempDir folder;
    // Bytes of every value, and a length that needs base64 padding.
    std::string wav("RIFF\x24\x7D\0\0WAVEfmt ", 16);
    for (int i = 0; i < 32001; ++i)
        wav.push_back(static_cast<char>(i * 7 + i / 256));
    const std::string copy = folder.file("20070501-143000_em.wav");
    writeFile(copy, wav);
    writeFile(folder.file("refused.wav"), wav);

    CMailOutbox outbox;
    outbox.SetMailFolder(folder.path());
    EXPECT_TRUE(FileExists(folder.file("Mail")));
    outbox.SetAccount(server.address(), "", "");
    const std::string text = "Voice mail from caller1 at 2007/05/01 14:30:00.";
    ASSERT_TRUE(outbox.QueueMail(item(text, copy)));
    ASSERT_TRUE(outbox.QueueMail(item("x", folder.file("refused.wav"), "carol@example.com")));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "part0"), wav);
    const std::string message = server.read(1, "eml");
    EXPECT_TRUE(test::has(message, "\r\nSubject: " + text + "\r\n"));
    EXPECT_TRUE(test::has(message, "From: \"Tellwick\" <me@example.com>\r\nTo: \"bob\" <bob@"));
    EXPECT_TRUE(test::has(message, "audio/x-wav;\r\n\tname=\"20070501-143000_em.wav\""));
    EXPECT_FALSE(FileExists(copy));
    EXPECT_FALSE(FileExists(folder.file("refused.wav")));
    EXPECT_EQ(outbox.queuedCount(), 0u);

    // Items arrive while the sender works and ends: none may be left behind.
    for (std::size_t round = 1; round <= 3; ++round) {
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(outbox.QueueMail(item("round")));
        ASSERT_TRUE(outbox.WaitIdle(60s));
        EXPECT_EQ(outbox.queuedCount(), 0u);
        EXPECT_EQ(server.messageCount(), 1 + 4 * round);
    }
}

TEST(MailOutbox, AServerThatClosesAfterEachMailGetsEveryItemOnANewConnection)
{
    SmtpServerProcess server({"--close-after-data"});
    test::TempDir folder;
    CMailOutbox outbox;
    outbox.SetAccount(server.address(), "", "");
    for (const std::string i : {"1", "2", "3"}) {
        writeFile(folder.file(i + ".wav"), "RIFF");
        ASSERT_TRUE(outbox.QueueMail(item(i, folder.file(i + ".wav"))));
    }
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(server.messageCount(), 3u);
    EXPECT_EQ(outbox.queuedCount(), 0u);
}

TEST(MailOutbox, NonAsciiNamesAndSubjectReachAStrictServerAndDecodeAsTheyWent)
{
    SmtpServerProcess server({"--strict"});
    test::TempDir folder;
    const std::string file = folder.file("Gr\u00FC\u00DFe von J\u00F6rg_em.wav");
    writeFile(file, std::string("RIFF\0\0\0\0WAVE", 12));
    CMailOutbox outbox;
    outbox.SetAccount(server.address(), "", "");
    MailItem mail = item("Sprachnachricht f\u00FCr J\u00F6rg \u2013 ein sehr langer Betreff, "
                         "der \u00FCber mehrere kodierte W\u00F6rter reicht",
                         file, "j\u00F6rg@example.com");
    mail.fromName = "Anrufbeantworter \"M\u00FCller\"";
    mail.toAddress = "joerg@example.com";
    mail.body = "Sprachnachricht von j\u00F6rg.";
    ASSERT_TRUE(outbox.QueueMail(mail));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 1u);
    EXPECT_EQ(server.read(1, "decoded"),
              mail.subject +
                  "\n\"Anrufbeantworter \\\"M\u00FCller\\\"\" <me@example.com>\n"
                  "j\u00F6rg <joerg@example.com>\nGr\u00FC\u00DFe von J\u00F6rg_em.wav\n" +
                  mail.body);
}

TEST(MailOutbox, RefusesIncompleteItemsAndAThirteenth)
{
    CMailOutbox outbox;
    outbox.SetAccount(kServerDown, "", "");
    MailItem bad[4] = {item("x"), item("x"), item("x"), item("x")};
    bad[0].recipientCount = 0;
    bad[1].fromAddress.clear();
    bad[2].toAddress.clear();
    bad[3].attachmentCount = 6;
    for (const MailItem& each : bad)
        EXPECT_FALSE(outbox.QueueMail(each));
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(outbox.QueueMail(item("item")));
    EXPECT_FALSE(outbox.QueueMail(item("thirteenth")));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 12u);
}

// Greets, takes EHLO, and never answers MAIL: the sender holds its item until the test lets go.
class StalledServer
{
public:
    StalledServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~StalledServer() { release(); }

    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    bool waitForMail() { return m_mail.get_future().wait_for(30s) == std::future_status::ready; }
    // Closes everything: the sender sees its connection lost and the next one refused.
    void release()
    {
        if (!m_thread.joinable())
            return;
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_client >= 0)
            ::shutdown(m_client, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

private:
    void serve()
    {
        m_client = ::accept(m_listener, nullptr, nullptr);
        if (m_client < 0)
            return;
        const auto say = [this](std::string_view text) {
            return ::write(m_client, text.data(), text.size());
        };
        say("220 stalled\r\n");
        std::string line;
        char c;
        while (::read(m_client, &c, 1) == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line.starts_with("EHLO"))
                say("250 stalled\r\n");
            if (line.starts_with("MAIL"))
                m_mail.set_value();
            line.clear();
        }
        ::close(m_client);
    }

    int m_listener = -1;
    std::atomic<int> m_client = -1;
    int m_port = 0;
    std::promise<void> m_mail;
    std::thread m_thread;
};

// An item on its way to the server still holds its slot: the outbox never takes more than 12.
TEST(MailOutbox, AnItemBeingSentKeepsItsSlot)
{
    StalledServer server;
    CMailOutbox outbox;
    outbox.SetAccount(server.address(), "", "");
    ASSERT_TRUE(outbox.QueueMail(item("first")));
    ASSERT_TRUE(server.waitForMail());
    int accepted = 0;
    for (int i = 0; i < 20; ++i)
        accepted += outbox.QueueMail(item("item")) ? 1 : 0;
    EXPECT_EQ(accepted, 11);
    EXPECT_EQ(outbox.queuedCount(), 12u);
    server.release();
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 12u);
}

TEST(MailOutbox, ItemsWaitingForADownServerGoNewestFirst)
{
    test::TempDir folder;
    CMailOutbox outbox;
    outbox.SetAccount(kServerDown, "", "");
    for (const std::string i : {"1", "2", "3"}) {
        writeFile(folder.file(i + ".wav"), "RIFF");
        ASSERT_TRUE(outbox.QueueMail(item(i, folder.file(i + ".wav"))));
    }
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 3u);
    EXPECT_TRUE(FileExists(folder.file("1.wav")));

    SmtpServerProcess server;
    outbox.SetAccount(server.address(), std::nullopt, std::nullopt);
    ASSERT_TRUE(outbox.QueueMail(item("4")));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    ASSERT_EQ(server.messageCount(), 4u);
    for (int n = 1; n <= 4; ++n)
        EXPECT_TRUE(
            test::has(server.read(n, "eml"), "\r\nSubject: " + std::to_string(5 - n) + "\r\n"))
            << n;
    EXPECT_EQ(outbox.queuedCount(), 0u);
    EXPECT_FALSE(FileExists(folder.file("1.wav")));
}

// Each test reads the outbox's log lines; mailFiles() counts the items kept on disk.
class MailOutboxRetry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        appLog().Open(m_folder.file("Tellwick.Log"));
        appLog().Enable(true);
        writeFile(m_copy, "RIFF");
    }
    void TearDown() override { appLog().Close(); }
    std::string log() const { return test::readFile(m_folder.file("Tellwick.Log")); }
    std::size_t mailFiles() const
    {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.file("Mail")))
            count += entry.path().extension() == ".mail";
        return count;
    }

    test::TempDir m_folder;
    const std::string m_copy = m_folder.file("vm_em.wav");
};

TEST_F(MailOutboxRetry, APassingRefusalIsTriedAgainAfterGrowingWaitsUntilItIsTaken)
{
    SmtpServerProcess server({"--temp-fail", "2"});
    ManualEventLoop loop;
    CMailOutbox outbox(&loop);
    outbox.SetMailFolder(m_folder.path());
    outbox.SetAccount(server.address(), "", "");
    ASSERT_TRUE(outbox.QueueMail(item("busy", m_copy)));
    for (const auto wait : {60s, 120s}) {
        ASSERT_TRUE(outbox.WaitIdle(60s));
        EXPECT_EQ(server.messageCount(), 0u);
        EXPECT_EQ(outbox.queuedCount(), 1u);
        EXPECT_TRUE(FileExists(m_copy));
        EXPECT_EQ(mailFiles(), 1u);
        loop.runPending(); // the sender's timer request
        loop.advance(wait - 1s);
        EXPECT_FALSE(outbox.isSending()); // not before its time
        loop.advance(1s);
    }
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(server.messageCount(), 1u);
    EXPECT_FALSE(FileExists(m_copy));
    EXPECT_EQ(mailFiles(), 0u);
    EXPECT_TRUE(test::has(log(), "not sent (421 4.3.2 Try again later); next try in 1 min."));
    EXPECT_TRUE(test::has(log(), "next try in 2 min."));
    EXPECT_EQ(CMailOutbox::RetryDelay(3), 240s);
    EXPECT_EQ(CMailOutbox::RetryDelay(30), 3600s);
}

TEST_F(MailOutboxRetry, ARefusalIsDroppedWithALogLine)
{
    SmtpServerProcess server({"--refuse-data"});
    CMailOutbox outbox;
    outbox.SetMailFolder(m_folder.path());
    outbox.SetAccount(server.address(), "", "");
    ASSERT_TRUE(outbox.QueueMail(item("refused", m_copy)));
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 0u);
    EXPECT_FALSE(FileExists(m_copy));
    EXPECT_EQ(mailFiles(), 0u);
    EXPECT_TRUE(test::has(log(), "The mail to bob@example.com was refused and is dropped: 550 "
                                 "5.7.1 Message refused"));
}

TEST_F(MailOutboxRetry, ItemsWaitingAtExitAreSentAfterTheNextStartAndGiveUpAfterTwoDays)
{
    const std::time_t start = 1184943486;
    {
        ManualEventLoop loop(start);
        CMailOutbox outbox(&loop);
        outbox.SetMailFolder(m_folder.path());
        outbox.SetAccount(kServerDown, "", "");
        ASSERT_TRUE(outbox.QueueMail(item("kept", m_copy)));
        ASSERT_TRUE(outbox.QueueMail(item("too old")));
        ASSERT_TRUE(outbox.WaitIdle(60s));
        EXPECT_TRUE(test::has(log(), "next try in 1 min"));
    }
    EXPECT_EQ(mailFiles(), 2u);
    EXPECT_TRUE(FileExists(m_copy));

    SmtpServerProcess server;
    {
        ManualEventLoop loop(start + 3600);
        CMailOutbox outbox(&loop);
        outbox.SetMailFolder(m_folder.path());
        EXPECT_EQ(outbox.queuedCount(), 2u);
        outbox.SetAccount(server.address(), "", "");
        outbox.Resume();
        ASSERT_TRUE(outbox.WaitIdle(60s));
    }
    ASSERT_EQ(server.messageCount(), 2u);
    EXPECT_TRUE(test::has(server.read(1, "eml"), "Subject: too old\r\n")); // newest first
    EXPECT_TRUE(test::has(server.read(2, "eml"), "Subject: kept\r\n"));
    EXPECT_FALSE(FileExists(m_copy));
    EXPECT_EQ(mailFiles(), 0u);

    // An item that finds no server for two days is dropped at its next failure.
    writeFile(m_copy, "RIFF");
    {
        ManualEventLoop loop(start);
        CMailOutbox outbox(&loop);
        outbox.SetMailFolder(m_folder.path());
        outbox.SetAccount(kServerDown, "", "");
        ASSERT_TRUE(outbox.QueueMail(item("late", m_copy)));
        ASSERT_TRUE(outbox.WaitIdle(60s));
    }
    ManualEventLoop loop(start + 2 * 24 * 3600);
    CMailOutbox outbox(&loop);
    outbox.SetMailFolder(m_folder.path());
    outbox.SetAccount(kServerDown, "", "");
    outbox.Resume();
    ASSERT_TRUE(outbox.WaitIdle(60s));
    EXPECT_EQ(outbox.queuedCount(), 0u);
    EXPECT_FALSE(FileExists(m_copy));
    EXPECT_TRUE(test::has(log(), "was not sent within two days and is dropped: no connection"));
}

TEST(MailOutbox, StopCutsASenderStuckOnASilentServer)
{
    SmtpServerProcess server({"--silent"});
    ASSERT_TRUE(server.isRunning());
    test::TempDir folder;
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
