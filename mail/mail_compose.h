#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "mail/mail_message.h"

namespace tw {

/// Receives the composed text piece by piece; false stops the composing.
using MailSink = std::function<bool(std::string_view)>;

/// Composes the message straight into sink, reading and encoding each attachment a block at
/// a time, so a large attachment is never held in memory whole. Otherwise exactly as
/// ComposeMessageText. False when the sink stopped it (the text is then incomplete).
bool ComposeMessage(CMailMessage& message, std::uint32_t tickCount, const MailSink& sink);

/// The complete message text, headers and body, exactly as it goes after DATA (without the
/// end-of-data line). Fixes message.multipartKind when it is automatic; the generated headers
/// replace the caller's headers of the same names in the text only, so composing twice gives
/// the same text. Boundaries are made from the tick count.
std::string ComposeMessageText(CMailMessage& message);
/// The same with a given tick count, for reproducible boundaries.
std::string ComposeMessageText(CMailMessage& message, std::uint32_t tickCount);

/// "Tue, 1 May 2007 14:03:09 +0200": a zone of 0 is written -0000.
std::string FormatMailDate(const MailDate& date, int zone);

/// A header value made safe: every CR and LF becomes a space, so that no caller's text can
/// start a header line of its own (or end the header block).
std::string HeaderSafe(std::string_view text);

} // namespace tw
