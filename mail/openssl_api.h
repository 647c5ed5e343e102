#pragma once

#include <cstdint>
#include <string>

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace tw {

/// The OpenSSL functions the SMTP client uses, loaded from libssl.so.3 when the first
/// encrypted connection is made. Linking OpenSSL would cost every start of every program
/// that links the mail code several milliseconds of relocations (libcrypto alone has over
/// 20 000), which most runs never need: composing a mail, the tool's other verbs.
struct OpenSslApi
{
    const SSL_METHOD* (*TLS_client_method)();
    SSL_CTX* (*SSL_CTX_new)(const SSL_METHOD*);
    void (*SSL_CTX_free)(SSL_CTX*);
    long (*SSL_CTX_ctrl)(SSL_CTX*, int, long, void*);
    std::uint64_t (*SSL_CTX_set_options)(SSL_CTX*, std::uint64_t);
    void (*SSL_CTX_set_verify)(SSL_CTX*, int, SSL_verify_cb);
    int (*SSL_CTX_set_default_verify_paths)(SSL_CTX*);
    int (*SSL_CTX_load_verify_locations)(SSL_CTX*, const char*, const char*);
    SSL* (*SSL_new)(SSL_CTX*);
    void (*SSL_free)(SSL*);
    long (*SSL_ctrl)(SSL*, int, long, void*);
    int (*SSL_set_fd)(SSL*, int);
    X509_VERIFY_PARAM* (*SSL_get0_param)(SSL*);
    int (*X509_VERIFY_PARAM_set1_ip_asc)(X509_VERIFY_PARAM*, const char*);
    int (*SSL_set1_host)(SSL*, const char*);
    int (*SSL_connect)(SSL*);
    int (*SSL_get_error)(const SSL*, int);
    long (*SSL_get_verify_result)(const SSL*);
    const char* (*X509_verify_cert_error_string)(long);
    unsigned long (*ERR_get_error)();
    const char* (*ERR_reason_error_string)(unsigned long);
    void (*ERR_clear_error)();
    int (*SSL_read_ex)(SSL*, void*, std::size_t, std::size_t*);
    int (*SSL_write_ex)(SSL*, const void*, std::size_t, std::size_t*);
    int (*SSL_pending)(const SSL*);
    int (*SSL_shutdown)(SSL*);
};

/// The loaded functions; nullptr (and error says why) when the library or one of them is
/// missing. Loaded once per process; thread-safe.
const OpenSslApi* OpenSsl(std::string& error);

} // namespace tw
