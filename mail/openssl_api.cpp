#include "mail/openssl_api.h"

#include <mutex>

#include <dlfcn.h>

namespace tw {
namespace {

struct Loaded
{
    OpenSslApi api{};
    std::string error;
    bool ok = false;
};

template <typename Fn> bool bind(void* library, const char* name, Fn& slot, std::string& error)
{
    slot = reinterpret_cast<Fn>(::dlsym(library, name));
    if (slot == nullptr && error.empty())
        error = std::string("OpenSSL lacks ") + name;
    return slot != nullptr;
}

Loaded load()
{
    Loaded loaded;
    void* library = ::dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        loaded.error = std::string("OpenSSL 3 (libssl.so.3) cannot be loaded") +
                       (why ? std::string(": ") + why : std::string());
        return loaded;
    }
    OpenSslApi& a = loaded.api;
    std::string& e = loaded.error;
#define TW_BIND(name) bind(library, #name, a.name, e)
    loaded.ok = TW_BIND(TLS_client_method) & TW_BIND(SSL_CTX_new) & TW_BIND(SSL_CTX_free) &
                TW_BIND(SSL_CTX_ctrl) & TW_BIND(SSL_CTX_set_options) & TW_BIND(SSL_CTX_set_verify) &
                TW_BIND(SSL_CTX_set_default_verify_paths) & TW_BIND(SSL_CTX_load_verify_locations) &
                TW_BIND(SSL_new) & TW_BIND(SSL_free) & TW_BIND(SSL_ctrl) & TW_BIND(SSL_set_fd) &
                TW_BIND(SSL_get0_param) & TW_BIND(X509_VERIFY_PARAM_set1_ip_asc) &
                TW_BIND(SSL_set1_host) & TW_BIND(SSL_connect) & TW_BIND(SSL_get_error) &
                TW_BIND(SSL_get_verify_result) & TW_BIND(X509_verify_cert_error_string) &
                TW_BIND(ERR_get_error) & TW_BIND(ERR_reason_error_string) &
                TW_BIND(ERR_clear_error) & TW_BIND(SSL_read_ex) & TW_BIND(SSL_write_ex) &
                TW_BIND(SSL_pending) & TW_BIND(SSL_shutdown);
#undef TW_BIND
    // The library stays loaded for the life of the process.
    return loaded;
}

} // namespace

const OpenSslApi* OpenSsl(std::string& error)
{
    static const Loaded loaded = load();
    error = loaded.error;
    return loaded.ok ? &loaded.api : nullptr;
}

} // namespace tw
