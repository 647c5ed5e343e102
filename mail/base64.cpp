#include "mail/base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace tw {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table look-up per half of a 3-byte group
// keeps the encoder close to memory speed.
struct PairTable
{
    std::array<char, 8192> pairs{};
    constexpr PairTable()
    {
        for (int i = 0; i < 4096; ++i) {
            pairs[2 * i] = kAlphabet[i >> 6];
            pairs[2 * i + 1] = kAlphabet[i & 63];
        }
    }
};
constexpr PairTable kPairs;

struct DecodeTable
{
    std::array<std::int8_t, 256> values{};
    constexpr DecodeTable()
    {
        for (auto& v : values)
            v = -1;
        for (int i = 0; i < 64; ++i)
            values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
};
constexpr DecodeTable kDecode;

// Encodes whole 3-byte groups; returns the characters written (4 per group).
inline char* encodeGroups(const unsigned char* in, std::size_t groups, char* out)
{
    for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        const std::uint32_t v = (std::uint32_t(in[0]) << 16) | (std::uint32_t(in[1]) << 8) | in[2];
        std::memcpy(out, &kPairs.pairs[2 * (v >> 12)], 2);
        std::memcpy(out + 2, &kPairs.pairs[2 * (v & 0xFFF)], 2);
    }
    return out;
}

// The final one or two bytes, padded.
inline char* encodeTail(const unsigned char* in, std::size_t rest, char* out)
{
    if (rest == 0)
        return out;
    const std::uint32_t v =
        (std::uint32_t(in[0]) << 16) | (rest == 2 ? std::uint32_t(in[1]) << 8 : 0);
    out[0] = kAlphabet[(v >> 18) & 63];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = '=';
    return out + 4;
}

} // namespace

std::string CBase64::Encode(const void* bytes, std::size_t length)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::string out((length + 2) / 3 * 4, '\0');
    char* end = encodeGroups(in, length / 3, out.data());
    encodeTail(in + length / 3 * 3, length % 3, end);
    return out;
}

void CBase64::EncodeLines(const void* bytes, std::size_t length, std::size_t lineLength,
                          std::string& out)
{
    if (lineLength == 0 || lineLength % 4 != 0) {
        // Odd line lengths are not worth a fast path: encode, then cut.
        const std::string flat = Encode(bytes, length);
        for (std::size_t pos = 0; pos < flat.size(); pos += lineLength ? lineLength : flat.size()) {
            if (pos > 0)
                out.append("\r\n");
            out.append(flat, pos, lineLength ? lineLength : flat.size());
        }
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + EncodedLinesSize(length, lineLength));
    EncodeLinesTo(bytes, length, lineLength, out.data() + start);
}

std::size_t CBase64::EncodedLinesSize(std::size_t length, std::size_t lineLength)
{
    const std::size_t chars = (length + 2) / 3 * 4;
    return chars + (chars == 0 || lineLength == 0 ? 0 : 2 * ((chars - 1) / lineLength));
}

std::size_t CBase64::EncodeLinesTo(const void* bytes, std::size_t length, std::size_t lineLength,
                                   char* out)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    char* dst = out;
    const std::size_t groupsPerLine = lineLength / 4;
    std::size_t groups = length / 3;
    while (groups > 0) {
        const std::size_t n = groups < groupsPerLine ? groups : groupsPerLine;
        dst = encodeGroups(in, n, dst);
        in += 3 * n;
        groups -= n;
        const bool lineFull = n == groupsPerLine;
        const bool more = groups > 0 || length % 3 != 0;
        if (lineFull && more) {
            dst[0] = '\r';
            dst[1] = '\n';
            dst += 2;
        }
    }
    return static_cast<std::size_t>(encodeTail(in, length % 3, dst) - out);
}

std::string CBase64::Decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        const int v = kDecode.values[static_cast<unsigned char>(c)];
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8));
            out.push_back(static_cast<char>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out.push_back(static_cast<char>(bits >> 4));
    } else if (count == 3) {
        out.push_back(static_cast<char>(bits >> 10));
        out.push_back(static_cast<char>(bits >> 2));
    }
    return out;
}

} // namespace tw
