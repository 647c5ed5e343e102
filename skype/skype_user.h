#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

/// Contact status codes; the side panel draws one icon per code.
enum ContactStatus : std::uint32_t {
    CONTACT_OFFLINE = 0, ///< also unknown
    CONTACT_ONLINE = 1,
    CONTACT_AWAY = 2,
    CONTACT_NA = 3,
    CONTACT_DND = 4,
    CONTACT_SKYPEOUT = 5,
    CONTACT_SKYPEME = 6,
};

/// One contact. Owned by the link's user list; never removed while the program runs.
struct CSkypeUser
{
    std::string handle;
    std::string fullName;
    std::uint32_t onlineStatus = CONTACT_OFFLINE;
};

/// The code of an ONLINESTATUS word; unknown words are 0.
std::uint32_t contactStatusCode(std::string_view word);

} // namespace tw
