#pragma once

#include <bitset>
#include <ctime>
#include <string_view>

namespace tw {

/// The UTF-16 units that the default Time texts (RecordTimeText) of a set of records can
/// hold. A search text with a unit outside them cannot occur in any of those texts, so the
/// search need not format one: at 100 000 records formatting is most of a search's time.
/// The clock part's units are taken from every hour of the day (digits, separators and
/// the locale's AM/PM texts), the date part's from each local date the records fall on.
class TimeTextUnits
{
public:
    TimeTextUnits();

    /// Adds the dates of records starting from first to last (ascending; local dates only
    /// move forward). A span of more than a few dates is not examined: then every search text
    /// counts as possible.
    void AddStarts(std::time_t first, std::time_t last);
    /// False when text (lower-cased for search) cannot occur in any of the Time texts.
    bool CanHold(std::u16string_view text) const;

private:
    void addText(const char* format, const std::tm& tm);

    std::bitset<0x10000> m_units;
    bool m_everything = false;
    int m_lastYear = -1;
    int m_lastDay = -1;
};

} // namespace tw
