// The two passwords of the settings (the SMTP account's and the call-out's) live in the
// desktop's Secret Service when there is one, and only then leave the settings file.
#include <sys/stat.h>

#include "app/log.h"
#include "app/secret_store.h"
#include "app/settings.h"
#include "app/settings_keys.h"

namespace tw {
namespace {

struct PasswordField
{
    const char* section;
    const char* key;
    std::string CSettings::*member;
};

const PasswordField kPasswords[] = {
    {keys::kNotification, keys::kEmailPW, &CSettings::EmailPW},
    {keys::kCallOutSave, keys::kPassword, &CSettings::sPassword},
};

std::string secretName(const PasswordField& field)
{
    return std::string(field.section) + "/" + field.key;
}

} // namespace

void CSettings::loadPasswords()
{
    m_passwordsInStore = false;
    bool inFile = false;
    for (const auto& field : kPasswords)
        inFile = inFile || !(this->*field.member).empty();
    // Without an account there is no password to look up: the Secret Service (which D-Bus
    // may have to start) is not asked.
    if (!inFile && EmailUserName.empty() && !fCallOutEnable)
        return;
    if (m_secrets == nullptr || !m_secrets->isAvailable()) {
        if (inFile) {
            appLog().Write("CSettings::Load() - No Secret Service (" +
                           (m_secrets ? m_secrets->why() : std::string("none configured")) +
                           "): the passwords stay in the settings file, readable by its owner "
                           "only.");
            ::chmod(m_configPath.c_str(), 0600);
        }
        return;
    }
    bool moved = true;
    for (const auto& field : kPasswords) {
        std::string& value = this->*field.member;
        if (value.empty()) {
            value = m_secrets->lookup(secretName(field)).value_or("");
        } else if (!m_secrets->store(secretName(field), value)) {
            moved = false;
            appLog().Write("CSettings::Load() - The Secret Service did not take a password (" +
                           m_secrets->why() + "): it stays in the settings file.");
        }
    }
    m_passwordsInStore = moved;
    if (!moved) {
        ::chmod(m_configPath.c_str(), 0600);
        return;
    }
    if (inFile) {
        ProfileStore file(m_configPath);
        for (const auto& field : kPasswords)
            file.remove(field.section, field.key);
        if (file.save())
            appLog().Write("CSettings::Load() - The passwords were moved into the Secret Service.");
    }
}

void CSettings::savePasswords(ProfileStore& file) const
{
    if (!m_passwordsInStore) {
        // A password entered since the start goes to the service too, when there is one.
        const bool any = !EmailPW.empty() || !sPassword.empty();
        if (m_secrets == nullptr || !any || !m_secrets->isAvailable())
            return; // the table wrote them into the file
    }
    for (const auto& field : kPasswords) {
        const std::string& value = this->*field.member;
        if (value.empty())
            m_secrets->remove(secretName(field)); // none stored is as good as removed
        if (value.empty() || m_secrets->store(secretName(field), value)) {
            file.remove(field.section, field.key);
        } else {
            appLog().Write("CSettings::Save() - The Secret Service did not take a password (" +
                           m_secrets->why() + "): it is kept in the settings file.");
            ::chmod(file.path().c_str(), 0600);
        }
    }
}

} // namespace tw
