#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail_message.h"
#include "mail/smtp_socket.h"

namespace tw {

/// How the connection is protected. Automatic: TLS from the start on port 465, otherwise
/// STARTTLS when the server offers it. StartTls: STARTTLS or no mail. Tls: TLS from the
/// start on any port. None: clear text, credentials included.
enum class SmtpSecurity { Automatic, StartTls, Tls, None };
/// "automatic", "starttls", "tls", "none" (any letter case; "auto" too); nullopt otherwise.
std::optional<SmtpSecurity> ParseSmtpSecurity(std::string_view text);
const char* SmtpSecurityName(SmtpSecurity security);

/// An SMTP client over one TCP connection: TLS from the start or after STARTTLS as the
/// security setting asks, greeting, EHLO (HELO when refused), AUTH PLAIN or LOGIN when a user
/// name is set (never over clear text to another machine unless the setting is None), then
/// MAIL FROM, RCPT TO and DATA per message, QUIT at the end. Every command sent is written
/// to the event log as a raw line (authentication answers masked, the message text as its
/// size). Results are reply codes; -1 is a transport failure, a time-out, a TLS failure or a
/// refusal to send unsafe text; lastError() then says what happened in plain words. Used by
/// one thread at a time; only Abort() may come from another.
class CSmtpConnection
{
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};
    static constexpr std::size_t kPieceSize = 1024;
    static constexpr std::size_t kReplySize = 1024;

    CSmtpConnection();
    virtual ~CSmtpConnection();
    CSmtpConnection(const CSmtpConnection&) = delete;
    CSmtpConnection& operator=(const CSmtpConnection&) = delete;

    void SetAccount(std::string userName, std::string password);
    /// The longest wait for one reply (and for the connection, and for the peer to take a
    /// piece of text).
    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    void SetUseEhlo(bool useEhlo) { m_useEhlo = useEhlo; }
    /// caFile: extra trusted certificates (PEM) beside the system's, for a private server.
    void SetSecurity(SmtpSecurity security, std::string caFile = {});

    /// Connects to "host", "host:port" or "[v6]:port", reads the greeting and says hello
    /// (authenticating when a user name is set). False when any of that fails.
    bool Connect(const std::string& server);
    /// QUIT when the server accepted our hello, then closes.
    void Disconnect();
    /// 0 when the server accepted the message; -1 without a usable sender or recipient;
    /// else the refusing reply code or -1.
    int SendMessage(CMailMessage& message);

    /// Sends text (when given) and reads one reply: its code, or -1.
    int SendCommand(std::optional<std::string_view> text);

    /// EHLO (HELO when refused), reading the server's extensions.
    int Hello();
    /// AUTH PLAIN when the server lists it, else AUTH LOGIN; 0 without a user name.
    int Authenticate();
    int AuthLogin();
    int AuthPlain();
    int MailFrom(const std::string& address);
    int RcptTo(const std::string& address);
    int Data(CMailMessage& message);
    int Quit();
    /// RSET: abandons the transaction that MAIL FROM opened.
    int Reset();

    /// Thread-safe: ends any wait now and fails every later operation (the owner is going).
    void Abort() { m_socket.Abort(); }

    const std::string& lastReply() const { return m_lastReply; }
    /// Why the last operation failed, in plain words (the server's reply when it refused).
    const std::string& lastError() const { return m_lastError; }
    bool isConnected() const { return m_socket.IsOpen(); }
    /// Connected, and the server has not said or done anything since its last reply (a 421
    /// or a close announce that it is going): the next command can be sent.
    bool isUsable();
    bool isEncrypted() const { return m_socket.IsEncrypted(); }
    /// The extension keyword (as EHLO listed it, upper case) is offered: "STARTTLS", "AUTH".
    bool offers(std::string_view keyword) const;
    bool isGreeted() const { return m_greeted; }
    bool isExtended() const { return m_extended; }
    std::uint16_t port() const { return m_port; }

    /// An address that can go into an SMTP command and a header: non-empty, no control
    /// characters, no angle brackets.
    static bool IsSafeAddress(std::string_view address);

protected:
    /// A refused recipient or authentication; a non-zero result from a refused password
    /// replaces the reply code.
    virtual int OnWarning(int code, const std::string& reply);
    virtual int OnError(int code, const std::string& reply);
    virtual void OnResponse(std::string_view command, int code, const std::string& reply);
    /// Called after each piece of a text longer than one piece; 0 cancels the sending. The
    /// message text is streamed, so its total is not known: total is 0 then.
    virtual int OnProgress(std::string_view text, std::size_t sent, std::size_t total);

    void ReportError(int code);

private:
    int exchange(std::optional<std::string_view> text, std::string_view logText);
    bool startTls(const std::string& host);
    bool fail(std::string words);
    int keepRefusal(int code);
    int readReply(std::string_view command);
    int sendPrompted(std::string_view answer);
    void dropConnection();

    SmtpSocket m_socket;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    bool m_useEhlo = true;
    std::uint16_t m_port = 25;
    std::string m_userName;
    std::string m_password;
    std::string m_lastReply;
    bool m_greeted = false;
    bool m_extended = false;
    SmtpSecurity m_security = SmtpSecurity::Automatic;
    std::string m_caFile;
    std::string m_lastError;
    std::vector<std::string> m_extensions; ///< EHLO lines after the first, upper case
};

} // namespace tw
