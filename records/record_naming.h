#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace tw {

// Names of the files a recording goes through: the segments Skype writes, the temporary files
// of the join, cut and mix, and the final record name "ti<start><end><letter><handle>.wav".
// Pure functions; any thread.

/// The longest record path the record description can hold: 260 UTF-16 units with the NUL.
constexpr std::size_t kMaxRecordPathUnits = 259;
/// The longest file name (one path component) the file systems we write to accept, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

/// A partner handle as it may appear inside a file name. Characters that a file name must not
/// hold or that would read as something else ("/", "\", NUL and every control character, the
/// characters FAT and NTFS refuse, "%" itself, a leading ".", bytes that are not UTF-8) become
/// "%XX" with the byte in upper-case hex, so the mapping is fixed and one-to-one: the same
/// handle always gives the same text and two handles never share one.
std::string SafeFileNamePart(std::string_view handle);

/// The handle a SafeFileNamePart text stands for: every "%XX" the escaping made becomes its
/// byte again. A text that escaping cannot have produced (a "%" not followed by two upper-case
/// hex digits, an escape of a byte that is never escaped) is taken as it stands, so that
/// UnescapeFileNamePart(SafeFileNamePart(h)) == h for every handle h and nothing else is
/// guessed.
std::string UnescapeFileNamePart(std::string_view part);

/// A final record name: "ti", six two-digit clock fields in range (start and end), the kind
/// letter "v" or "c", a partner part, and ".wav" (IsRecordWav) or ".mp3" (IsRecordMp3). What
/// the call handling writes while a call is recorded (segments, letters "o" and "m"), the
/// e-mail copies and the temporary files of the join, cut and mix are not record names.
bool IsRecordFileName(std::string_view name);

/// When name is a record name with the tag of a temporary file behind its partner part (the
/// conversion's "_1", an encoder input's ".mp3.pcm"; earlier versions also named the
/// mix's, join's and cut's output "_3", "_4" and "_5"), the record name stem it was made from
/// ("ti...vbob" of "ti...vbob_1.wav"); empty otherwise. Such a file is a leftover only while its
/// record lies beside it: a partner handle may end in "_1" itself.
std::string TemporaryFileStem(std::string_view name);

/// "%H%M%S" of t in local time.
std::string FormatClockTime(std::time_t t);

/// "v" for a voice mail, "c" for a conversation, "t" for type 3, "" for anything else.
std::string_view RecordTypeLetter(int recordType);

/// "ti" + start + end + "o" (what the other parties say) or "m" (the local microphone) +
/// ".wav", without a folder.
std::string SegmentFileName(std::time_t start, std::time_t end, bool microphone);

/// folder/name, where name is base + ext, or base + "-2" + ext, "-3" ... for the first one
/// for which taken(path) is false. taken is asked about every candidate (it normally checks
/// the disk and the paths other recordings hold). The "-" keeps these names apart from the
/// "_1" ... "_5" temporary names.
std::string UniquePath(const std::string& folder, std::string_view base, std::string_view ext,
                       const std::function<bool(const std::string&)>& taken);

/// The final record path: folder + "/ti" + start + end + type letter + the safe form of the
/// handle + ext. The handle part is shortened (never inside an escape or a character) so that
/// the whole path stays within kMaxRecordPathUnits UTF-16 units and the name within
/// kMaxFileNameBytes bytes. Empty when even an empty handle does not fit.
std::string RecordFilePath(const std::string& folder, std::time_t start, std::time_t end,
                           int recordType, std::string_view handle, std::string_view ext);

/// The name under which a finishing step (step: "cut", "mix", "join") writes its output
/// before that output replaces path: "." + path's name + "." + step + "-tmp", in path's
/// folder. Hidden and with an ending of its own, so that a clean-up after a crash tells it
/// apart from every segment and record (their names start with "ti").
std::string FinishTempPath(std::string_view path, std::string_view step);

/// The name of the file in the same folder that a finishing step's temporary file (see
/// FinishTempPath) was made from: "ti...o.wav" of ".ti...o.wav.cut-tmp". Empty for any
/// other name.
std::string FinishTempSource(std::string_view name);

/// path with tag put before its 4-character extension: ("a/x.wav", "_3") -> "a/x_3.wav".
/// A path whose name is shorter than 4 characters gets the tag at the end.
std::string InsertBeforeExtension(std::string_view path, std::string_view tag);

} // namespace tw
