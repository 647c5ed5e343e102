#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mail/mail_message.h"
#include "mail/smtp_socket.h"

namespace tw {

/// An SMTP client over one TCP connection: greeting, EHLO (HELO when refused), AUTH LOGIN
/// when a user name is set, then MAIL FROM, RCPT TO and DATA per message, QUIT at the end.
/// Every command sent is written to the event log as a raw line (authentication answers
/// masked). Results are reply codes; -1 is a transport failure, a time-out or a refusal to
/// send unsafe text. Used by one thread at a time; only Abort() may come from another.
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

    int Hello();
    int AuthLogin();
    int MailFrom(const std::string& address);
    int RcptTo(const std::string& address);
    int Data(CMailMessage& message);
    int Quit();
    /// RSET: abandons the transaction that MAIL FROM opened.
    int Reset();

    /// Thread-safe: ends any wait now and fails every later operation (the owner is going).
    void Abort() { m_socket.Abort(); }

    const std::string& lastReply() const { return m_lastReply; }
    bool isConnected() const { return m_socket.IsOpen(); }
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
    /// Called after each piece of a text longer than one piece; 0 cancels the sending.
    virtual int OnProgress(std::string_view text, std::size_t sent, std::size_t total);

    void ReportError(int code);

private:
    int exchange(std::optional<std::string_view> text, std::string_view logText);
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
};

} // namespace tw
