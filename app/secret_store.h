#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

/// Where passwords are kept instead of the settings file: the desktop's Secret Service, or a
/// fake in tests. Each secret is named by a key of our own ("Notification/EmailPW"). Calls
/// may block briefly on the session bus; they are made at start-up and when saving.
class SecretStore
{
public:
    virtual ~SecretStore() = default;
    /// True when the service answers: secrets can be kept there. Otherwise why() says why not.
    virtual bool isAvailable() = 0;
    virtual std::string why() const = 0;
    /// The stored secret; nullopt when there is none or the service failed.
    virtual std::optional<std::string> lookup(std::string_view key) = 0;
    virtual bool store(std::string_view key, std::string_view secret) = 0;
    virtual bool remove(std::string_view key) = 0;
};

/// The desktop's Secret Service through libsecret (glib stays behind this function).
std::unique_ptr<SecretStore> MakeDesktopSecretStore();

} // namespace tw
