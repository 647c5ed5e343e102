#include "mail/mail_item_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "mail/smtp_connection.h"

namespace tw {
namespace {

std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

std::string unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    }
    return out;
}

std::int64_t number(const std::string& text)
{
    try {
        return std::stoll(text);
    } catch (...) {
        return 0;
    }
}

} // namespace

bool SaveMailItem(const std::string& path, const MailItem& item)
{
    std::ostringstream out;
    out << "fromName=" << escaped(item.fromName) << "\nfromAddress=" << escaped(item.fromAddress)
        << "\nrecipientCount=" << item.recipientCount << "\ntoName=" << escaped(item.toName)
        << "\ntoAddress=" << escaped(item.toAddress) << "\nsubject=" << escaped(item.subject)
        << "\nbody=" << escaped(item.body) << "\nmessageId=" << escaped(item.messageId)
        << "\nsequence=" << item.sequence << "\nfirstQueued=" << item.firstQueued
        << "\nnextAttempt=" << item.nextAttempt << "\nattempts=" << item.attempts << "\n";
    for (std::uint32_t i = 0; i < item.attachmentCount && i < MailItem::kMaxAttachments; ++i)
        out << "attachment=" << escaped(item.attachments[i]) << "\n";
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << out.str();
        file.flush();
        if (!file) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<MailItem> LoadMailItem(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    MailItem item;
    std::string line;
    while (std::getline(file, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = unescaped(std::string_view(line).substr(eq + 1));
        if (key == "fromName")
            item.fromName = value;
        else if (key == "fromAddress")
            item.fromAddress = value;
        else if (key == "recipientCount")
            item.recipientCount = static_cast<std::uint32_t>(number(value));
        else if (key == "toName")
            item.toName = value;
        else if (key == "toAddress")
            item.toAddress = value;
        else if (key == "subject")
            item.subject = value;
        else if (key == "body")
            item.body = value;
        else if (key == "messageId")
            item.messageId = value;
        else if (key == "sequence")
            item.sequence = static_cast<std::uint64_t>(number(value));
        else if (key == "firstQueued")
            item.firstQueued = number(value);
        else if (key == "nextAttempt")
            item.nextAttempt = number(value);
        else if (key == "attempts")
            item.attempts = static_cast<std::uint32_t>(number(value));
        else if (key == "attachment" && item.attachmentCount < MailItem::kMaxAttachments)
            item.attachments[item.attachmentCount++] = value;
    }
    if (item.recipientCount == 0 || !CSmtpConnection::IsSafeAddress(item.fromAddress) ||
        item.toAddress.empty())
        return std::nullopt;
    return item;
}

} // namespace tw
