#include "mail/mime_header.h"

#include "mail/base64.h"

namespace tw {
namespace {

// "=?utf-8?B?" and "?=" leave 63 of the 75 characters: 15 base64 groups, 45 bytes.
constexpr std::size_t kWordBytes = 45;
// Bytes of one RFC 2231 section before it is percent-encoded: keeps the lines short.
constexpr std::size_t kSectionBytes = 20;

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest prefix of at most maxBytes that does not cut a UTF-8 sequence (at least one
// character, so that a stray byte cannot stall the caller).
std::size_t cutAt(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text.size();
    std::size_t cut = maxBytes;
    while (cut > 0 && isContinuation(text[cut]))
        --cut;
    return cut == 0 ? maxBytes : cut;
}

std::string quotedString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// RFC 2231 attribute-char: what may stand without a percent escape.
bool isAttributeChar(unsigned char c)
{
    return c > 0x20 && c < 0x7F &&
           std::string_view("*'%()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

} // namespace

bool IsPlainHeaderText(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte > 0x7E)
            return false;
    }
    return true;
}

std::string EncodedWords(std::string_view utf8)
{
    std::string out;
    while (!utf8.empty()) {
        const std::size_t cut = cutAt(utf8, kWordBytes);
        if (!out.empty())
            out.append("\r\n ");
        out.append("=?utf-8?B?").append(CBase64::Encode(utf8.substr(0, cut))).append("?=");
        utf8.remove_prefix(cut);
    }
    return out;
}

std::string SubjectText(std::string_view subject)
{
    return IsPlainHeaderText(subject) ? std::string(subject) : EncodedWords(subject);
}

std::string DisplayNameText(std::string_view name)
{
    return IsPlainHeaderText(name) ? quotedString(name) : EncodedWords(name);
}

std::string MimeParameter(std::string_view name, std::string_view utf8)
{
    if (IsPlainHeaderText(utf8))
        return ";\r\n\t" + std::string(name) + "=" + quotedString(utf8);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (int section = 0; !utf8.empty(); ++section) {
        const std::size_t cut = cutAt(utf8, kSectionBytes);
        out.append(";\r\n\t").append(name).append("*").append(std::to_string(section));
        out.append(section == 0 ? "*=utf-8''" : "*=");
        for (const char c : utf8.substr(0, cut)) {
            const auto byte = static_cast<unsigned char>(c);
            if (isAttributeChar(byte)) {
                out.push_back(c);
            } else {
                out.push_back('%');
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 15]);
            }
        }
        utf8.remove_prefix(cut);
    }
    return out;
}

std::string LegacyNameParameter(std::string_view utf8)
{
    if (IsPlainHeaderText(utf8))
        return quotedString(utf8);
    std::string words = EncodedWords(utf8);
    // Inside quotes the words stay on one line, separated by a space.
    for (std::size_t at; (at = words.find("\r\n")) != std::string::npos;)
        words.erase(at, 2);
    return "\"" + words + "\"";
}

} // namespace tw
