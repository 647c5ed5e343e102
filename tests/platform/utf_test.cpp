#include <gtest/gtest.h>

#include "platform/utf.h"

namespace tw {
namespace {

const std::string kClef = "\xF0\x9D\x84\x9E"; // U+1D11E, a surrogate pair in UTF-16
const std::string kEAcute = "\xC3\xA9";       // U+00E9
const std::string kEuro = "\xE2\x82\xAC";     // U+20AC
const std::string kBad = "\xEF\xBF\xBD";      // U+FFFD

TEST(Utf, RoundTripsAndCountsSurrogatePairsAsTwoUnits)
{
    const std::string text = "a" + kEAcute + kEuro + kClef;
    const std::u16string wide = toUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'a', 0xE9, 0x20AC, 0xD834, 0xDD1E}));
    EXPECT_EQ(toUtf8(wide), text);
    EXPECT_EQ(utf16Length(text), 5u);
}

TEST(Utf, BadInputBecomesReplacementCharacters)
{
    // A stray continuation byte, a truncated sequence, an overlong '/', an encoded surrogate,
    // a code point past U+10FFFF; lone surrogates in UTF-16.
    const std::pair<std::string, std::string> cases[] = {
        {"a\x80z", "a" + kBad + "z"},
        {"\xE2\x82", kBad + kBad},
        {"\xC0\xAF", kBad + kBad},
        {"\xED\xA0\x80", kBad + kBad + kBad},
        {"\xF4\x90\x80\x80", kBad + kBad + kBad + kBad}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(toUtf8(toUtf16(in)), out) << in;
    EXPECT_EQ(toUtf8(std::u16string{0xD834, u'x'}), kBad + "x");
    EXPECT_EQ(toUtf8(std::u16string{0xDD1E}), kBad);
}

TEST(Utf, CutsNeverInsideACharacterOrAPair)
{
    const std::string text = "ab" + kClef + "c";
    EXPECT_EQ(cutToUtf16Units(text, 3), "ab"); // the pair does not fit in one unit
    EXPECT_EQ(cutToUtf16Units(text, 4), "ab" + kClef);
    EXPECT_EQ(cutToUtf16Units(text, 99), text);

    const std::string bytes = "a" + kEuro + kClef; // 1 + 3 + 4 bytes
    for (std::size_t max = 1; max <= 8; ++max)
        EXPECT_EQ(cutToUtf8Bytes(bytes, max), max < 4 ? "a" : max < 8 ? "a" + kEuro : bytes) << max;
    // Stray continuation bytes are not a sequence: the cut stays at the limit.
    EXPECT_EQ(cutToUtf8Bytes(std::string(10, '\x80'), 6).size(), 6u);
}

TEST(Utf, IgnoresCaseOfAsciiLettersOnly)
{
    EXPECT_TRUE(equalsIgnoreCase("Preference", "pREFERENCE"));
    EXPECT_FALSE(equalsIgnoreCase("Preference", "Preferences"));
    EXPECT_FALSE(equalsIgnoreCase(kEAcute, "\xC3\x89")); // É is not folded
    EXPECT_EQ(asciiLower("MiXeD/" + kEAcute), "mixed/" + kEAcute);
}

} // namespace
} // namespace tw
