#include "records/default_time_texts.h"

#include "platform/utf.h"
#include "records/record_list_sink.h"

namespace tw {
namespace {

constexpr std::time_t kDay = 86400;

bool reads(std::time_t t, const std::tm& day, int hour, int minute, int second)
{
    std::tm tm{};
    return localtime_r(&t, &tm) && tm.tm_year == day.tm_year && tm.tm_yday == day.tm_yday &&
           tm.tm_hour == hour && tm.tm_min == minute && tm.tm_sec == second &&
           tm.tm_gmtoff == day.tm_gmtoff && tm.tm_isdst == day.tm_isdst;
}

/// Appends strftime's text to out lower-cased for search: ASCII directly, anything else as
/// the search does.
void appendLowered(std::u16string& out, const char* format, const std::tm& tm)
{
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, format, &tm);
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            out += toUtf16(LowerForSearch(std::string_view(text, n)));
            return;
        }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        out += static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
}

} // namespace

void DefaultTimeTexts::startDay(std::time_t start)
{
    m_from = m_to = 0;
    std::tm tm{};
    if (!localtime_r(&start, &tm))
        return;
    const std::time_t midnight = start - (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
    std::tm day{};
    if (!localtime_r(&midnight, &day))
        return;
    for (int hour = 0; hour < 24; ++hour)
        if (!reads(midnight + hour * 3600, day, hour, 0, 0))
            return;
    if (!reads(midnight + kDay - 1, day, 23, 59, 59))
        return;
    m_from = midnight;
    m_to = midnight + kDay;
    m_midnight = day;
    m_text.clear();
    appendLowered(m_text, "%x", day);
    m_text += u' ';
    m_dateLength = m_text.size();
}

std::u16string_view DefaultTimeTexts::Text(std::time_t start)
{
    if (start < m_from || start >= m_to)
        startDay(start);
    if (start < m_from || start >= m_to) {
        m_text = toUtf16(RecordTimeText(start));
        return m_text;
    }
    const auto seconds = static_cast<int>(start - m_from);
    std::tm tm = m_midnight;
    tm.tm_hour = seconds / 3600;
    tm.tm_min = seconds / 60 % 60;
    tm.tm_sec = seconds % 60;
    m_text.resize(m_dateLength);
    appendLowered(m_text, "%X", tm);
    return m_text;
}

} // namespace tw
