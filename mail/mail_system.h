#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// What the mail code asks of the system: the charset text parts declare, the name this
// computer greets the server with, a millisecond tick for boundaries, and the content type
// registered for a file extension.

/// The charset text parts declare. The program's text is UTF-8 and goes out unconverted,
/// so the declaration names UTF-8 whatever the locale says.
std::string SystemCharset();

/// The host name (gethostname), at most 63 bytes; "localhost" when there is none.
std::string ComputerName();

/// This host's fully qualified name (the canonical name of gethostname's name, or that name
/// itself when it has a dot); empty when there is none. Servers refuse a bare host name.
std::string FullyQualifiedHostName();

/// A new, unique Message-ID value without angle brackets: "<time>.<random>@<domain>", the
/// domain taken from the sender address, else this host's name.
std::string NewMessageId(std::string_view senderAddress);

/// Milliseconds of a steady clock, wrapping at 2^32 like a tick counter.
std::uint32_t TickCount();

/// The content type /etc/mime.types gives the name's extension (the part after its last
/// dot, compared without regard to case); "application/octet-stream" when there is none.
std::string ContentTypeForName(std::string_view name);
/// The same against another mime.types file.
std::string ContentTypeForName(std::string_view name, const std::string& mimeTypesPath);

} // namespace tw
