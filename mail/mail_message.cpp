#include "mail/mail_message.h"

#include <ctime>
#include <utility>

#include "mail/mail_system.h"

namespace tw {

CMailTextPart::CMailTextPart(std::string text, std::string contentType, std::string charset,
                             MailEncoding encoding)
    : contentType(std::move(contentType)),
      charset(charset.empty() ? SystemCharset() : std::move(charset)), encoding(encoding),
      text(std::move(text))
{}

CMailAttachment::CMailAttachment(std::string path, std::string displayName, bool isInline,
                                 std::string contentType, std::string charset,
                                 MailEncoding encoding)
    : contentType(std::move(contentType)),
      charset(charset.empty() ? SystemCharset() : std::move(charset)), encoding(encoding),
      path(std::move(path)), displayName(std::move(displayName)), isInline(isInline)
{}

CMailMessage::CMailMessage() : date(LocalMailDate()), zone(LocalMailZone())
{}

void CMailMessage::AddHeader(std::string name, std::string value)
{
    headers.push_back({std::move(name), std::move(value)});
}

bool CMailMessage::RemoveHeader(std::string_view name)
{
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (it->name == name) {
            headers.erase(it);
            return true;
        }
    }
    return false;
}

bool CMailMessage::HasHeader(std::string_view name) const
{
    for (const auto& header : headers)
        if (header.name == name)
            return true;
    return false;
}

MailDate LocalMailDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return MailDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday,
                    local.tm_hour,        local.tm_min,     local.tm_sec};
}

int MailZoneFromOffset(long secondsEastOfUtc)
{
    // The bias counts minutes west of UTC; division and remainder truncate toward zero, so
    // half-hour zones west of UTC keep their minutes (-0330).
    const long bias = -secondsEastOfUtc / 60;
    return static_cast<int>(-(bias / 60) * 100 - (bias % 60));
}

int LocalMailZone()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return MailZoneFromOffset(local.tm_gmtoff);
}

int DayOfWeek(int year, int month, int day)
{
    // Days from civil (Howard Hinnant's algorithm); 1970-01-01 was a Thursday.
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = era * 146097 + doe - 719468;
    return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

} // namespace tw
