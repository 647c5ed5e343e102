#pragma once

#include <string>
#include <string_view>

namespace tw {

// Header text that survives every mail server and reader: anything beyond printable ASCII
// becomes RFC 2047 encoded words (names, subject) or an RFC 2231 parameter (file names),
// always in UTF-8. Plain ASCII stays as it is.

/// True when every byte is printable ASCII, a space or a tab.
bool IsPlainHeaderText(std::string_view text);

/// "=?utf-8?B?...?=" words of at most 75 characters, split between characters and joined
/// by a folding line break ("\r\n "), which readers drop between encoded words.
std::string EncodedWords(std::string_view utf8);

/// A subject as it goes into the header: as it is when plain, else encoded words.
std::string SubjectText(std::string_view subject);

/// A display name before an address: a quoted string when plain, else encoded words.
std::string DisplayNameText(std::string_view name);

/// ";\r\n\tname=value" for a MIME parameter: a quoted string when plain; otherwise the
/// RFC 2231 form (name*0*=utf-8''%C3%A9...; name*1*=...) in lines short enough to fold.
std::string MimeParameter(std::string_view name, std::string_view utf8);

/// The same value as an encoded word inside quotes, for older readers that only look at
/// the Content-Type's "name".
std::string LegacyNameParameter(std::string_view utf8);

} // namespace tw
