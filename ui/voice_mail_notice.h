#pragma once

#include <optional>

#include <QString>

#include "records/record_info.h"

namespace tw {

/// The texts of the desktop notification of a new voice mail.
struct VoiceMailNotice
{
    QString summary; ///< "Voice mail from NAME"
    QString body;    ///< its length (and time)
    QString action;  ///< the label of the action that plays it
};

/// The notice of a record that joined the live records: only for a voice mail, only when
/// the user wants desktop notifications. NAME is the caller's full name, else the Skype
/// name.
std::optional<VoiceMailNotice> MakeVoiceMailNotice(const RecordInfo& info, bool enabled);

/// A length in seconds as "m:ss", from an hour on "h:mm:ss".
QString NoticeLengthText(std::uint32_t seconds);

} // namespace tw
