#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw {

// The audio steps of finishing a record: cutting the greeting off a voice mail and mixing the
// two sides of a conversation. Both stream through buffers of at most kFinishBufferBytes,
// never hold a file in memory, write a temporary file beside the original and put it in the
// original's place only when every byte was written. Worker threads; one file each.

constexpr std::size_t kFinishBufferBytes = 8192;

enum class CutResult {
    Done,
    /// The file is a WAV shorter than the greeting, or not 16-bit mono: nothing the caller
    /// said is in it. The caller of CutGreeting deletes it.
    Unusable,
    /// The file does not open as WAV (missing, or its header is damaged): left as it is.
    Unreadable,
    /// Reading or writing failed half way (a full disk): the file is left as it was.
    IoError,
};

/// Drops the first greetingCs hundredths of a second from the 16-bit mono WAV at path: the
/// greeting that Skype wrote into the caller's line while it played. The temporary file is
/// FinishTempPath(path, "cut").
CutResult CutGreeting(const std::string& path, std::uint32_t greetingCs);

/// Mixes the 16-bit mono WAV micPath into the 16-bit mono WAV outputPath, under outputPath's
/// name: with twoChannels the other parties on the left and the microphone on the right,
/// else one channel holding the clipped sum. The shorter side is padded with silence. The
/// temporary file is FinishTempPath(outputPath, "mix"). On failure outputPath is as
/// it was; micPath is never touched (the caller deletes it after a successful mix).
bool MixInto(const std::string& outputPath, const std::string& micPath, bool twoChannels,
             std::string* error = nullptr);

} // namespace tw
