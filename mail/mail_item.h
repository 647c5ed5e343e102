#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mail_message.h"

namespace tw {

/// One notification for the outbox: who sends it to whom, its text, and up to five files to
/// attach. The outbox deletes the files once it has tried to send them.
struct MailItem
{
    static constexpr std::size_t kMaxAttachments = 5;

    std::string fromName;
    std::string fromAddress;
    std::uint32_t recipientCount = 0; ///< must be non-zero for the item to be accepted
    std::string toName;
    std::string toAddress;
    std::string subject;
    std::string body;
    std::uint32_t attachmentCount = 0; ///< 0 to 5: the first attachmentCount paths are used
    std::array<std::string, kMaxAttachments> attachments;
    std::string messageId; ///< kept across attempts, so a resent mail is the same one

    // The outbox's record of its attempts (kept in the item's file across restarts).
    std::uint64_t sequence = 0;        ///< order of queueing: the newest goes first
    std::int64_t firstQueued = 0;      ///< wall-clock seconds when it was queued
    std::int64_t nextAttempt = 0;      ///< not tried again before this wall-clock second
    std::uint32_t attempts = 0;        ///< attempts that failed for a passing reason
    std::uint32_t lostConnections = 0; ///< in this sender run: attempts that lost the server
};

/// The display name a recipient address gets: the part before its first at-sign, or all of
/// it when it holds none ("bob@example.com" -> "bob").
std::string RecipientNameOf(std::string_view address);

/// The message an item becomes: the body as one text/plain part, each file attached with
/// everything automatic, the recipient as envelope recipient and the one To entry.
CMailMessage MakeItemMessage(const MailItem& item);

} // namespace tw
