#pragma once

#include <optional>
#include <string>

#include "mail/mail_item.h"

namespace tw {

// An outbox item waiting in the mail folder, one "key=value" line per field (attachments one
// line each), with backslash, CR and LF escaped. Written to a temporary file and renamed, so
// a crash leaves the old or the new file.

bool SaveMailItem(const std::string& path, const MailItem& item);
/// nullopt for a file that cannot be read or holds no usable item (no sender or recipient).
std::optional<MailItem> LoadMailItem(const std::string& path);

} // namespace tw
