// tellwick-tool mail: compose the notification mail the outbox would send and print it, or
// send it for real through an SMTP server ("send a test mail").
//
// compose prints the message exactly as it goes after DATA (without the end-of-data line);
// --date, --zone and --tick fix what would otherwise come from the clock, so the output can
// be compared byte for byte. send exits 0 only when the server accepted the message and
// prints the refusal or the failure otherwise; the attached files are left alone.

#include <CLI/CLI.hpp>
#include <cstdio>

#include "mail/mail_compose.h"
#include "mail/mail_item.h"
#include "mail/mail_system.h"
#include "mail/smtp_connection.h"
#include "tool/cli_args.h"
#include "tool/tool_command.h"

namespace {

struct MessageOptions
{
    std::string fromName, from, to, toName, subject, body, date, zone, tick;
    std::vector<std::string> attachments;
};

void addMessageOptions(CLI::App* command, MessageOptions& o)
{
    command->add_option("--from-name", o.fromName, "sender's display name")->required();
    command->add_option("--from", o.from, "sender's address")->required();
    command->add_option("--to", o.to, "recipient's address")->required();
    command->add_option("--to-name", o.toName,
                        "recipient's display name (default: the address before its '@')");
    command->add_option("--subject", o.subject, "subject")->required();
    command->add_option("--body", o.body, "text of the mail")->required();
    command->add_option("--attach", o.attachments, "a file to attach (up to 5)");
    command->add_option("--date", o.date, "date and time shown, \"YYYY-MM-DD HH:MM:SS\"");
    command->add_option("--zone", o.zone, "offset from UTC shown, [+|-]HHMM");
}

bool parseDate(const std::string& text, tw::MailDate& date)
{
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
        6)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || y < 1)
        return false;
    date = tw::MailDate{y, mo, d, tw::DayOfWeek(y, mo, d), h, mi, s};
    return true;
}

bool parseZone(const std::string& text, int& zone)
{
    std::size_t at = 0;
    int sign = 1;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        sign = text[0] == '-' ? -1 : 1;
        at = 1;
    }
    if (text.size() != at + 4 || text.find_first_not_of("0123456789", at) != std::string::npos)
        return false;
    const int hhmm = std::stoi(text.substr(at));
    if (hhmm % 100 > 59 || hhmm / 100 > 23)
        return false;
    zone = sign * hhmm;
    return true;
}

bool parseTick(const std::string& text, std::uint32_t& tick)
{
    if (text.empty() || text.size() > 8 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    tick = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    return true;
}

bool makeMessage(const MessageOptions& o, tw::CMailMessage& message)
{
    if (o.attachments.size() > tw::MailItem::kMaxAttachments) {
        std::fprintf(stderr, "tellwick-tool mail: at most 5 attachments\n");
        return false;
    }
    tw::MailItem item;
    item.fromName = o.fromName;
    item.fromAddress = o.from;
    item.recipientCount = 1;
    item.toAddress = o.to;
    item.toName = o.toName.empty() ? tw::RecipientNameOf(o.to) : o.toName;
    item.subject = o.subject;
    item.body = o.body;
    item.attachmentCount = static_cast<std::uint32_t>(o.attachments.size());
    for (std::size_t i = 0; i < o.attachments.size(); ++i)
        item.attachments[i] = o.attachments[i];
    message = tw::MakeItemMessage(item);
    if (!o.date.empty() && !parseDate(o.date, message.date)) {
        std::fprintf(stderr, "tellwick-tool mail: --date wants \"YYYY-MM-DD HH:MM:SS\"\n");
        return false;
    }
    if (!o.zone.empty() && !parseZone(o.zone, message.zone)) {
        std::fprintf(stderr, "tellwick-tool mail: --zone wants [+|-]HHMM\n");
        return false;
    }
    return true;
}

int run(const std::vector<std::string>& args)
{
    CLI::App app{"Compose or send the notification mail", "tellwick-tool mail"};
    app.require_subcommand(1);

    MessageOptions compose;
    auto* composeCommand =
        app.add_subcommand("compose", "print the message as it would go after DATA");
    addMessageOptions(composeCommand, compose);
    composeCommand->add_option("--tick", compose.tick, "tick count for the boundaries, hex");

    MessageOptions send;
    std::string server, user, password, security = "automatic", caFile;
    auto* sendCommand = app.add_subcommand("send", "send the message through an SMTP server");
    addMessageOptions(sendCommand, send);
    sendCommand->add_option("--server", server, "HOST or HOST:PORT")->required();
    auto* userOption = sendCommand->add_option("--user", user, "user name for AUTH");
    sendCommand->add_option("--password", password, "password for AUTH")->needs(userOption);
    sendCommand
        ->add_option("--security", security,
                     "auto (TLS on port 465, else STARTTLS when offered), starttls, tls or none")
        ->check([](const std::string& text) {
            return tw::ParseSmtpSecurity(text) ? std::string() : "auto, starttls, tls or none";
        });
    sendCommand->add_option("--ca-file", caFile, "extra trusted certificates (PEM)")
        ->check(CLI::ExistingFile);

    if (const auto status = tw::tool::parseVerbArguments(app, "tellwick-tool mail", args))
        return *status;

    tw::CMailMessage message;
    if (*composeCommand) {
        std::uint32_t tick = tw::TickCount();
        if (!compose.tick.empty() && !parseTick(compose.tick, tick)) {
            std::fprintf(stderr, "tellwick-tool mail: --tick wants up to 8 hex digits\n");
            return 2;
        }
        if (!makeMessage(compose, message))
            return 2;
        // A fixed tick gives a fixed Message-ID too, so the output can be compared.
        message.messageId = compose.tick.empty() ? tw::NewMessageId(message.from.address)
                                                 : compose.tick + "@compose.invalid";
        // Straight to the output as it is composed: a large attachment is never held whole.
        const bool written = tw::ComposeMessage(message, tick, [](std::string_view piece) {
            return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
        });
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }

    if (!makeMessage(send, message))
        return 2;
    tw::CSmtpConnection connection;
    connection.SetAccount(user, password);
    connection.SetSecurity(*tw::ParseSmtpSecurity(security), caFile);
    if (!connection.Connect(server)) {
        std::fprintf(stderr, "tellwick-tool mail: no SMTP conversation with %s: %s\n",
                     server.c_str(), connection.lastError().c_str());
        return 1;
    }
    const int result = connection.SendMessage(message);
    const std::string reply = connection.lastReply();
    const std::string error = connection.lastError();
    connection.Disconnect();
    if (result != 0) {
        std::fprintf(stderr, "tellwick-tool mail: not sent (%d): %s\n", result, error.c_str());
        return 1;
    }
    std::printf("sent: %s\n", reply.c_str());
    return 0;
}

tw::tool::ToolCommandRegistrar reg({"mail", "compose or send the notification mail", &run});

} // namespace
