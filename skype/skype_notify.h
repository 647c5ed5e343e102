#pragma once

#include <string_view>

namespace tw {

/// A Skype text split into its words. The views point into the text that was split.
struct SkypeNotification
{
    std::string_view kind;
    std::string_view id;
    std::string_view property;
    std::string_view rest; ///< everything after the third space, spaces included
};

/// Splits a notification or reply: "CALL 12 STATUS RINGING" gives kind "CALL", id "12",
/// property "STATUS", rest "RINGING". "ALTER CALL" is one kind; "USERS " and "CALLS " put
/// the whole list into id. Absent parts are empty.
SkypeNotification SplitNotification(std::string_view text);

} // namespace tw
