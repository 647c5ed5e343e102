#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

/// Content-Transfer-Encoding of a part; 0 lets the composer choose from the content.
enum MailEncoding : std::uint32_t {
    kEncodingAuto = 0,
    kEncoding7Bit = 1,
    kEncoding8Bit = 2,
    kEncodingQuotedPrintable = 3,
    kEncodingBase64 = 4,
};

/// The subtype of a multipart message; 0 lets the composer choose (mixed with attachments,
/// alternative without).
enum MultipartKind : std::uint32_t {
    kMultipartAuto = 0,
    kMultipartMixed = 1,
    kMultipartAlternative = 2,
    kMultipartRelated = 3,
};

struct CMailAddress
{
    std::string displayName;
    std::string address; ///< bare address, without angle brackets
};

struct CMailTextPart
{
    /// An empty charset becomes SystemCharset().
    explicit CMailTextPart(std::string text = {}, std::string contentType = {},
                           std::string charset = {}, MailEncoding encoding = kEncodingAuto);

    std::string contentType;
    std::string charset;
    std::string contentId;
    MailEncoding encoding = kEncodingAuto;
    std::string text;
};

struct CMailAttachment
{
    /// An empty content type is looked up from the name's extension when composing; an
    /// empty charset becomes SystemCharset(); an empty display name is the file name of path.
    explicit CMailAttachment(std::string path = {}, std::string displayName = {},
                             bool isInline = false, std::string contentType = {},
                             std::string charset = {}, MailEncoding encoding = kEncodingAuto);

    std::string contentType;
    std::string charset;
    std::string contentId;
    MailEncoding encoding = kEncodingAuto;
    std::string path; ///< read when the message is composed
    std::string displayName;
    bool isInline = false;
};

/// A calendar date and time as the Date header shows it.
struct MailDate
{
    int year = 1970;
    int month = 1;     ///< 1-12
    int day = 1;       ///< 1-31
    int dayOfWeek = 4; ///< 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct MailHeader
{
    std::string name;
    std::string value;
};

/// One message to compose and send. Construction takes the local time and its offset from
/// UTC for the Date header; everything else starts empty.
class CMailMessage
{
public:
    CMailMessage();

    CMailAddress from;      ///< also the envelope sender
    CMailAddress recipient; ///< the first envelope recipient; not written into a header
    std::string subject;
    std::vector<CMailTextPart> textParts;
    std::vector<CMailAddress> to;  ///< "To" header only
    std::vector<CMailAddress> cc;  ///< header and envelope
    std::vector<CMailAddress> bcc; ///< envelope only
    std::vector<CMailAttachment> attachments;
    std::vector<MailHeader> headers; ///< in insertion order
    MailDate date;
    MultipartKind multipartKind = kMultipartAuto;
    std::string messageId; ///< a Message-ID header when non-empty
    int zone = 0;          ///< offset from UTC as signed hhmm: 100, -530

    void AddHeader(std::string name, std::string value);
    /// Removes the first header whose name equals name exactly; false when there is none.
    bool RemoveHeader(std::string_view name);
    bool HasHeader(std::string_view name) const;
};

/// The local time now.
MailDate LocalMailDate();
/// The zone number (signed hhmm) of an offset east of UTC in seconds, as tm_gmtoff gives it.
int MailZoneFromOffset(long secondsEastOfUtc);
/// The local zone number now.
int LocalMailZone();
/// The day of the week (0 = Sunday) of a date in the proleptic Gregorian calendar.
int DayOfWeek(int year, int month, int day);

} // namespace tw
