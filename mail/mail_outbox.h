#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "mail/mail_item.h"
#include "mail/smtp_connection.h"

namespace tw {

/// Sends notifications in the background. Up to 12 items wait in memory; a sender thread
/// connects, sends them newest first through its one SMTP connection, deletes each item's
/// files after the attempt, and ends when the queue is empty. When the server cannot be
/// reached the items stay queued and the next QueueMail tries again. Nothing is kept on disk
/// and nothing survives the process.
///
/// Threads: QueueMail from any thread (the record pipeline); SetAccount, Stop and the
/// destructor from the owner's thread. The sender thread never outlives the outbox.
class CMailOutbox
{
public:
    static constexpr std::uint32_t kSlots = 12;
    static constexpr std::chrono::milliseconds kStopWait{5000};

    CMailOutbox();
    ~CMailOutbox();
    CMailOutbox(const CMailOutbox&) = delete;
    CMailOutbox& operator=(const CMailOutbox&) = delete;

    /// The mail folder is dataFolder + "/Mail", made when missing; sending does not use it.
    void SetMailFolder(const std::string& dataFolder);
    const std::string& mailFolder() const { return m_mailFolder; }

    /// Each value given replaces the stored one; a change reaches the next connection.
    void SetAccount(std::optional<std::string> server, std::optional<std::string> userName,
                    std::optional<std::string> password);

    /// How connections are protected (the "Notification" security and CA file settings);
    /// reaches the next connection.
    void SetSecurity(SmtpSecurity security, std::string caFile);

    /// Queues a copy of the item and makes sure a sender runs. False (nothing queued, the
    /// caller keeps its files) for an item without recipient count, recipient or sender
    /// address, with more than five attachments, while all 12 slots are taken, or after Stop.
    bool QueueMail(const MailItem& item);

    /// Ends sending: waits up to the stop wait (5 s) for the sender to finish its mail, then
    /// cuts its connection and joins it. Queued items are dropped (their files stay).
    void Stop();

    /// Waits until no sender runs; true when that happened within timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);
    std::uint32_t queuedCount() const;
    bool isSending() const;

    /// For the owner's set-up before the first item (time-outs); not while a sender runs.
    CSmtpConnection& connection() { return m_connection; }
    void SetStopWait(std::chrono::milliseconds wait) { m_stopWait = wait; }

private:
    void senderMain();
    /// False when the item should go again on a new connection.
    bool sendItem(MailItem& item);
    void putBack(MailItem item);
    void finishSender(); // under m_lock

    CSmtpConnection m_connection; // the sender thread's, while one runs
    std::string m_mailFolder;
    std::chrono::milliseconds m_stopWait = kStopWait;

    mutable std::mutex m_lock; // guards everything below
    std::string m_server;
    std::string m_userName;
    std::string m_password;
    SmtpSecurity m_security = SmtpSecurity::Automatic;
    std::string m_caFile;
    std::condition_variable m_idle;
    std::array<MailItem, kSlots> m_slots;
    std::uint32_t m_count = 0;
    std::uint64_t m_queued = 0; // items ever queued: tells a sender that more came meanwhile
    bool m_senderRunning = false;
    bool m_stopRequested = false;
    std::thread m_sender;
};

} // namespace tw
