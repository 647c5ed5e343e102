#include "mail/mail_compose.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mail/base64.h"
#include "mail/mail_encoding.h"
#include "mail/mail_system.h"
#include "mail/mime_header.h"
#include "platform/utf.h"

namespace tw {
namespace {

constexpr char kPreamble[] = "This is a multipart message in MIME format";

const char* kindName(MultipartKind kind)
{
    switch (kind) {
    case kMultipartAlternative:
        return "alternative";
    case kMultipartRelated:
        return "related";
    default:
        return "mixed";
    }
}

std::string boundary(const char* prefix, std::uint32_t tick)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%8.8X", prefix, tick);
    return text;
}

bool startsWithText(std::string_view contentType)
{
    return equalsIgnoreCase(contentType.substr(0, 5), "text/");
}

// Inside a quoted string a quote or a backslash needs a backslash before it.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : HeaderSafe(text)) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string addressList(const std::vector<CMailAddress>& list)
{
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out.append(",\r\n\t");
        if (!list[i].displayName.empty())
            out.append(DisplayNameText(HeaderSafe(list[i].displayName))).push_back(' ');
        out.append("<").append(HeaderSafe(list[i].address)).append(">");
    }
    return out;
}

void replaceHeader(CMailMessage& message, const char* name, std::string value)
{
    message.RemoveHeader(name);
    message.AddHeader(name, std::move(value));
}

void prepareHeaders(CMailMessage& message, std::size_t partCount, const std::string& outer)
{
    // Whatever the caller put in the list is neutralised first; the generated headers below
    // bring their own folding and are made from neutralised pieces.
    for (auto& header : message.headers) {
        header.name = HeaderSafe(header.name);
        header.value = HeaderSafe(header.value);
    }
    message.RemoveHeader("Content-Type");
    if (partCount >= 2) {
        if (message.multipartKind == kMultipartAuto)
            message.multipartKind =
                message.attachments.empty() ? kMultipartAlternative : kMultipartMixed;
        message.AddHeader("Content-Type", std::string("multipart/") +
                                              kindName(message.multipartKind) +
                                              ";\r\n\tboundary=\"" + outer + "\"");
    }
    replaceHeader(message, "MIME-Version", "1.0");
    message.RemoveHeader("Message-ID");
    if (!message.messageId.empty())
        message.AddHeader("Message-ID", "<" + HeaderSafe(message.messageId) + ">");
    static const char* const kDefaults[][2] = {{"X-Priority", "3 (Normal)"},
                                               {"X-MSMail-Priority", "Normal"},
                                               {"X-Mailer", "Tellwick SMTP Mailer"},
                                               {"Importance", "Normal"}};
    for (const auto& pair : kDefaults)
        if (!message.HasHeader(pair[0]))
            message.AddHeader(pair[0], pair[1]);
    replaceHeader(message, "Date", FormatMailDate(message.date, message.zone));
    replaceHeader(message, "Subject", SubjectText(HeaderSafe(message.subject)));
    std::string to = addressList(message.to);
    if (!message.cc.empty()) {
        if (!to.empty())
            to.append("\r\nCc:");
        to.append(addressList(message.cc));
    }
    replaceHeader(message, "To", std::move(to));
    std::string from;
    if (!message.from.displayName.empty())
        from = DisplayNameText(HeaderSafe(message.from.displayName)) + " ";
    from.append("<").append(HeaderSafe(message.from.address)).append(">");
    replaceHeader(message, "From", std::move(from));
}

void writeTextPart(std::string& out, const CMailTextPart& part)
{
    out.append("Content-Type: ").append(HeaderSafe(part.contentType));
    if (startsWithText(part.contentType))
        out.append(";\r\n\tcharset=").append(quoted(part.charset));
    out.append("\r\n");
    const MailEncoding encoding = TransportEncoding(part.encoding, part.text);
    out.append("Content-Transfer-Encoding: ").append(EncodingName(encoding));
    if (!part.contentId.empty())
        out.append("\r\nContent-ID: <").append(HeaderSafe(part.contentId)).append(">");
    out.append("\r\n\r\n");
    AppendEncoded(out, encoding, part.text);
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void writeAttachmentHeaders(std::string& out, const CMailAttachment& attachment,
                            const std::string& name, MailEncoding encoding)
{
    const std::string type =
        attachment.contentType.empty() ? ContentTypeForName(name) : attachment.contentType;
    out.append("Content-Type: ").append(HeaderSafe(type));
    if (startsWithText(type))
        out.append(";\r\n\tcharset=").append(quoted(attachment.charset));
    out.append(";\r\n\tname=").append(LegacyNameParameter(HeaderSafe(name))).append("\r\n");
    out.append("Content-Transfer-Encoding: ").append(EncodingName(encoding)).append("\r\n");
    out.append("Content-Disposition: ").append(attachment.isInline ? "inline" : "attachment");
    out.append(MimeParameter("filename", HeaderSafe(name)));
    if (!attachment.contentId.empty())
        out.append("\r\nContent-ID: <").append(HeaderSafe(attachment.contentId)).append(">");
    out.append("\r\n\r\n");
}

// One attachment's file, read a block at a time. Audio (base64) is streamed: one pass
// decides the encoding (the first block settles it for audio), the next encodes block by
// block; other content is small text and is encoded whole.
class AttachmentFile
{
public:
    explicit AttachmentFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat info
        {
        };
        if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
        m_size = m_fd >= 0 ? static_cast<std::size_t>(info.st_size) : 0;
    }
    ~AttachmentFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    AttachmentFile(const AttachmentFile&) = delete;
    AttachmentFile& operator=(const AttachmentFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // Appends the part's headers to out and hands out and the encoded content to sink.
    bool compose(const CMailAttachment& attachment, const std::string& name, std::string& out,
                 const MailSink& sink)
    {
        MailEncoding encoding = attachment.encoding;
        if (encoding == kEncodingAuto || encoding > kEncodingBase64) {
            EncodingScan scan(m_size);
            for (std::size_t n; !scan.certain() && (n = read()) > 0;)
                scan.feed(std::string_view(m_block.get(), n));
            encoding = scan.result() == kEncoding8Bit ? kEncodingQuotedPrintable : scan.result();
            ::lseek(m_fd, 0, SEEK_SET);
        } else if (encoding == kEncoding8Bit) {
            encoding = kEncodingQuotedPrintable;
        }
        writeAttachmentHeaders(out, attachment, name, encoding);
        if (encoding != kEncodingBase64) {
            std::string bytes;
            for (std::size_t n; (n = read()) > 0;)
                bytes.append(m_block.get(), n);
            AppendEncoded(out, encoding, bytes);
            return true;
        }
        if (!sink(out))
            return false;
        out.clear();
        std::unique_ptr<char[]> encoded(
            new char[CBase64::EncodedLinesSize(kBlock, kMailLineLength) + 2]);
        bool first = true;
        for (std::size_t n; (n = read()) > 0; first = false) {
            std::size_t length = 0;
            if (!first) { // the line before this block was full: it ends here
                encoded[0] = '\r';
                encoded[1] = '\n';
                length = 2;
            }
            length +=
                CBase64::EncodeLinesTo(m_block.get(), n, kMailLineLength, encoded.get() + length);
            if (!sink(std::string_view(encoded.get(), length)))
                return false;
        }
        return true;
    }

private:
    // Whole lines of base64 (57 bytes each), so blocks join without a short line between.
    static constexpr std::size_t kBlock = 57 * 1024;

    // Fills the block as far as the file goes; 0 at its end or on an error (a file that
    // shrank while read keeps what was there).
    std::size_t read()
    {
        if (!m_block)
            m_block.reset(new char[kBlock]);
        std::size_t done = 0;
        while (done < kBlock) {
            const ssize_t n = ::read(m_fd, m_block.get() + done, kBlock - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    int m_fd;
    std::size_t m_size = 0;
    std::unique_ptr<char[]> m_block;
};

} // namespace

std::string HeaderSafe(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::string FormatMailDate(const MailDate& date, int zone)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = date.dayOfWeek >= 0 && date.dayOfWeek < 7 ? date.dayOfWeek : 0;
    const int month = date.month >= 1 && date.month <= 12 ? date.month - 1 : 0;
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %d:%02d:%02d %c%4.4d", kDays[day], date.day,
                  kMonths[month], date.year, date.hour, date.minute, date.second,
                  zone > 0 ? '+' : '-', std::abs(zone));
    return text;
}

std::string ComposeMessageText(CMailMessage& message)
{
    return ComposeMessageText(message, TickCount());
}

std::string ComposeMessageText(CMailMessage& message, std::uint32_t tickCount)
{
    std::string out;
    ComposeMessage(message, tickCount, [&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool ComposeMessage(CMailMessage& message, std::uint32_t tickCount, const MailSink& sink)
{
    const std::size_t partCount = message.textParts.size() + message.attachments.size();
    const bool multipart = partCount >= 2;
    const std::string outer = multipart ? boundary("Tellwick000_", tickCount) : std::string();
    // The generated headers go into a copy: composing the same message again (every SMTP
    // attempt does) must give the same header order, and the caller's list stays its own.
    const auto callerHeaders = message.headers;
    prepareHeaders(message, partCount, outer);
    std::string out;
    for (auto it = message.headers.rbegin(); it != message.headers.rend(); ++it)
        out.append(it->name).append(": ").append(it->value).append("\r\n");
    message.headers = callerHeaders;

    if (multipart)
        out.append("\r\n").append(kPreamble).append("\r\n");
    std::string inner;
    if (multipart && !message.attachments.empty() && message.textParts.size() > 1) {
        inner = boundary("Tellwick001_", tickCount);
        out.append("\r\n--").append(outer).append("\r\nContent-Type: multipart/alternative;");
        out.append("\r\n\tboundary=\"").append(inner).append("\"\r\n");
    }
    for (const auto& part : message.textParts) {
        if (!inner.empty())
            out.append("\r\n--").append(inner).append("\r\n");
        else if (multipart)
            out.append("\r\n--").append(outer).append("\r\n");
        writeTextPart(out, part);
    }
    if (!inner.empty())
        out.append("\r\n--").append(inner).append("--\r\n");

    for (const auto& attachment : message.attachments) {
        AttachmentFile file(attachment.path);
        if (!file.isOpen())
            continue; // left out, as a part that cannot be read
        const std::string name =
            attachment.displayName.empty() ? fileNameOf(attachment.path) : attachment.displayName;
        if (multipart)
            out.append("\r\n--").append(outer).append("\r\n");
        if (!file.compose(attachment, name, out, sink))
            return false;
    }
    if (multipart)
        out.append("\r\n--").append(outer).append("--\r\n");
    return sink(out);
}

} // namespace tw
