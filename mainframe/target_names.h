#pragma once

#include <string>
#include <string_view>

namespace tw {

// The file names the record pipeline makes beside a record file P whose name without its
// 4-character extension is N:
//   converted WAV (codecs 1 to 3)          N + "_1" + P's extension
//   MP3 record (codec 2 unwrapped, or 4)   N + ".mp3"
//   e-mail copy (codecs 0 to 3)            N + "_em.wav"
//   e-mail copy (codec 4, or 2 unwrapped)  N + "_em.mp3"

/// P without its last 4 characters, then "_em" for an e-mail copy, then ".wav" for codecs 0
/// to 3 and ".mp3" for any other codec.
std::string MakeTargetName(std::string_view path, int codec, bool forEmail);

/// N + "_1" + P's extension: where a codec 1 to 3 conversion writes before it takes P's place.
std::string ConvertedWavName(std::string_view path);

/// The MP3 a WAV of MPEG frames is unwrapped into: the WAV's name without its last `cut`
/// characters, + ".mp3" (cut 4 for "N_em.wav", 6 for "N_1.wav", which both give back N).
std::string UnwrappedMp3Name(std::string_view wavPath, std::size_t cut);

/// True when path ends exactly in "_1.wav" (a converted WAV that takes the record's name).
bool IsConvertedWavName(std::string_view path);

} // namespace tw
