// The Secret Service (org.freedesktop.secrets) through libsecret. Every glib type stays in
// this file.
#include <libsecret/secret.h>

#include "app/secret_store.h"

namespace tw {
namespace {

const SecretSchema* schema()
{
    static const SecretSchema kSchema = {
        "org.tellwick.Password",
        SECRET_SCHEMA_NONE,
        {{"key", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &kSchema;
}

// Takes the error's message and frees it; empty when there was none.
std::string takeMessage(GError* error)
{
    if (error == nullptr)
        return {};
    std::string message = error->message ? error->message : "unknown error";
    g_error_free(error);
    return message;
}

class DesktopSecretStore : public SecretStore
{
public:
    bool isAvailable() override
    {
        if (m_checked)
            return m_available;
        m_checked = true;
        GError* error = nullptr;
        SecretService* service =
            secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, &error);
        m_why = takeMessage(error);
        if (service != nullptr) {
            // A bus without a keyring daemon gives a proxy that owns nothing.
            gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(service));
            m_available = owner != nullptr;
            if (!m_available)
                m_why = "no program offers the Secret Service on the session bus";
            g_free(owner);
            g_object_unref(service);
        }
        return m_available;
    }

    std::string why() const override { return m_why; }

    std::optional<std::string> lookup(std::string_view key) override
    {
        if (!isAvailable())
            return std::nullopt;
        const std::string name(key);
        GError* error = nullptr;
        gchar* secret =
            secret_password_lookup_sync(schema(), nullptr, &error, "key", name.c_str(), nullptr);
        m_why = takeMessage(error);
        if (secret == nullptr)
            return std::nullopt;
        std::string value(secret);
        secret_password_free(secret);
        return value;
    }

    bool store(std::string_view key, std::string_view secret) override
    {
        if (!isAvailable())
            return false;
        const std::string name(key), value(secret), label = "Tellwick " + name;
        GError* error = nullptr;
        const gboolean ok = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT,
                                                       label.c_str(), value.c_str(), nullptr,
                                                       &error, "key", name.c_str(), nullptr);
        m_why = takeMessage(error);
        return ok;
    }

    bool remove(std::string_view key) override
    {
        if (!isAvailable())
            return false;
        const std::string name(key);
        GError* error = nullptr;
        secret_password_clear_sync(schema(), nullptr, &error, "key", name.c_str(), nullptr);
        m_why = takeMessage(error);
        return m_why.empty();
    }

private:
    bool m_checked = false;
    bool m_available = false;
    std::string m_why = "the Secret Service was not asked";
};

} // namespace

std::unique_ptr<SecretStore> MakeDesktopSecretStore()
{
    return std::make_unique<DesktopSecretStore>();
}

} // namespace tw
