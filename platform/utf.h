#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// Text is UTF-8 inside the program. Limits that the file formats and the Skype protocol count
// in UTF-16 code units are counted and cut here, never inside a surrogate pair or a UTF-8
// sequence. Invalid UTF-8 decodes to U+FFFD, one per bad byte.

/// Decodes the code point at utf8[pos] and advances pos past it. An invalid byte decodes to
/// U+FFFD and advances pos by exactly one, so a result of 0x80 or more after a one-byte step
/// marks a byte that starts no well-formed sequence.
char32_t decodeUtf8(std::string_view utf8, std::size_t& pos);

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

/// Number of UTF-16 code units the UTF-8 text needs.
std::size_t utf16Length(std::string_view utf8);

/// The longest prefix of utf8 whose UTF-16 form has at most maxUnits units.
std::string cutToUtf16Units(std::string_view utf8, std::size_t maxUnits);

/// The longest prefix of utf8 of at most maxBytes bytes that ends on a character boundary.
std::string_view cutToUtf8Bytes(std::string_view utf8, std::size_t maxBytes);

/// Lower-case ASCII letters only (folder names, INI keys compare this way).
std::string asciiLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace tw
