// An SMTP server's replies are outside bytes: the client reads them into a fixed buffer,
// splits multi-line replies and takes a code from them at every step of the dialogue. The
// input is what a server on loopback says, NUL-separated: the first piece at once, each
// further piece after the client has said something, then the server hangs up. The client
// connects, authenticates when the input's length is odd, and sends one message.
#include <cstring>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fuzz/fuzz_support.h"
#include "mail/mail_message.h"
#include "mail/smtp_connection.h"

namespace {

/// A listening socket on a free loopback port, made once.
int listener(std::uint16_t& port)
{
    static std::uint16_t boundPort = 0;
    static const int fd = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        tw::fuzz::check(s >= 0 &&
                            ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                            ::listen(s, 4) == 0 &&
                            ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0,
                        "cannot listen on loopback");
        boundPort = ntohs(address.sin_port);
        return s;
    }();
    port = boundPort;
    return fd;
}

bool sendAll(int peer, const std::uint8_t* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::send(peer, data + done, size - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/// Says each piece of data in turn, letting the client answer between pieces; then reads
/// whatever the client sends until it hangs up.
void serve(int listening, const std::uint8_t* data, std::size_t size)
{
    const int peer = ::accept(listening, nullptr, nullptr);
    if (peer < 0)
        return;
    char heard[4096];
    for (std::size_t start = 0; start <= size;) {
        const auto* nul =
            static_cast<const std::uint8_t*>(std::memchr(data + start, 0, size - start));
        const std::size_t end = nul ? static_cast<std::size_t>(nul - data) : size;
        if (!sendAll(peer, data + start, end - start))
            break;
        start = end + 1;
        // A client still waiting for the rest of a reply says nothing: go on after a moment.
        pollfd wait{peer, POLLIN, 0};
        if (start <= size && ::poll(&wait, 1, 5) == 1 && ::recv(peer, heard, sizeof heard, 0) <= 0)
            break;
    }
    ::shutdown(peer, SHUT_WR);
    while (::recv(peer, heard, sizeof heard, 0) > 0) {
    }
    ::close(peer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t port = 0;
    const int listening = listener(port);
    std::thread server(serve, listening, data, size);

    tw::CSmtpConnection connection;
    connection.SetTimeout(std::chrono::milliseconds(2000));
    if (size % 2 == 1)
        connection.SetAccount("user", "secret");
    if (connection.Connect("127.0.0.1:" + std::to_string(port))) {
        tw::CMailMessage message;
        message.from.address = "me@example.org";
        message.recipient.address = "you@example.org";
        message.cc.push_back({"", "other@example.org"});
        message.subject = "Voice mail";
        message.textParts.emplace_back("A new voice mail.");
        (void)connection.SendMessage(message);
    }
    tw::fuzz::check(connection.lastReply().size() <= tw::CSmtpConnection::kReplySize,
                    "a reply longer than the buffer");
    connection.Disconnect();
    server.join();
    return 0;
}
