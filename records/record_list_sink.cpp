#include "records/record_list_sink.h"

#include <cstdio>
#include <cwctype>

#include "platform/utf.h"

namespace tw {
namespace {

char16_t lowerUnit(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 0x50);
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs upper/lower alternate; the runs 0x139-0x148 and 0x179-0x17E start odd.
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        return ((c & 1) == (oddRun ? 1 : 0)) ? static_cast<char16_t>(c + 1) : c;
    }
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    const wint_t lower = std::towlower(c);
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : c;
}

} // namespace

std::string RecordLengthText(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(seconds / 60),
                      static_cast<int>(seconds % 60));
    return text;
}

std::string RecordTimeText(std::time_t startTime)
{
    std::tm tm{};
    localtime_r(&startTime, &tm);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &tm);
    return LowerForSearch(std::string_view(text, n));
}

char16_t LowerForSearch(char16_t unit)
{
    return lowerUnit(unit);
}

std::u16string LowerForSearch(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = lowerUnit(c);
    return out;
}

std::string LowerForSearch(std::string_view utf8)
{
    return toUtf8(LowerForSearch(std::u16string_view(toUtf16(utf8))));
}

} // namespace tw
