#include "mail/mail_encoding.h"

#include <array>

#include "mail/base64.h"

namespace tw {
namespace {

constexpr std::array<bool, 256> makePrintable()
{
    std::array<bool, 256> table{};
    for (int c = 0x20; c <= 0x7E; ++c)
        table[c] = true;
    table['\t'] = table['\r'] = table['\n'] = true;
    return table;
}
constexpr std::array<bool, 256> kPrintable = makePrintable();

// Calls line(text, ended) for each line; ended tells whether a line end followed it.
template <typename LineFn> void forEachLine(std::string_view text, LineFn line)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        if (end == text.size()) {
            line(text.substr(start), false);
            return;
        }
        line(text.substr(start, end - start), true);
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset just past the first n characters of a UTF-8 text (all of it when shorter).
std::size_t offsetOfChars(std::string_view text, std::size_t n)
{
    std::size_t pos = 0;
    for (std::size_t chars = 0; pos < text.size() && chars < n; ++chars) {
        ++pos;
        while (pos < text.size() && isContinuation(text[pos]))
            ++pos;
    }
    return pos;
}

std::string sevenBit(std::string_view content)
{
    // Anything beyond ASCII cannot travel as 7bit: each character becomes one '?'.
    std::string out;
    out.reserve(content.size());
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x7E)
            out.push_back(c);
        else if (!isContinuation(c))
            out.push_back('?');
    }
    return out;
}

void appendQuotedLine(std::string& out, std::string_view line, bool ended)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string rest;
    rest.reserve(line.size() + 8);
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '=' || byte > 0x7E || (byte < 0x20 && byte != '\t')) {
            rest.push_back('=');
            rest.push_back(kHex[byte >> 4]);
            rest.push_back(kHex[byte & 15]);
        } else {
            rest.push_back(c);
        }
    }
    std::size_t from = 0;
    for (;;) {
        while (rest.size() - from > kMailLineLength) {
            // A soft break after 75 characters, moved back so that no "=XX" is split.
            std::size_t cut = 75;
            if (rest[from + 74] == '=')
                cut = 74;
            else if (rest[from + 73] == '=')
                cut = 73;
            out.append(rest, from, cut);
            out.append("=\r\n");
            from += cut;
        }
        if (rest.size() > from && (rest.back() == ' ' || rest.back() == '\t')) {
            const char last = rest.back();
            rest.pop_back();
            rest.append(last == ' ' ? "=20" : "=09");
            continue;
        }
        break;
    }
    out.append(rest, from, std::string::npos);
    if (ended)
        out.append("\r\n");
}

} // namespace

void EncodingScan::feed(std::string_view block)
{
    // Without branches on the bytes: audio is random to a branch predictor. Past a tenth of
    // the whole, base64 is certain and later blocks need no scan.
    if (m_base64)
        return;
    std::size_t other = 0, line = m_lineLength, longest = 0;
    for (const char c : block) {
        const auto byte = static_cast<unsigned char>(c);
        other += !kPrintable[byte];
        line = (byte == '\r' || byte == '\n') ? 0 : line + 1;
        longest = line > longest ? line : longest;
    }
    m_other += other;
    m_lineLength = line;
    m_longLine = m_longLine || longest > kMailLineLength;
    m_base64 = m_other * 100 > m_total * 10;
}

MailEncoding EncodingScan::result() const
{
    if (m_total == 0)
        return kEncoding7Bit;
    if (m_base64 || (m_total - m_other) * 100 / m_total <= 89)
        return kEncodingBase64;
    if (m_longLine)
        return kEncodingQuotedPrintable;
    return m_other == 0 ? kEncoding7Bit : kEncoding8Bit;
}

MailEncoding ChooseEncoding(std::string_view content)
{
    EncodingScan scan(content.size());
    scan.feed(content);
    return scan.result();
}

MailEncoding TransportEncoding(MailEncoding requested, std::string_view content)
{
    MailEncoding encoding = requested;
    if (encoding == kEncodingAuto || encoding > kEncodingBase64)
        encoding = ChooseEncoding(content);
    return encoding == kEncoding8Bit ? kEncodingQuotedPrintable : encoding;
}

const char* EncodingName(MailEncoding encoding)
{
    switch (encoding) {
    case kEncoding8Bit:
        return "8bit";
    case kEncodingQuotedPrintable:
        return "quoted-printable";
    case kEncodingBase64:
        return "base64";
    default:
        return "7bit";
    }
}

std::string WrapLines(std::string_view text, std::size_t width)
{
    static constexpr std::string_view kBreaks = " -;.,?!";
    std::string out;
    out.reserve(text.size() + text.size() / width * 2 + 2);
    forEachLine(text, [&](std::string_view line, bool ended) {
        for (;;) {
            const std::size_t head = offsetOfChars(line, width);
            if (head >= line.size())
                break;
            // More than width characters: break after the last break character among the
            // first width, else after the width-th character.
            const std::size_t lastBreak = line.substr(0, head).find_last_of(kBreaks);
            const std::size_t cut = lastBreak == std::string_view::npos ? head : lastBreak + 1;
            out.append(line.substr(0, cut));
            out.append("\r\n");
            line.remove_prefix(cut);
        }
        out.append(line);
        if (ended)
            out.append("\r\n");
    });
    return out;
}

std::string QuotedPrintable(std::string_view content)
{
    std::string out;
    out.reserve(content.size() + content.size() / 8 + 8);
    forEachLine(content,
                [&](std::string_view line, bool ended) { appendQuotedLine(out, line, ended); });
    return out;
}

std::string DotStuff(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    if (!text.empty() && text.front() == '.')
        out.push_back('.');
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n.", from)) != std::string_view::npos; from = at + 2) {
        out.append(text.substr(from, at + 2 - from));
        out.push_back('.');
    }
    out.append(text.substr(from));
    return out;
}

void AppendEncoded(std::string& out, MailEncoding encoding, std::string_view content)
{
    switch (encoding) {
    case kEncodingBase64:
        // The base64 alphabet has no dot: nothing to stuff.
        CBase64::EncodeLines(content.data(), content.size(), kMailLineLength, out);
        return;
    case kEncodingQuotedPrintable:
        out.append(DotStuff(QuotedPrintable(content)));
        return;
    case kEncoding8Bit:
        out.append(DotStuff(WrapLines(content)));
        return;
    default:
        out.append(DotStuff(WrapLines(sevenBit(content))));
        return;
    }
}

std::string EncodePartText(MailEncoding encoding, std::string_view content,
                           std::string& encodingName)
{
    if (encoding == kEncodingAuto || encoding > kEncodingBase64)
        encoding = ChooseEncoding(content);
    encodingName = EncodingName(encoding);
    std::string out;
    AppendEncoded(out, encoding, content);
    return out;
}

} // namespace tw
