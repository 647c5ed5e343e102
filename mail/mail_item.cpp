#include "mail/mail_item.h"

#include <algorithm>

namespace tw {

std::string RecipientNameOf(std::string_view address)
{
    return std::string(address.substr(0, address.find('@')));
}

CMailMessage MakeItemMessage(const MailItem& item)
{
    CMailMessage message;
    const std::uint32_t files =
        std::min<std::uint32_t>(item.attachmentCount, MailItem::kMaxAttachments);
    for (std::uint32_t i = 0; i < files; ++i)
        message.attachments.emplace_back(item.attachments[i]);
    message.subject = item.subject;
    message.from = {item.fromName, item.fromAddress};
    message.recipient = {item.toName, item.toAddress};
    message.to.push_back(message.recipient);
    message.textParts.emplace_back(item.body, "text/plain");
    message.messageId = item.messageId;
    return message;
}

} // namespace tw
