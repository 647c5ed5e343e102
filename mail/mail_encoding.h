#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/mail_message.h"

namespace tw {

// Transfer encodings of one MIME part. Content is bytes (text parts: their UTF-8 text).
// A line ends at CR LF, at a lone CR or at a lone LF (the usual ending of text written on
// this system); every line end comes out as CR LF.

inline constexpr std::size_t kMailLineLength = 76;

/// ChooseEncoding over content that arrives in blocks (a file read a block at a time):
/// feed every block, then ask result(). certain() tells when more blocks cannot change it.
class EncodingScan
{
public:
    explicit EncodingScan(std::size_t total) : m_total(total) {}
    void feed(std::string_view block);
    bool certain() const { return m_base64; }
    MailEncoding result() const;

private:
    std::size_t m_total;
    std::size_t m_other = 0;
    std::size_t m_lineLength = 0;
    bool m_longLine = false;
    bool m_base64 = false;
};

/// The encoding that suits the content: 7bit for short lines of printable ASCII, 8bit when
/// some bytes are not ASCII, quoted-printable when a line is longer than 76 bytes, base64
/// when more than a tenth of the bytes are not printable. Empty content is 7bit.
MailEncoding ChooseEncoding(std::string_view content);

/// The encoding a part goes out in: the requested one (0 = ChooseEncoding), except that
/// 8bit becomes quoted-printable, so that no server has to carry 8-bit data.
MailEncoding TransportEncoding(MailEncoding requested, std::string_view content);

/// The Content-Transfer-Encoding name: "7bit", "8bit", "quoted-printable", "base64".
const char* EncodingName(MailEncoding encoding);

/// Encodes the content (encoding 0 = ChooseEncoding), breaks its lines and dot-stuffs it;
/// encodingName receives the name for the Content-Transfer-Encoding line.
std::string EncodePartText(MailEncoding encoding, std::string_view content,
                           std::string& encodingName);

/// Appends the content in the given (already chosen, non-zero) encoding to out.
void AppendEncoded(std::string& out, MailEncoding encoding, std::string_view content);

/// Breaks lines longer than width characters after the last of " -;.,?!" within the first
/// width characters, or after the width-th character when there is none there.
std::string WrapLines(std::string_view text, std::size_t width = kMailLineLength);

/// Quoted-printable with soft line breaks that never split an escape.
std::string QuotedPrintable(std::string_view content);

/// Doubles a dot that starts the text or follows CR LF, so that no line of a part can end
/// the SMTP data.
std::string DotStuff(std::string_view text);

} // namespace tw
