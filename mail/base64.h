#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

/// Standard base64 (A-Z, a-z, 0-9, '+', '/'), padded with '=' to a multiple of four
/// characters. Used for attachments and for the AUTH LOGIN exchange.
class CBase64
{
public:
    /// The encoded text, without line breaks.
    static std::string Encode(const void* bytes, std::size_t length);
    static std::string Encode(std::string_view bytes) { return Encode(bytes.data(), bytes.size()); }

    /// Appends the encoding to out with "\r\n" after every lineLength characters (none after
    /// the last line), in one pass: the form an attachment takes in a message.
    static void EncodeLines(const void* bytes, std::size_t length, std::size_t lineLength,
                            std::string& out);

    /// The size EncodeLinesTo writes for length bytes.
    static std::size_t EncodedLinesSize(std::size_t length, std::size_t lineLength);
    /// EncodeLines into a buffer of at least EncodedLinesSize bytes, for a lineLength that is
    /// a multiple of four; returns the count written. Nothing is zero-filled first.
    static std::size_t EncodeLinesTo(const void* bytes, std::size_t length, std::size_t lineLength,
                                     char* out);

    /// The standard inverse. Characters outside the alphabet (line breaks, blanks) are
    /// skipped; the first '=' ends the data; incomplete trailing bits are dropped.
    static std::string Decode(std::string_view text);
};

} // namespace tw
