#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace tw {

// Texts exchanged with Skype: reading numbers out of notifications, and building commands so
// that a value from the peer (a handle, a chat name, a saved device value) or from the user
// (a path) stays one argument of one command. Skype's protocol has no escaping, so values
// that would change a command's shape are refused, never "repaired".

/// Reads the leading decimal digits of text ("12abc" gives 12). False, with value left
/// unchanged, when text does not start with a digit or the number does not fit T.
template <typename T> bool parseDecimal(std::string_view text, T& value)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    unsigned long long n = 0;
    constexpr auto max = static_cast<unsigned long long>(std::numeric_limits<T>::max());
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > max)
            return false;
    }
    value = static_cast<T>(n);
    return true;
}

/// A word of a command: not empty, no space, no double quote, no control character and no
/// Unicode line or paragraph separator. Handles, chat names, call ids and status words.
bool isCommandToken(std::string_view text);
/// Text that may stand between double quotes: not empty, no double quote, no control
/// character, no line separator. File paths.
bool isQuotableText(std::string_view text);
/// A device value as Skype reports INPUT, OUTPUT and CAPTURE_MIC: items such as
/// SOUNDCARD="default" or FILE="/a b.wav" (NAME="..." or NAME=word) joined by ", ". The empty
/// value is valid (nothing redirected).
bool isDeviceValue(std::string_view text);
/// True when the text is one line: no control character (CR, LF, NUL, ...) and no Unicode
/// line separator. Every command sent must be.
bool isSingleLine(std::string_view text);

/// Fills the %s places of format in order. The kind of each place comes from the format
/// itself: after a double quote it takes quotable text; after "SET_INPUT ", "SET_OUTPUT " or
/// "SET_CAPTURE_MIC " a non-empty device value; anywhere else a command token. Returns false
/// (out unspecified) when an argument does not fit its place or arguments are missing.
bool formatCommand(std::string& out, std::string_view format, const std::string_view* args,
                   std::size_t argCount);

} // namespace tw
