// TLS for the SMTP socket: OpenSSL (loaded at the first use) over the non-blocking
// descriptor, every wait through the socket's own bounded, abortable waitFor.
#include <memory>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <poll.h>

#include "mail/openssl_api.h"
#include "mail/smtp_socket.h"

namespace tw {
namespace {

// Loaded before any of this runs: StartTls checks, and nothing else runs without a session.
const OpenSslApi& ssl()
{
    std::string ignored;
    return *OpenSsl(ignored);
}

struct ContextDeleter
{
    void operator()(SSL_CTX* context) const { ssl().SSL_CTX_free(context); }
};

bool isAddressLiteral(const std::string& host)
{
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The first queued OpenSSL error, as a phrase; empty when none was queued.
std::string openSslReason()
{
    const unsigned long code = ssl().ERR_get_error();
    ssl().ERR_clear_error();
    if (code == 0)
        return {};
    const char* reason = ssl().ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

} // namespace

bool tlsPending(ssl_st* session)
{
    return ssl().SSL_pending(session) > 0;
}

std::string SmtpSocket::StartTls(const std::string& host, const std::string& caFile, Millis timeout)
{
    if (m_fd < 0 || m_ssl != nullptr)
        return "there is no connection to encrypt";
    if (std::string error; OpenSsl(error) == nullptr) {
        Close();
        return error;
    }
    ssl().ERR_clear_error();
    std::unique_ptr<SSL_CTX, ContextDeleter> context(ssl().SSL_CTX_new(ssl().TLS_client_method()));
    if (!context) {
        Close();
        return "TLS cannot be set up: " + openSslReason();
    }
    ssl().SSL_CTX_ctrl(context.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    ssl().SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    // A server that closes without a TLS goodbye has closed all the same (read returns 0).
    ssl().SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    ssl().SSL_CTX_set_default_verify_paths(context.get());
    if (!caFile.empty() &&
        ssl().SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) != 1) {
        ssl().ERR_clear_error();
        Close();
        return "the CA file " + caFile + " cannot be read as PEM certificates";
    }
    m_ssl = ssl().SSL_new(context.get());
    if (m_ssl == nullptr) {
        Close();
        return "TLS cannot be set up: " + openSslReason();
    }
    ssl().SSL_ctrl(m_ssl, SSL_CTRL_MODE,
                   SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
    ssl().SSL_set_fd(m_ssl, m_fd);
    if (isAddressLiteral(host)) {
        ssl().X509_VERIFY_PARAM_set1_ip_asc(ssl().SSL_get0_param(m_ssl), host.c_str());
    } else {
        ssl().SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(host.c_str()));
        ssl().SSL_set1_host(m_ssl, host.c_str());
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const int result = ssl().SSL_connect(m_ssl);
        if (result == 1)
            return {};
        const int error = ssl().SSL_get_error(m_ssl, result);
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        Wait wait = Wait::Failed;
        if (error == SSL_ERROR_WANT_READ && left.count() > 0)
            wait = waitFor(POLLIN, left);
        else if (error == SSL_ERROR_WANT_WRITE && left.count() > 0)
            wait = waitFor(POLLOUT, left);
        else if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            wait = Wait::TimedOut;
        if (wait == Wait::Ready)
            continue;
        std::string reason;
        const long verify = ssl().SSL_get_verify_result(m_ssl);
        if (wait == Wait::TimedOut) {
            reason = "the server did not complete the TLS handshake in time";
        } else if (m_aborted) {
            reason = "cancelled";
        } else if (verify != X509_V_OK) {
            reason = "the server's certificate is not trusted for " + host + " (" +
                     ssl().X509_verify_cert_error_string(verify) + ")";
        } else {
            const std::string detail = openSslReason();
            reason = detail.empty() ? "the server closed the connection during the TLS handshake"
                                    : "the TLS handshake failed (" + detail + ")";
        }
        Close();
        return reason;
    }
}

ssize_t SmtpSocket::tlsIo(bool write, char* data, std::size_t length, Millis timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (m_aborted)
            return -1;
        ssl().ERR_clear_error();
        std::size_t done = 0;
        const int result = write ? ssl().SSL_write_ex(m_ssl, data, length, &done)
                                 : ssl().SSL_read_ex(m_ssl, data, length, &done);
        if (result == 1)
            return static_cast<ssize_t>(done);
        const int error = ssl().SSL_get_error(m_ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return -1;
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            waitFor(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, left) != Wait::Ready)
            return -1;
    }
}

void SmtpSocket::endTls()
{
    if (m_ssl == nullptr)
        return;
    ssl().SSL_shutdown(m_ssl); // one try, no wait: the socket closes right after
    ssl().SSL_free(m_ssl);
    m_ssl = nullptr;
    ssl().ERR_clear_error();
}

} // namespace tw
