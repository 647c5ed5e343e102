#include "records/time_text_units.h"

#include "platform/utf.h"
#include "records/record_list_sink.h"

namespace tw {
namespace {

constexpr int kMaxDatesPerSpan = 4;

} // namespace

TimeTextUnits::TimeTextUnits()
{
    // "%x %X": the space between the parts, every digit, and what the clock part of each
    // hour holds around its digits.
    m_units.set(u' ');
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        m_units.set(digit);
    std::tm tm{};
    tm.tm_year = 100;
    tm.tm_mday = 1;
    for (int hour = 0; hour < 24; ++hour) {
        tm.tm_hour = hour;
        for (const int minute : {0, 34, 59}) {
            tm.tm_min = minute;
            tm.tm_sec = minute;
            addText("%X", tm);
        }
    }
}

void TimeTextUnits::addText(const char* format, const std::tm& tm)
{
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, format, &tm);
    for (const char16_t unit : toUtf16(LowerForSearch(std::string_view(text, n))))
        m_units.set(unit);
}

void TimeTextUnits::AddStarts(std::time_t first, std::time_t last)
{
    if (m_everything)
        return;
    std::tm from{};
    std::tm to{};
    if (!localtime_r(&first, &from) || !localtime_r(&last, &to)) {
        m_everything = true;
        return;
    }
    std::tm day = from;
    for (int n = 0;; ++n) {
        if (n == kMaxDatesPerSpan) {
            m_everything = true;
            return;
        }
        // Consecutive days of the index mostly repeat the date just added.
        if (day.tm_year != m_lastYear || day.tm_yday != m_lastDay) {
            addText("%x", day);
            m_lastYear = day.tm_year;
            m_lastDay = day.tm_yday;
        }
        if (day.tm_year > to.tm_year || (day.tm_year == to.tm_year && day.tm_yday >= to.tm_yday))
            return;
        // The next date, at noon so that no daylight-saving change moves it.
        day.tm_mday += 1;
        day.tm_hour = 12;
        day.tm_isdst = -1;
        std::mktime(&day);
    }
}

bool TimeTextUnits::CanHold(std::u16string_view text) const
{
    if (m_everything)
        return true;
    for (const char16_t unit : text)
        if (!m_units.test(unit))
            return false;
    return true;
}

} // namespace tw
