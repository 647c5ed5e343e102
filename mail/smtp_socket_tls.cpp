// TLS for the SMTP socket: OpenSSL over the non-blocking descriptor, every wait through the
// socket's own bounded, abortable waitFor.
#include <memory>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include "mail/smtp_socket.h"

namespace tw {
namespace {

struct ContextDeleter
{
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
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
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return {};
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

} // namespace

bool tlsPending(ssl_st* ssl)
{
    return SSL_pending(ssl) > 0;
}

std::string SmtpSocket::StartTls(const std::string& host, const std::string& caFile, Millis timeout)
{
    if (m_fd < 0 || m_ssl != nullptr)
        return "there is no connection to encrypt";
    ERR_clear_error();
    std::unique_ptr<SSL_CTX, ContextDeleter> context(SSL_CTX_new(TLS_client_method()));
    if (!context) {
        Close();
        return "TLS cannot be set up: " + openSslReason();
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    // A server that closes without a TLS goodbye has closed all the same (read returns 0).
    SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_default_verify_paths(context.get());
    if (!caFile.empty() &&
        SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        Close();
        return "the CA file " + caFile + " cannot be read as PEM certificates";
    }
    m_ssl = SSL_new(context.get());
    if (m_ssl == nullptr) {
        Close();
        return "TLS cannot be set up: " + openSslReason();
    }
    SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_set_fd(m_ssl, m_fd);
    if (isAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const int result = SSL_connect(m_ssl);
        if (result == 1)
            return {};
        const int error = SSL_get_error(m_ssl, result);
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
        const long verify = SSL_get_verify_result(m_ssl);
        if (wait == Wait::TimedOut) {
            reason = "the server did not complete the TLS handshake in time";
        } else if (m_aborted) {
            reason = "cancelled";
        } else if (verify != X509_V_OK) {
            reason = "the server's certificate is not trusted for " + host + " (" +
                     X509_verify_cert_error_string(verify) + ")";
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
        ERR_clear_error();
        std::size_t done = 0;
        const int result = write ? SSL_write_ex(m_ssl, data, length, &done)
                                 : SSL_read_ex(m_ssl, data, length, &done);
        if (result == 1)
            return static_cast<ssize_t>(done);
        const int error = SSL_get_error(m_ssl, result);
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
    SSL_shutdown(m_ssl); // one try, no wait: the socket closes right after
    SSL_free(m_ssl);
    m_ssl = nullptr;
    ERR_clear_error();
}

} // namespace tw
