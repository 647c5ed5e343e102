#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mail/mail_item.h"
#include "mail/smtp_connection.h"
#include "platform/event_loop.h"

namespace tw {

/// Sends notifications in the background and loses none. Up to 12 items wait, each also as a
/// file in the mail folder, so that items still waiting at exit are sent after the next
/// start. A sender thread connects and sends the items that are due, newest first. A passing
/// failure (a 4xx reply, no connection, a time-out, a TLS failure) keeps the item and tries
/// it again after a growing wait (1 minute, doubling up to an hour) for up to two days; a
/// refusal (5xx) or the end of that time drops it with a log line. An item's files are
/// deleted only when it is done: sent or dropped.
///
/// Waits are timers on the event loop (a virtual clock in tests); without one, waiting items
/// are tried again when the next item is queued or at Resume.
///
/// Threads: QueueMail from any thread (the record pipeline); the set-up calls, Stop and the
/// destructor from the event loop's thread. The sender thread never outlives the outbox.
class CMailOutbox : private TimerClient
{
public:
    static constexpr std::uint32_t kSlots = 12;
    static constexpr std::chrono::milliseconds kStopWait{5000};
    static constexpr std::chrono::seconds kFirstRetry{60};
    static constexpr std::chrono::seconds kLongestRetry{3600};
    static constexpr std::chrono::seconds kGiveUpAfter{2 * 24 * 3600};
    static constexpr int kRetryTimer = 1010;

    explicit CMailOutbox(EventLoop* loop = nullptr);
    ~CMailOutbox() override;
    CMailOutbox(const CMailOutbox&) = delete;
    CMailOutbox& operator=(const CMailOutbox&) = delete;

    /// The mail folder is dataFolder + "/Mail", made when missing. Items left there by an
    /// earlier run are taken up again (up to 12, the newest); they go out at Resume.
    void SetMailFolder(const std::string& dataFolder);
    const std::string& mailFolder() const { return m_mailFolder; }

    /// Each value given replaces the stored one; a change reaches the next connection, and
    /// items waiting are due again at once (the user may have mended the account).
    void SetAccount(std::optional<std::string> server, std::optional<std::string> userName,
                    std::optional<std::string> password);
    /// Sends what is due now: called once the account is set at start-up, and after the
    /// account changed.
    void Resume();
    /// How connections are protected (the "Notification" security and CA file settings).
    void SetSecurity(SmtpSecurity security, std::string caFile);

    /// Queues a copy of the item and makes sure a sender runs. False (nothing queued, the
    /// caller keeps its files) for an item without recipient count, recipient or sender
    /// address, with more than five attachments, while all 12 slots are taken, or after Stop.
    bool QueueMail(const MailItem& item);

    /// Ends sending: waits up to the stop wait (5 s) for the sender to finish its mail, then
    /// cuts its connection and joins it. Waiting items stay in the mail folder.
    void Stop();

    /// Waits until no sender runs; true when that happened within timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);
    std::uint32_t queuedCount() const;
    bool isSending() const;

    /// For the owner's set-up before the first item (time-outs); not while a sender runs.
    CSmtpConnection& connection() { return m_connection; }
    void SetStopWait(std::chrono::milliseconds wait) { m_stopWait = wait; }

    /// The wait after the given number of failed attempts: 1 minute doubling to an hour.
    static std::chrono::seconds RetryDelay(std::uint32_t attempts);

private:
    enum class Outcome { Sent, Dropped, Again, AgainNow };

    void onTimer(int id) override;
    void startSender();                 // under m_lock
    void finishSender(std::time_t now); // under m_lock
    void senderMain();
    Outcome sendItem(MailItem& item);
    void putBack(MailItem item, Outcome outcome, const std::string& reason);
    void forget(const MailItem& item);
    std::string itemPath(const MailItem& item) const;
    std::time_t now() const;

    EventLoop* m_loop;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0); // tasks posted to the loop check it
    CSmtpConnection m_connection;                            // the sender thread's, while one runs
    std::string m_mailFolder;
    std::chrono::milliseconds m_stopWait = kStopWait;

    mutable std::mutex m_lock; // guards everything below
    std::string m_server;
    std::string m_userName;
    std::string m_password;
    SmtpSecurity m_security = SmtpSecurity::Automatic;
    std::string m_caFile;
    std::condition_variable m_idle;
    std::vector<MailItem> m_items; ///< by sequence, oldest first
    // Items the sender has taken out to send or to put back; they still hold their slots.
    std::size_t m_taken = 0;
    std::uint64_t m_nextSequence = 1;
    std::uint64_t m_queued = 0; // items ever queued: tells a sender that more came meanwhile
    bool m_senderRunning = false;
    bool m_stopRequested = false;
    std::thread m_sender;
};

} // namespace tw
