#include "skype/skype_notify.h"

namespace tw {

SkypeNotification SplitNotification(std::string_view text)
{
    SkypeNotification n;
    std::size_t idStart;
    if (text.size() > 10 && text.starts_with("ALTER CALL")) {
        n.kind = text.substr(0, 10);
        idStart = 11;
    } else if (text.size() > 6 && text.starts_with("USERS ")) {
        n.kind = text.substr(0, 5);
        n.id = text.substr(6);
        return n;
    } else if (text.size() > 6 && text.starts_with("CALLS ")) {
        n.kind = text.substr(0, 5);
        n.id = text.substr(6);
        return n;
    } else {
        const auto space = text.find(' ');
        if (space == std::string_view::npos) {
            n.kind = text;
            return n;
        }
        n.kind = text.substr(0, space);
        idStart = space + 1;
    }
    const std::string_view afterKind = text.substr(idStart);
    const auto idEnd = afterKind.find(' ');
    if (idEnd == std::string_view::npos) {
        n.id = afterKind;
        return n;
    }
    n.id = afterKind.substr(0, idEnd);
    const std::string_view afterId = afterKind.substr(idEnd + 1);
    const auto propertyEnd = afterId.find(' ');
    if (propertyEnd == std::string_view::npos) {
        n.property = afterId;
        return n;
    }
    n.property = afterId.substr(0, propertyEnd);
    n.rest = afterId.substr(propertyEnd + 1);
    return n;
}

} // namespace tw
