#include "skype/skype_text.h"

namespace tw {
namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// U+0085 (C2 85), U+2028 and U+2029 (E2 80 A8/A9): characters some readers treat as line ends.
bool isLineSeparatorAt(std::string_view text, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    if (b(i) == 0xC2 && i + 1 < text.size() && b(i + 1) == 0x85)
        return true;
    return b(i) == 0xE2 && i + 2 < text.size() && b(i + 1) == 0x80 &&
           (b(i + 2) == 0xA8 || b(i + 2) == 0xA9);
}

bool allowed(std::string_view text, bool spacesAllowed)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || isControl(c) || (c == ' ' && !spacesAllowed))
            return false;
        if (c >= 0x80 && isLineSeparatorAt(text, i))
            return false;
    }
    return true;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

bool isCommandToken(std::string_view text)
{
    return !text.empty() && allowed(text, false);
}

bool isQuotableText(std::string_view text)
{
    return !text.empty() && allowed(text, true);
}

bool isSingleLine(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isControl(c) || (c >= 0x80 && isLineSeparatorAt(text, i)))
            return false;
    }
    return true;
}

bool isDeviceValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t nameStart = i;
        while (i < text.size() && isNameChar(text[i]))
            ++i;
        if (i == nameStart || i >= text.size() || text[i] != '=')
            return false;
        ++i;
        if (i < text.size() && text[i] == '"') {
            const auto close = text.find('"', i + 1);
            if (close == std::string_view::npos ||
                !allowed(text.substr(i + 1, close - i - 1), true))
                return false;
            i = close + 1;
        } else {
            const std::size_t wordStart = i;
            while (i < text.size() && text[i] != ',')
                ++i;
            if (i == wordStart || !isCommandToken(text.substr(wordStart, i - wordStart)))
                return false;
        }
        if (i == text.size())
            return true;
        if (text.substr(i, 2) != ", ")
            return false;
        i += 2;
        if (i == text.size())
            return false;
    }
    return true;
}

bool formatCommand(std::string& out, std::string_view format, const std::string_view* args,
                   std::size_t argCount)
{
    out.clear();
    std::size_t next = 0;
    std::size_t pos = 0;
    for (;;) {
        const auto place = format.find("%s", pos);
        out.append(format.substr(pos, place - pos));
        if (place == std::string_view::npos)
            break;
        if (next >= argCount)
            return false;
        const std::string_view arg = args[next++];
        const std::string_view before = format.substr(0, place);
        bool ok;
        if (before.ends_with('"'))
            ok = isQuotableText(arg);
        else if (before.ends_with("SET_INPUT ") || before.ends_with("SET_OUTPUT ") ||
                 before.ends_with("SET_CAPTURE_MIC "))
            ok = !arg.empty() && isDeviceValue(arg);
        else
            ok = isCommandToken(arg);
        if (!ok)
            return false;
        out.append(arg);
        pos = place + 2;
    }
    return isSingleLine(out);
}

} // namespace tw
