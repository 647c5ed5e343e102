#include "mail/mail_outbox.h"

#include <system_error>

#include "mail/mail_message.h"
#include "mail/mail_system.h"
#include "platform/file_util.h"

namespace tw {

CMailOutbox::CMailOutbox() = default;

CMailOutbox::~CMailOutbox()
{
    Stop();
}

void CMailOutbox::SetMailFolder(const std::string& dataFolder)
{
    m_mailFolder = JoinPath(dataFolder, "Mail");
    EnsureFolder(m_mailFolder);
    m_mailFolder.push_back('/');
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
}

void CMailOutbox::SetSecurity(SmtpSecurity security, std::string caFile)
{
    std::lock_guard lock(m_lock);
    m_security = security;
    m_caFile = std::move(caFile);
}

bool CMailOutbox::QueueMail(const MailItem& item)
{
    if (item.recipientCount == 0 || item.toAddress.empty() || item.fromAddress.empty() ||
        item.attachmentCount > MailItem::kMaxAttachments)
        return false;
    std::lock_guard lock(m_lock);
    if (m_stopRequested || m_count >= kSlots)
        return false;
    MailItem& slot = m_slots[m_count];
    slot = item;
    for (std::size_t i = item.attachmentCount; i < MailItem::kMaxAttachments; ++i)
        slot.attachments[i].clear();
    if (slot.messageId.empty())
        slot.messageId = NewMessageId(slot.fromAddress);
    ++m_count;
    ++m_queued;
    if (!m_senderRunning) {
        // A sender that marked itself ended touches nothing of ours any more: joining it
        // under the lock cannot wait for the lock.
        if (m_sender.joinable())
            m_sender.join();
        try {
            m_sender = std::thread(&CMailOutbox::senderMain, this);
            m_senderRunning = true;
        } catch (const std::system_error&) {
            // No thread now: the item waits for the next QueueMail.
        }
    }
    return true;
}

void CMailOutbox::finishSender()
{
    m_senderRunning = false;
    m_idle.notify_all();
}

void CMailOutbox::senderMain()
{
    for (;;) {
        std::string server, userName, password, caFile;
        SmtpSecurity security;
        std::uint64_t queuedBefore;
        {
            std::lock_guard lock(m_lock);
            if (m_stopRequested || m_count == 0) {
                finishSender();
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
            // The items stay queued. One that arrived while we tried deserves a new try;
            // otherwise the next QueueMail starts the next attempt.
            std::lock_guard lock(m_lock);
            if (m_stopRequested || m_queued == queuedBefore) {
                finishSender();
                return;
            }
            continue;
        }
        for (;;) {
            MailItem item;
            {
                std::lock_guard lock(m_lock);
                if (m_stopRequested || m_count == 0)
                    break;
                --m_count;
                item = std::move(m_slots[m_count]);
                m_slots[m_count] = MailItem{};
            }
            // A server that closed the connection after its last reply (a 421, or a plain
            // close) gets a new connection before the item, not the item in a dead socket.
            if (!m_connection.isUsable() && !m_connection.Connect(server)) {
                putBack(std::move(item));
                break;
            }
            // Sent without the lock, so that QueueMail never waits for the server.
            if (!sendItem(item)) {
                putBack(std::move(item));
                break;
            }
        }
        m_connection.Disconnect();
    }
}

bool CMailOutbox::sendItem(MailItem& item)
{
    CMailMessage message = MakeItemMessage(item);
    const int result = m_connection.SendMessage(message);
    // A connection lost on the way is no verdict on the item: it goes again on a new one.
    if (result != 0 && !m_connection.isConnected() && item.lostConnections++ == 0)
        return false;
    // Sent or refused, the item is done: its copies go.
    for (std::uint32_t i = 0; i < item.attachmentCount; ++i)
        DeleteFileSafely(item.attachments[i]);
    return true;
}

void CMailOutbox::putBack(MailItem item)
{
    std::lock_guard lock(m_lock);
    // Back on top: it was the newest and stays first in line.
    if (m_count < kSlots)
        m_slots[m_count++] = std::move(item);
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
    return m_count;
}

bool CMailOutbox::isSending() const
{
    std::lock_guard lock(m_lock);
    return m_senderRunning;
}

} // namespace tw
