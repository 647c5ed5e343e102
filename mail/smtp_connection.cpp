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

// "AUTH PLAIN LOGIN" (or the older "AUTH=PLAIN LOGIN") among the extensions names it.
bool listsMechanism(const std::vector<std::string>& extensions, std::string_view mechanism)
{
    for (const auto& line : extensions) {
        if (line.size() < 5 || line.compare(0, 4, "AUTH") != 0 ||
            (line[4] != ' ' && line[4] != '='))
            continue;
        for (std::size_t at = 5; at < line.size();) {
            const std::size_t end = std::min(line.find(' ', at), line.size());
            if (std::string_view(line).substr(at, end - at) == mechanism)
                return true;
            at = end + 1;
        }
    }
    return false;
}

std::string_view withoutLineEnd(std::string_view text)
{
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        text.remove_suffix(2);
    return text;
}

} // namespace

std::optional<SmtpSecurity> ParseSmtpSecurity(std::string_view text)
{
    const std::string word = asciiLower(text);
    if (word == "automatic" || word == "auto")
        return SmtpSecurity::Automatic;
    if (word == "starttls")
        return SmtpSecurity::StartTls;
    if (word == "tls")
        return SmtpSecurity::Tls;
    if (word == "none")
        return SmtpSecurity::None;
    return std::nullopt;
}

const char* SmtpSecurityName(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::StartTls:
        return "starttls";
    case SmtpSecurity::Tls:
        return "tls";
    case SmtpSecurity::None:
        return "none";
    default:
        return "automatic";
    }
}

CSmtpConnection::CSmtpConnection() : m_port(smtpServicePort())
{}

void CSmtpConnection::SetSecurity(SmtpSecurity security, std::string caFile)
{
    m_security = security;
    m_caFile = std::move(caFile);
}

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
    // 421: the server is closing the connection; nothing more can be said on it.
    if (code == -1 || code == 421)
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

bool CSmtpConnection::fail(std::string words)
{
    m_lastError = std::move(words);
    return false;
}

bool CSmtpConnection::Connect(const std::string& server)
{
    Disconnect();
    m_lastError.clear();
    const ServerName name = ParseServerName(server, m_port);
    if (!m_socket.Open(name, m_timeout))
        return fail("no connection to " + server);
    const bool tlsFirst = m_security == SmtpSecurity::Tls ||
                          (m_security == SmtpSecurity::Automatic && name.port == "465");
    if (tlsFirst && !startTls(name.host))
        return false;
    const int greeting = SendCommand(std::nullopt);
    if (greeting != 220) {
        ReportError(greeting);
        Disconnect();
        return fail(greeting == -1 ? "no greeting from " + server
                                   : "the server refused the connection: " + m_lastReply);
    }
    if (Hello() != 0) {
        Disconnect();
        return fail("the server refused our greeting: " + m_lastReply);
    }
    if (!m_socket.IsEncrypted() && m_security != SmtpSecurity::None) {
        if (offers("STARTTLS")) {
            const int code = SendCommand("STARTTLS\r\n");
            if (code != 220) {
                ReportError(code);
                Disconnect();
                return fail(code == -1 ? "no answer to STARTTLS"
                                       : "the server refused STARTTLS: " + m_lastReply);
            }
            // RFC 3207: what the server said before TLS no longer counts; greet it again.
            if (!startTls(name.host))
                return false;
            if (Hello() != 0) {
                Disconnect();
                return fail("the server refused our greeting after STARTTLS: " + m_lastReply);
            }
        } else if (m_security == SmtpSecurity::StartTls) {
            Disconnect();
            return fail("the server does not offer STARTTLS, which the security setting "
                        "requires: nothing was sent");
        }
    }
    if (!m_userName.empty() && !m_socket.IsEncrypted() && m_security != SmtpSecurity::None &&
        !m_socket.IsLoopback()) {
        Disconnect();
        return fail("the server offers no encryption, and the password is not sent in clear "
                    "text (the security setting \"none\" allows it)");
    }
    if (m_extended)
        Authenticate(); // a refusal shows at MAIL FROM, when the server insists on it
    return true;
}

bool CSmtpConnection::startTls(const std::string& host)
{
    const std::string error = m_socket.StartTls(host, m_caFile, m_timeout);
    if (error.empty())
        return true;
    appLog().Write("CSmtpConnection::Connect() - TLS with " + host + " failed: " + error);
    m_greeted = m_extended = false;
    m_extensions.clear();
    return fail("no secure connection: " + error);
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
    m_extensions.clear();
}

bool CSmtpConnection::isUsable()
{
    if (m_socket.IsOpen() && m_socket.HasUnreadInput())
        dropConnection();
    return m_socket.IsOpen();
}

bool CSmtpConnection::offers(std::string_view keyword) const
{
    for (const auto& line : m_extensions)
        if (line == keyword || (line.starts_with(keyword) && line[keyword.size()] == ' '))
            return true;
    return false;
}

int CSmtpConnection::Hello()
{
    // A bare host name is refused by many servers: the fully qualified name, else the
    // address of this end of the connection.
    std::string name = FullyQualifiedHostName();
    if (name.empty())
        name = m_socket.LocalAddressLiteral();
    m_extensions.clear();
    int code = m_useEhlo ? SendCommand("EHLO " + name + "\r\n") : 0;
    m_extended = code == 250;
    if (code == -1) {
        ReportError(code);
        return code;
    }
    if (m_extended) {
        std::string_view reply = m_lastReply;
        for (auto lf = reply.find('\n'); lf != std::string_view::npos; lf = reply.find('\n')) {
            reply.remove_prefix(lf + 1);
            const std::string_view whole = reply.substr(0, reply.find_first_of("\r\n"));
            std::string line(whole.size() > 4 ? whole.substr(4) : std::string_view());
            for (char& c : line)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            m_extensions.push_back(std::move(line));
        }
    } else {
        code = SendCommand("HELO " + name + "\r\n");
        if (code != 250) {
            ReportError(code);
            return code;
        }
    }
    m_greeted = true;
    return 0;
}

int CSmtpConnection::sendPrompted(std::string_view answer)
{
    // The answers are the account in thin disguise: the log gets a mask instead.
    return exchange(CBase64::Encode(answer) + "\r\n", kMasked);
}

int CSmtpConnection::Authenticate()
{
    if (m_userName.empty())
        return 0;
    // PLAIN takes one round; LOGIN is what servers that list nothing have always taken.
    return listsMechanism(m_extensions, "PLAIN") ? AuthPlain() : AuthLogin();
}

int CSmtpConnection::AuthPlain()
{
    if (m_userName.empty())
        return 0;
    std::string token;
    token.push_back('\0');
    token.append(m_userName).push_back('\0');
    token.append(m_password);
    const std::string command = "AUTH PLAIN " + CBase64::Encode(token) + "\r\n";
    const int code = exchange(command, "AUTH PLAIN " + std::string(kMasked));
    if (code == 235)
        return 0;
    if (code == 535 && OnWarning(535, m_lastReply) != 0)
        return 0;
    m_lastError = "the server refused the user name or password: " + m_lastReply;
    ReportError(code);
    return code;
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
        Authenticate();
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
        return code;
    }
    if (message.messageId.empty())
        message.messageId = NewMessageId(message.from.address);
    // The text goes out as it is composed, in pieces: a large attachment is never held whole.
    std::string pending;
    std::size_t sent = 0, composed = 0;
    bool ok = true;
    const auto flush = [&](bool all) {
        std::size_t at = 0;
        while (ok && (pending.size() - at >= kPieceSize || (all && at < pending.size()))) {
            const std::size_t piece = std::min(kPieceSize, pending.size() - at);
            const bool only = sent == 0 && all && piece == pending.size();
            ok = m_socket.SendAll(pending.data() + at, piece, m_timeout) &&
                 (only ||
                  OnProgress(std::string_view(pending).substr(at, piece), sent + piece, 0) != 0);
            at += piece;
            sent += piece;
        }
        pending.erase(0, at);
        return ok;
    };
    m_socket.DiscardPending();
    ComposeMessage(message, TickCount(), [&](std::string_view piece) {
        composed += piece.size();
        pending.append(piece);
        return flush(false);
    });
    pending.append("\r\n.\r\n");
    // The log gets the size: the text holds addresses and the whole attachment.
    appLog().WriteRaw("<message of " + std::to_string(composed) + " bytes>");
    if (!flush(true)) {
        dropConnection();
        m_lastError = "the connection was lost while the message was sent";
        return -1;
    }
    code = exchange(std::nullopt, {});
    if (code != 250) {
        ReportError(code);
        return code;
    }
    return 0;
}

int CSmtpConnection::keepRefusal(int code)
{
    // The refusal is what the caller wants to read, not the reply to the RSET after it.
    const std::string refusal = m_lastReply;
    if (code != -1 && code != 421 && m_socket.IsOpen())
        Reset(); // close the open transaction, or the next MAIL FROM is refused as nested
    m_lastReply = refusal;
    m_lastError = code == -1 ? "the connection to the server was lost" : refusal;
    return code;
}

int CSmtpConnection::SendMessage(CMailMessage& message)
{
    m_lastError.clear();
    if (!isUsable()) {
        m_lastError = "the server closed the connection";
        return -1;
    }
    // An address with a line break could smuggle commands into the dialogue: such a sender
    // fails the message, such a recipient is refused like one the server refused.
    if (!IsSafeAddress(message.from.address))
        return -1;
    if (message.recipient.address.empty() && message.cc.empty())
        return -1;
    if (const int code = MailFrom(message.from.address); code != 0)
        return keepRefusal(code);
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
        if (!last) {
            keepRefusal(0);
            m_lastError = "no recipient address can be used";
            return -1;
        }
        ReportError(*last);
        return keepRefusal(*last);
    }
    const int code = Data(message);
    return code == 0 ? 0 : keepRefusal(code);
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
