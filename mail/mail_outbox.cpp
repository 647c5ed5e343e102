#include "mail/mail_outbox.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "mail/mail_item_file.h"
#include "mail/mail_message.h"
#include "mail/mail_system.h"
#include "platform/file_util.h"
#include "platform/log.h"

namespace tw {
namespace {

constexpr char kItemExtension[] = ".mail";

bool isDue(const MailItem& item, std::time_t now)
{
    return item.nextAttempt <= now;
}

} // namespace

CMailOutbox::CMailOutbox(EventLoop* loop) : m_loop(loop)
{}

CMailOutbox::~CMailOutbox()
{
    Stop();
    if (m_loop)
        m_loop->killTimers(this);
}

std::chrono::seconds CMailOutbox::RetryDelay(std::uint32_t attempts)
{
    const std::uint32_t doublings = std::min<std::uint32_t>(attempts > 0 ? attempts - 1 : 0, 6);
    return std::min(kFirstRetry * (1 << doublings), kLongestRetry);
}

std::time_t CMailOutbox::now() const
{
    return m_loop ? m_loop->wallTime() : std::time(nullptr);
}

std::string CMailOutbox::itemPath(const MailItem& item) const
{
    if (m_mailFolder.empty())
        return {};
    return m_mailFolder + std::to_string(item.sequence) + kItemExtension;
}

void CMailOutbox::SetMailFolder(const std::string& dataFolder)
{
    m_mailFolder = JoinPath(dataFolder, "Mail");
    EnsureFolder(m_mailFolder);
    std::vector<MailItem> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_mailFolder, error)) {
        if (entry.path().extension() != kItemExtension)
            continue;
        if (auto item = LoadMailItem(entry.path().string()))
            found.push_back(std::move(*item));
    }
    m_mailFolder.push_back('/');
    std::sort(found.begin(), found.end(),
              [](const MailItem& a, const MailItem& b) { return a.sequence < b.sequence; });
    std::lock_guard lock(m_lock);
    for (auto& item : found) {
        m_nextSequence = std::max(m_nextSequence, item.sequence + 1);
        if (m_items.size() < kSlots)
            m_items.push_back(std::move(item));
    }
    if (!m_items.empty())
        appLog().Write("CMailOutbox - " + std::to_string(m_items.size()) +
                       " mail(s) from the last run wait to be sent.");
}

void CMailOutbox::SetAccount(std::optional<std::string> server, std::optional<std::string> userName,
                             std::optional<std::string> password)
{
    std::lock_guard lock(m_lock);
    if (server)
        m_server = std::move(*server);
    if (userName)
        m_userName = std::move(*userName);
    if (password)
        m_password = std::move(*password);
    for (auto& item : m_items)
        item.nextAttempt = 0;
}

void CMailOutbox::SetSecurity(SmtpSecurity security, std::string caFile)
{
    std::lock_guard lock(m_lock);
    m_security = security;
    m_caFile = std::move(caFile);
}

void CMailOutbox::Resume()
{
    std::lock_guard lock(m_lock);
    if (!m_stopRequested && !m_items.empty())
        startSender();
}

bool CMailOutbox::QueueMail(const MailItem& item)
{
    if (item.recipientCount == 0 || item.toAddress.empty() || item.fromAddress.empty() ||
        item.attachmentCount > MailItem::kMaxAttachments)
        return false;
    std::lock_guard lock(m_lock);
    if (m_stopRequested || m_items.size() + m_taken >= kSlots)
        return false;
    MailItem slot = item;
    for (std::size_t i = item.attachmentCount; i < MailItem::kMaxAttachments; ++i)
        slot.attachments[i].clear();
    if (slot.messageId.empty())
        slot.messageId = NewMessageId(slot.fromAddress);
    slot.sequence = m_nextSequence++;
    slot.firstQueued = now();
    slot.nextAttempt = 0;
    slot.attempts = slot.lostConnections = 0;
    // On disk first, so that a crash or an exit cannot lose it.
    if (const std::string path = itemPath(slot); !path.empty() && !SaveMailItem(path, slot))
        appLog().Write("CMailOutbox - The mail cannot be kept in " + m_mailFolder +
                       "; it is lost if the program ends before it is sent.");
    m_items.push_back(std::move(slot));
    ++m_queued;
    startSender();
    return true;
}

void CMailOutbox::startSender()
{
    if (m_senderRunning)
        return;
    // A sender that marked itself ended touches nothing of ours any more: joining it under
    // the lock cannot wait for the lock.
    if (m_sender.joinable())
        m_sender.join();
    try {
        m_sender = std::thread(&CMailOutbox::senderMain, this);
        m_senderRunning = true;
    } catch (const std::system_error&) {
        // No thread now: the items wait for the next QueueMail or Resume.
    }
}

void CMailOutbox::finishSender(std::time_t when)
{
    m_senderRunning = false;
    m_idle.notify_all();
    if (m_loop == nullptr || m_stopRequested || m_items.empty())
        return;
    std::int64_t earliest = m_items.front().nextAttempt;
    for (const auto& item : m_items)
        earliest = std::min(earliest, item.nextAttempt);
    const auto wait = std::chrono::seconds(std::max<std::int64_t>(earliest - when, 1));
    // Timers belong to the loop's thread; the check keeps a task that runs after the outbox
    // died from touching it.
    std::weak_ptr<int> alive = m_alive;
    m_loop->post([this, alive, wait] {
        if (alive.lock())
            m_loop->startTimer(this, kRetryTimer, wait);
    });
}

void CMailOutbox::onTimer(int id)
{
    m_loop->killTimer(this, id);
    std::lock_guard lock(m_lock);
    if (!m_stopRequested && !m_items.empty())
        startSender();
}

void CMailOutbox::senderMain()
{
    for (;;) {
        std::string server, userName, password, caFile;
        SmtpSecurity security;
        std::uint64_t queuedBefore;
        {
            std::lock_guard lock(m_lock);
            const std::time_t time = now();
            if (m_stopRequested ||
                std::none_of(m_items.begin(), m_items.end(),
                             [time](const MailItem& item) { return isDue(item, time); })) {
                finishSender(time);
                return;
            }
            server = m_server;
            userName = m_userName;
            password = m_password;
            security = m_security;
            caFile = m_caFile;
            queuedBefore = m_queued;
        }
        m_connection.SetAccount(std::move(userName), std::move(password));
        m_connection.SetSecurity(security, std::move(caFile));
        if (!m_connection.Connect(server)) {
            // Every item that was due waits its turn again; one that arrived while we tried
            // makes the loop try once more.
            std::vector<MailItem> due;
            {
                std::lock_guard lock(m_lock);
                const std::time_t time = now();
                for (auto it = m_items.begin(); it != m_items.end();) {
                    if (isDue(*it, time)) {
                        due.push_back(std::move(*it));
                        it = m_items.erase(it);
                        ++m_taken;
                    } else {
                        ++it;
                    }
                }
            }
            for (auto& item : due)
                putBack(std::move(item), Outcome::Again, m_connection.lastError());
            std::lock_guard lock(m_lock);
            if (m_stopRequested || m_queued == queuedBefore) {
                finishSender(now());
                return;
            }
            continue;
        }
        for (;;) {
            MailItem item;
            {
                std::lock_guard lock(m_lock);
                const std::time_t time = now();
                const auto newest =
                    std::find_if(m_items.rbegin(), m_items.rend(),
                                 [time](const MailItem& i) { return isDue(i, time); });
                if (m_stopRequested || newest == m_items.rend())
                    break;
                item = std::move(*newest);
                m_items.erase(std::next(newest).base());
                ++m_taken;
            }
            // A server that closed the connection after its last reply (a 421, or a plain
            // close) gets a new connection before the item, not the item in a dead socket.
            if (!m_connection.isUsable() && !m_connection.Connect(server)) {
                putBack(std::move(item), Outcome::Again, m_connection.lastError());
                break;
            }
            // Sent without the lock, so that QueueMail never waits for the server.
            const Outcome outcome = sendItem(item);
            putBack(std::move(item), outcome, m_connection.lastError());
            if (!m_connection.isConnected())
                break;
        }
        m_connection.Disconnect();
    }
}

CMailOutbox::Outcome CMailOutbox::sendItem(MailItem& item)
{
    CMailMessage message = MakeItemMessage(item);
    const int result = m_connection.SendMessage(message);
    if (result == 0)
        return Outcome::Sent;
    if (result == -1 && !m_connection.isConnected()) {
        // Lost on the way: no verdict on the item. It goes again on a new connection once;
        // a server that keeps dropping it gets the usual wait.
        return item.lostConnections++ == 0 ? Outcome::AgainNow : Outcome::Again;
    }
    // A 5xx refusal is final; so is a message without a usable address (-1, connection fine).
    if (result == -1 || (result >= 500 && result <= 599))
        return Outcome::Dropped;
    return Outcome::Again;
}

void CMailOutbox::putBack(MailItem item, Outcome outcome, const std::string& reason)
{
    std::lock_guard lock(m_lock);
    --m_taken;
    const std::time_t time = now();
    if (outcome == Outcome::Again) {
        ++item.attempts;
        if (time - item.firstQueued >= kGiveUpAfter.count()) {
            outcome = Outcome::Dropped;
            appLog().Write("CMailOutbox - The mail to " + item.toAddress +
                           " was not sent within two days and is dropped: " + reason);
        } else {
            const auto wait = RetryDelay(item.attempts);
            item.nextAttempt = time + wait.count();
            appLog().Write("CMailOutbox - The mail to " + item.toAddress + " was not sent (" +
                           reason + "); next try in " + std::to_string(wait.count() / 60) +
                           " min.");
            if (const std::string path = itemPath(item); !path.empty())
                SaveMailItem(path, item);
        }
    } else if (outcome == Outcome::Dropped) {
        appLog().Write("CMailOutbox - The mail to " + item.toAddress +
                       " was refused and is "
                       "dropped: " +
                       reason);
    }
    if (outcome == Outcome::Sent || outcome == Outcome::Dropped) {
        forget(item);
        return;
    }
    const auto at = std::lower_bound(
        m_items.begin(), m_items.end(), item,
        [](const MailItem& a, const MailItem& b) { return a.sequence < b.sequence; });
    m_items.insert(at, std::move(item));
}

void CMailOutbox::forget(const MailItem& item)
{
    // Done: the copies go, and the item's own file last.
    for (std::uint32_t i = 0; i < item.attachmentCount; ++i)
        DeleteFileSafely(item.attachments[i]);
    if (const std::string path = itemPath(item); !path.empty())
        DeleteFileSafely(path);
}

void CMailOutbox::Stop()
{
    {
        std::unique_lock lock(m_lock);
        m_stopRequested = true;
        if (!m_idle.wait_for(lock, m_stopWait, [this] { return !m_senderRunning; }))
            m_connection.Abort(); // still busy: cut its connection so that it ends now
    }
    if (m_sender.joinable())
        m_sender.join();
}

bool CMailOutbox::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_lock);
    return m_idle.wait_for(lock, timeout, [this] { return !m_senderRunning; });
}

std::uint32_t CMailOutbox::queuedCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<std::uint32_t>(m_items.size() + m_taken);
}

bool CMailOutbox::isSending() const
{
    std::lock_guard lock(m_lock);
    return m_senderRunning;
}

} // namespace tw
