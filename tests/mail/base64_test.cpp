// Attachment encoding: the lines of a base64 body are at most 76 characters, whatever the
// length of the last group.
#include <gtest/gtest.h>

#include "mail/base64.h"

namespace tw {
namespace {

/// The flat encoding cut into lines of width characters, joined by CR LF.
std::string cut(const std::string& flat, std::size_t width)
{
    std::string out;
    for (std::size_t at = 0; at < flat.size(); at += width)
        out += (at ? "\r\n" : "") + flat.substr(at, width);
    return out;
}

TEST(Base64Lines, PaddedTailAfterFullLinesStartsALineOfItsOwn)
{
    // 57 bytes fill a 76-character line exactly; one or two bytes more are a padded tail.
    for (std::size_t length : {57u, 58u, 59u, 57u * 1000 + 1, 57u * 1000 + 2, 60u, 0u}) {
        std::string bytes(length, '\0');
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>(i * 7 + 3);
        std::string lines;
        CBase64::EncodeLines(bytes.data(), bytes.size(), 76, lines);
        EXPECT_EQ(lines, cut(CBase64::Encode(bytes), 76)) << length;
        EXPECT_EQ(CBase64::Decode(lines), bytes) << length;
    }
}

} // namespace
} // namespace tw
