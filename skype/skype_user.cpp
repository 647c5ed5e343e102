#include "skype/skype_user.h"

namespace tw {

std::uint32_t contactStatusCode(std::string_view word)
{
    if (word == "ONLINE")
        return CONTACT_ONLINE;
    if (word == "AWAY")
        return CONTACT_AWAY;
    if (word == "NA")
        return CONTACT_NA;
    if (word == "DND")
        return CONTACT_DND;
    if (word == "SKYPEOUT")
        return CONTACT_SKYPEOUT;
    if (word == "SKYPEME")
        return CONTACT_SKYPEME;
    return CONTACT_OFFLINE;
}

} // namespace tw
