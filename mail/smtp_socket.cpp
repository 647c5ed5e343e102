#include "mail/smtp_socket.h"

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tw {

bool tlsPending(ssl_st* ssl); // smtp_socket_tls.cpp

ServerName ParseServerName(const std::string& server, std::uint16_t defaultPort)
{
    ServerName name{server, std::to_string(defaultPort)};
    if (!server.empty() && server.front() == '[') {
        const auto close = server.find(']');
        if (close != std::string::npos) {
            name.host = server.substr(1, close - 1);
            if (close + 1 < server.size() && server[close + 1] == ':' && close + 2 < server.size())
                name.port = server.substr(close + 2);
        }
        return name;
    }
    const auto colon = server.find(':');
    if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos) {
        name.host = server.substr(0, colon);
        if (colon + 1 < server.size())
            name.port = server.substr(colon + 1);
    }
    return name;
}

SmtpSocket::SmtpSocket()
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

SmtpSocket::~SmtpSocket()
{
    Close();
    for (const int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

void SmtpSocket::Abort()
{
    m_aborted = true;
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
    }
}

SmtpSocket::Wait SmtpSocket::waitFor(short events, Millis timeout)
{
    if (m_aborted || m_fd < 0)
        return Wait::Failed;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0)
            return Wait::TimedOut;
        pollfd fds[2] = {{m_fd, events, 0}, {m_wake[0], POLLIN, 0}};
        const int n = ::poll(fds, m_wake[0] >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (m_aborted)
            return Wait::Failed;
        if (n == 0)
            return Wait::TimedOut;
        // An error or hang-up still lets recv tell what happened.
        if (fds[0].revents & (events | POLLERR | POLLHUP))
            return Wait::Ready;
    }
}

bool SmtpSocket::Open(const ServerName& server, Millis timeout)
{
    Close();
    if (m_aborted)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    if (::getaddrinfo(server.host.c_str(), server.port.c_str(), &hints, &list) != 0)
        return false;
    for (addrinfo* ai = list; ai != nullptr && !m_aborted; ai = ai->ai_next) {
        m_fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                        ai->ai_protocol);
        if (m_fd < 0)
            continue;
        bool connected = ::connect(m_fd, ai->ai_addr, ai->ai_addrlen) == 0;
        if (!connected && errno == EINPROGRESS && waitFor(POLLOUT, timeout) == Wait::Ready) {
            int error = 0;
            socklen_t size = sizeof error;
            connected = ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        if (connected)
            break;
        Close();
    }
    ::freeaddrinfo(list);
    return m_fd >= 0;
}

void SmtpSocket::Close()
{
    endTls();
    if (m_fd < 0)
        return;
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_fd = -1;
}

void SmtpSocket::DiscardPending()
{
    char buffer[1024];
    if (m_ssl != nullptr) {
        while (HasUnreadInput() && tlsIo(false, buffer, sizeof buffer, Millis(0)) > 0) {
        }
        return;
    }
    while (m_fd >= 0 && ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

bool SmtpSocket::HasUnreadInput()
{
    if (m_fd < 0)
        return false;
    pollfd fd{m_fd, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 || (m_ssl != nullptr && tlsPending(m_ssl));
}

bool SmtpSocket::IsLoopback() const
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

std::string SmtpSocket::LocalAddressLiteral() const
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    char text[INET6_ADDRSTRLEN] = {};
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return "[127.0.0.1]";
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
        ::inet_ntop(AF_INET6, &v6, text, sizeof text);
        return std::string("[IPv6:") + text + "]";
    }
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                sizeof text);
    return std::string("[") + text + "]";
}

bool SmtpSocket::SendAll(const char* data, std::size_t length, Millis timeout)
{
    if (m_ssl != nullptr) {
        while (length > 0) {
            const ssize_t n = tlsIo(true, const_cast<char*>(data), length, timeout);
            if (n <= 0)
                return false;
            data += n;
            length -= static_cast<std::size_t>(n);
        }
        return true;
    }
    while (length > 0) {
        if (waitFor(POLLOUT, timeout) != Wait::Ready)
            return false;
        const ssize_t n = ::send(m_fd, data, length, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t SmtpSocket::Receive(char* buffer, std::size_t length, Millis timeout)
{
    if (m_ssl != nullptr)
        return tlsIo(false, buffer, length, timeout);
    for (;;) {
        if (waitFor(POLLIN, timeout) != Wait::Ready)
            return -1;
        const ssize_t n = ::recv(m_fd, buffer, length, 0);
        if (n >= 0)
            return n;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return -1;
    }
}

} // namespace tw
