#include "mail/smtp_connection.h"

#include <array>

#include <netdb.h>

#include "app/log.h"
#include "mail/base64.h"
#include "mail/mail_compose.h"
#include "mail/mail_system.h"
#include "platform/utf.h"

namespace tw {
namespace {

// What the log shows in place of an authentication answer.
constexpr std::string_view kMasked = "********";
// How often MAIL FROM is retried after authenticating again on "530 authentication
// required"; a server that keeps refusing would otherwise hold the sender forever.
constexpr int kMailFromRetries = 2;
// Authentication rounds that a warning hook may restart.
constexpr int kAuthRounds = 3;

std::uint16_t smtpServicePort()
{
    const servent* service = ::getservbyname("smtp", "tcp");
    return service ? ntohs(static_cast<std::uint16_t>(service->s_port)) : 25;
}

std::string_view withoutLineEnd(std::string_view text)
{
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        text.remove_suffix(2);
    return text;
}

} // namespace

CSmtpConnection::CSmtpConnection() : m_port(smtpServicePort())
{}

CSmtpConnection::~CSmtpConnection()
{
    Disconnect();
}

void CSmtpConnection::SetAccount(std::string userName, std::string password)
{
    m_userName = std::move(userName);
    m_password = std::move(password);
}

bool CSmtpConnection::IsSafeAddress(std::string_view address)
{
    if (address.empty())
        return false;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '<' || c == '>')
            return false;
    }
    return true;
}

int CSmtpConnection::OnWarning(int, const std::string&)
{
    return 0;
}

int CSmtpConnection::OnError(int, const std::string&)
{
    return 0;
}

void CSmtpConnection::OnResponse(std::string_view, int, const std::string&)
{}

int CSmtpConnection::OnProgress(std::string_view, std::size_t, std::size_t)
{
    return 1;
}

void CSmtpConnection::ReportError(int code)
{
    if (code == -1)
        m_greeted = false; // the connection is dead: no QUIT
    OnError(code, m_lastReply);
}

int CSmtpConnection::SendCommand(std::optional<std::string_view> text)
{
    return exchange(text, text ? withoutLineEnd(*text) : std::string_view());
}

int CSmtpConnection::exchange(std::optional<std::string_view> text, std::string_view logText)
{
    if (text) {
        appLog().WriteRaw(logText);
        m_socket.DiscardPending();
        const std::size_t total = text->size();
        for (std::size_t sent = 0; sent < total;) {
            const std::size_t piece = std::min(kPieceSize, total - sent);
            if (!m_socket.SendAll(text->data() + sent, piece, m_timeout)) {
                dropConnection();
                return -1;
            }
            sent += piece;
            if (total > kPieceSize && OnProgress(*text, sent, total) == 0) {
                dropConnection();
                return -1;
            }
        }
    }
    const int code = readReply(text.value_or(std::string_view()));
    if (code == -1)
        dropConnection();
    return code;
}

void CSmtpConnection::dropConnection()
{
    // After a time-out or a garbled reply the dialogue is out of step: nothing more can be
    // said on this connection, and every later command fails at once.
    m_socket.Close();
    m_greeted = false;
    m_extended = false;
}

int CSmtpConnection::readReply(std::string_view command)
{
    std::array<char, kReplySize> buffer;
    std::size_t used = 0;
    std::size_t cut = 0;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + m_timeout;
    while (!complete && used < buffer.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const ssize_t n = m_socket.Receive(buffer.data() + used, buffer.size() - used, left);
        if (n <= 0)
            break;
        used += static_cast<std::size_t>(n);
        const std::string_view text(buffer.data(), used);
        const auto lastLf = text.rfind('\n');
        if (lastLf == std::string_view::npos)
            continue;
        cut = lastLf > 0 && text[lastLf - 1] == '\r' ? lastLf - 1 : lastLf;
        const auto previousLf = text.substr(0, cut).rfind('\n');
        const std::string_view lastLine =
            text.substr(previousLf == std::string_view::npos ? 0 : previousLf + 1,
                        cut - (previousLf == std::string_view::npos ? 0 : previousLf + 1));
        // "250-..." continues a multi-line reply; "250 ..." ends it.
        complete = !(lastLine.size() >= 4 && lastLine[3] == '-');
    }
    // A reply that does not fit the buffer is treated as a failed read.
    m_lastReply.assign(buffer.data(), complete ? cut : used);
    if (!complete)
        return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (m_lastReply.size() < 3 || m_lastReply[i] < '0' || m_lastReply[i] > '9')
            return -1;
        code = code * 10 + (m_lastReply[i] - '0');
    }
    OnResponse(command, code, m_lastReply);
    return code;
}

bool CSmtpConnection::Connect(const std::string& server)
{
    Disconnect();
    if (!m_socket.Open(ParseServerName(server, m_port), m_timeout))
        return false;
    const int greeting = SendCommand(std::nullopt);
    if (greeting != 220) {
        ReportError(greeting);
        Disconnect();
        return false;
    }
    if (Hello() != 0) {
        Disconnect();
        return false;
    }
    return true;
}

void CSmtpConnection::Disconnect()
{
    if (!m_socket.IsOpen())
        return;
    if (m_greeted)
        Quit();
    m_socket.Close();
    m_greeted = false;
    m_extended = false;
}

int CSmtpConnection::Hello()
{
    const std::string name = HeaderSafe(ComputerName());
    int code = m_useEhlo ? SendCommand("EHLO " + name + "\r\n") : 0;
    m_extended = code == 250;
    if (code == -1) {
        ReportError(code);
        return code;
    }
    if (!m_extended) {
        code = SendCommand("HELO " + name + "\r\n");
        if (code != 250) {
            ReportError(code);
            return code;
        }
    }
    m_greeted = true;
    if (m_extended)
        AuthLogin(); // a refusal shows at MAIL FROM, when the server insists on it
    return 0;
}

int CSmtpConnection::sendPrompted(std::string_view answer)
{
    // The answers are the account in thin disguise: the log gets a mask instead.
    return exchange(CBase64::Encode(answer) + "\r\n", kMasked);
}

int CSmtpConnection::AuthLogin()
{
    if (m_userName.empty())
        return 0;
    for (int round = 0; round < kAuthRounds; ++round) {
        int code = SendCommand("AUTH LOGIN\r\n");
        if (code != 334) {
            OnWarning(code, m_lastReply);
            return code;
        }
        // Servers word the prompts differently ("Username:", "User Name" with a NUL, ...):
        // a prompt naming the user or the password gets that; otherwise the first prompt
        // gets the user name and the second the password.
        int answers = 0;
        bool restart = false;
        while (!restart) {
            if (answers == 2) {
                ReportError(334);
                return 334;
            }
            const std::string prompt =
                asciiLower(CBase64::Decode(m_lastReply.size() > 4 ? m_lastReply.substr(4) : ""));
            const bool wantsUser = prompt.find("user") != std::string::npos;
            const bool wantsPassword = prompt.find("pass") != std::string::npos;
            const bool password = wantsPassword || (!wantsUser && answers == 1);
            code = sendPrompted(password ? m_password : m_userName);
            ++answers;
            if (code == 535) {
                const int replaced = OnWarning(535, m_lastReply);
                if (replaced == 0) {
                    ReportError(535);
                    return 535;
                }
                code = replaced;
            }
            if (code == 235)
                return 0;
            if (code == 1) {
                restart = true;
            } else if (code != 334) {
                ReportError(code);
                return code;
            }
        }
    }
    ReportError(334);
    return 334;
}

int CSmtpConnection::MailFrom(const std::string& address)
{
    const std::string command = "MAIL FROM: <" + address + ">\r\n";
    int code = SendCommand(command);
    for (int retry = 0; code == 530 && !m_userName.empty() && retry < kMailFromRetries; ++retry) {
        AuthLogin();
        code = SendCommand(command);
    }
    if (code != 250) {
        ReportError(code);
        return code;
    }
    return 0;
}

int CSmtpConnection::RcptTo(const std::string& address)
{
    const int code = SendCommand("RCPT TO: <" + address + ">\r\n");
    if (code == 250 || code == 251)
        return 0;
    OnWarning(code, m_lastReply);
    return code;
}

int CSmtpConnection::Data(CMailMessage& message)
{
    int code = SendCommand("DATA\r\n");
    if (code != 354) {
        ReportError(code);
        Reset();
        return code;
    }
    std::string text = ComposeMessageText(message);
    text.append("\r\n.\r\n");
    code = SendCommand(text);
    if (code != 250) {
        ReportError(code);
        return code;
    }
    return 0;
}

int CSmtpConnection::SendMessage(CMailMessage& message)
{
    // An address with a line break could smuggle commands into the dialogue: such a sender
    // fails the message, such a recipient is refused like one the server refused.
    if (!IsSafeAddress(message.from.address))
        return -1;
    if (message.recipient.address.empty() && message.cc.empty())
        return -1;
    if (const int code = MailFrom(message.from.address); code != 0)
        return code;
    int accepted = 0;
    std::optional<int> last;
    const auto send = [&](const std::string& address) {
        if (!IsSafeAddress(address))
            return;
        last = RcptTo(address);
        if (*last == 0)
            ++accepted;
    };
    if (!message.recipient.address.empty())
        send(message.recipient.address);
    for (const auto& entry : message.cc)
        send(entry.address);
    for (const auto& entry : message.bcc)
        send(entry.address);
    if (accepted == 0) {
        // Close the open transaction, or the next message's MAIL FROM is refused as nested.
        Reset();
        if (!last)
            return -1;
        ReportError(*last);
        return *last;
    }
    return Data(message);
}

int CSmtpConnection::Reset()
{
    const int code = SendCommand("RSET\r\n");
    return code == 250 ? 0 : code;
}

int CSmtpConnection::Quit()
{
    if (!m_greeted)
        return 0;
    const int code = SendCommand("QUIT\r\n");
    if (code != 221)
        ReportError(code);
    m_greeted = false;
    return code == 221 ? 0 : code;
}

} // namespace tw
