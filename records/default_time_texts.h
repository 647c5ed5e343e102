#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tw {

/// RecordTimeText's texts as a search compares them (UTF-16, lower case) for many start
/// times, formatting each local date once instead of once per record: within a day whose
/// clock is seen to read exactly 00:00, 01:00 ... 23:00 and 23:59:59 (no daylight-saving
/// change, no leap second), a start's clock time follows from its distance to midnight.
/// Other days are formatted start by start. Fastest for ascending start times.
class DefaultTimeTexts
{
public:
    /// The text of start; valid until the next call.
    std::u16string_view Text(std::time_t start);

private:
    void startDay(std::time_t start);

    std::time_t m_from = 0; ///< the day's midnight; the day is [m_from, m_to)
    std::time_t m_to = 0;
    std::tm m_midnight{};
    std::size_t m_dateLength = 0; ///< the date part and the space behind it, in m_text
    std::u16string m_text;
};

} // namespace tw
