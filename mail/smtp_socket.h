#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

struct ssl_st;

namespace tw {

/// "host", "host:port", "[v6-literal]" or "[v6-literal]:port"; an address with several
/// colons and no brackets is an IPv6 literal without a port. The port may be a number or a
/// service name; defaultPort is used when none is given.
struct ServerName
{
    std::string host;
    std::string port;
};
ServerName ParseServerName(const std::string& server, std::uint16_t defaultPort);

/// One TCP connection for the SMTP client, optionally inside TLS: non-blocking underneath,
/// every wait bounded, and Abort() from another thread ends any wait at once (and every later
/// one: abort is final).
class SmtpSocket
{
public:
    using Millis = std::chrono::milliseconds;

    SmtpSocket();
    ~SmtpSocket();
    SmtpSocket(const SmtpSocket&) = delete;
    SmtpSocket& operator=(const SmtpSocket&) = delete;

    /// Resolves the name and connects to the first address that answers within timeout.
    bool Open(const ServerName& server, Millis timeout);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    /// Starts TLS on the open connection and verifies the server's certificate against the
    /// system's trust store (plus caFile when given) and the host name. Empty on success;
    /// otherwise the reason in plain words, and the connection is closed.
    std::string StartTls(const std::string& host, const std::string& caFile, Millis timeout);
    bool IsEncrypted() const { return m_ssl != nullptr; }
    /// The peer is on this machine (127.0.0.0/8 or ::1).
    bool IsLoopback() const;
    /// This end's address as an SMTP address literal: "[127.0.0.1]", "[IPv6:::1]".
    std::string LocalAddressLiteral() const;
    /// Something arrived that nobody asked for, or the peer closed: between commands that
    /// means the server is going away (a 421, or a plain close).
    bool HasUnreadInput();

    /// Drops whatever the peer sent and nobody read yet.
    void DiscardPending();
    /// Sends all bytes; false on an error, an abort, or when the peer takes nothing for
    /// timeout.
    bool SendAll(const char* data, std::size_t length, Millis timeout);
    /// Waits up to timeout for data and reads at most length bytes: the count read, 0 when
    /// the peer closed, -1 on an error, a time-out or an abort.
    ssize_t Receive(char* buffer, std::size_t length, Millis timeout);

    /// Thread-safe: ends the current wait and makes every later operation fail.
    void Abort();
    bool IsAborted() const { return m_aborted.load(); }

private:
    enum class Wait { Ready, TimedOut, Failed };
    Wait waitFor(short events, Millis timeout);

    ssize_t tlsIo(bool write, char* data, std::size_t length, Millis timeout);
    void endTls();

    int m_fd = -1;
    ssl_st* m_ssl = nullptr;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_aborted{false};
};

} // namespace tw
