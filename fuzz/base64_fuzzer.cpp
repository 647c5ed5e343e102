// The base64 decoder reads what a peer or a stored message holds; the encoder must round
// trip through it for every byte string and every line length an attachment may use.
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "mail/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = tw::CBase64::Decode(text);
    tw::fuzz::check(decoded.size() <= size / 4 * 3 + 2, "decoding grew the data");

    const std::string flat = tw::CBase64::Encode(text);
    tw::fuzz::check(flat.size() == (size + 2) / 3 * 4, "encoded length");
    tw::fuzz::check(tw::CBase64::Decode(flat) == text, "flat round trip");

    const std::size_t lineLength = size == 0 ? 76 : 1 + data[0] % 100;
    for (std::size_t length : {std::size_t{76}, lineLength}) {
        std::string lines = "x";
        tw::CBase64::EncodeLines(data, size, length, lines);
        std::string joined;
        for (char c : std::string_view(lines).substr(1))
            if (c != '\r' && c != '\n')
                joined.push_back(c);
        tw::fuzz::check(joined == flat, "line breaks change the encoding");
        tw::fuzz::check(lines.size() < 3 || lines.substr(lines.size() - 2) != "\r\n",
                        "line break after the last line");
        tw::fuzz::check(tw::CBase64::Decode(std::string_view(lines).substr(1)) == text,
                        "lined round trip");
    }
    return 0;
}
