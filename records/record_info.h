#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace tw {

// A record is one audio file in a date folder ("%Y-%m-%d") of the records folder. Its
// description, RecordInfo, is stored twice: as an entry of the index file and, for WAV
// records, as a top-level RIFF chunk of form type "TWKI" behind the file's WAVE chunk. The
// file name also encodes times, kind and partner, so the index can be rebuilt from the files.

constexpr std::uint32_t RECORD_VOICEMAIL = 1;
constexpr std::uint32_t RECORD_CONVERSATION = 2;

constexpr std::uint32_t RECFLAG_PLAYED = 0x1;
constexpr std::uint32_t RECFLAG_LOCKED = 0x10;

/// Origin word: built from a call, or rebuilt from the file name.
constexpr std::uint32_t RECORD_ORIGIN_CALL = 0;
constexpr std::uint32_t RECORD_ORIGIN_FILE_NAME = 2;

/// The 872-byte record description, laid out exactly as on disk (little-endian, no padding),
/// so the index and the chunk read and write it as raw bytes. Text fields are UTF-16LE,
/// NUL-terminated, zero-filled behind the terminator; use the accessors, which convert to
/// and from UTF-8 and cut in UTF-16 units (never inside a surrogate pair) to the field width
/// less one. The getters stop at the field's end, so an unterminated field read from a
/// hostile file is still safe. Value type: zero-initialised, copy freely.
struct RecordInfo
{
    static constexpr std::size_t kPathUnits = 260;
    static constexpr std::size_t kNameUnits = 32;
    static constexpr std::size_t kAnnotationUnits = 64;

    std::uint32_t type = 0;   ///< RECORD_VOICEMAIL or RECORD_CONVERSATION
    std::uint32_t origin = 0; ///< RECORD_ORIGIN_CALL or RECORD_ORIGIN_FILE_NAME
    char16_t path[kPathUnits] = {};
    char16_t skypeName[kNameUnits] = {};  ///< partner Skype name
    char16_t secondText[kNameUnits] = {}; ///< shown as "name (second)" when non-empty
    char16_t fullName[kNameUnits] = {};   ///< partner full name
    char16_t annotation[kAnnotationUnits] = {};
    std::uint32_t startTime = 0; ///< seconds since 1970 UTC; the record's key
    std::uint32_t endTime = 0;
    std::int64_t size = 0; ///< audio file size in bytes
    std::uint32_t flags = 0;
    std::uint32_t reserved = 0;

    std::string Path() const;
    std::string SkypeName() const;
    std::string SecondText() const;
    std::string FullName() const;
    std::string Annotation() const;

    void SetPath(std::string_view utf8);
    void SetSkypeName(std::string_view utf8);
    void SetSecondText(std::string_view utf8);
    void SetFullName(std::string_view utf8);
    void SetAnnotation(std::string_view utf8);

    /// Terminates every text field at its last unit (after reading untrusted bytes).
    void TerminateTexts();
};

static_assert(std::endian::native == std::endian::little,
              "RecordInfo is stored as raw little-endian bytes");
static_assert(sizeof(RecordInfo) == 872);
static_assert(offsetof(RecordInfo, path) == 8);
static_assert(offsetof(RecordInfo, skypeName) == 528);
static_assert(offsetof(RecordInfo, secondText) == 592);
static_assert(offsetof(RecordInfo, fullName) == 656);
static_assert(offsetof(RecordInfo, annotation) == 720);
static_assert(offsetof(RecordInfo, startTime) == 848);
static_assert(offsetof(RecordInfo, size) == 856);
static_assert(offsetof(RecordInfo, flags) == 864);

/// Answers the full name of a Skype name (empty when not known yet). The contact model of
/// the Skype link supplies it; it may be called from any thread that rebuilds records.
using FullNameLookup = std::function<std::string(const std::string& skypeName)>;

/// Writes the info as the "TWKI" chunk of the WAV file named by its path: right behind the
/// first top-level RIFF/WAVE chunk (pad byte included), overwriting an earlier TWKI chunk in
/// place, so a file never holds two. Where the WAVE chunk ends is ReadWaveLayout's answer:
/// a RIFF size field that disagrees with the chunks is not believed, and is set to what the
/// chunks say; nothing else of the WAVE chunk changes. The chunk is written only over an
/// earlier record chunk or at the end of the file, never over other bytes (a file with
/// unknown data behind its audio is refused). The size field of the written block is the
/// file's size with the chunk, the size a record's entry stores; it is handed back in
/// storedSize. Failures are written to the event log and leave the audio data untouched.
/// Only regular files are opened.
bool AppendRecordInfo(const RecordInfo& info, std::int64_t* storedSize = nullptr);

/// Fills info from the file's "TWKI" chunk (right behind the WAVE chunk, or the file's last
/// 884 bytes): the first 872 payload bytes, whatever the chunk's size field says. False when
/// the file cannot be opened, is not a regular file, has no such chunk or ends before 872
/// bytes. The values are as the file holds them: see IsPlausibleRecordInfo.
bool ReadRecordInfo(const std::string& path, RecordInfo& info);

/// True when path ends in ".wav" (any case) and not exactly in "_em.wav" (e-mail copies).
bool IsRecordWav(std::string_view path);
/// The same for ".mp3" and "_em.mp3".
bool IsRecordMp3(std::string_view path);

/// The record file name: "ti" HHMMSS(start) HHMMSS(end) in local time, "v" or "c", the
/// partner Skype name made safe for a file name (SafeFileNamePart), ".wav".
std::string MakeRecordFileName(std::uint32_t type, std::time_t start, std::time_t end,
                               std::string_view skypeName);

/// Parses a record file name (with extension, without folder) in the date folder
/// year-month-day: times (an end hour below the start hour means the next day), type,
/// origin 2, partner name (unescaped as SafeFileNamePart escaped it, cut to 31 units) and,
/// through lookup, the full name. The caller fills path, size and flags. False when a time
/// field is not two decimal digits in range.
/// A clock time inside the repeated hour when daylight saving ends has two readings; the
/// readings of start and end that keep the end after the start are taken (of two such, the
/// one whose end is nearest endHint, the file's last change, when given; else the earlier).
bool RecordInfoFromFileName(std::string_view fileName, int year, int month, int day,
                            RecordInfo& info, const FullNameLookup& lookup = {},
                            std::time_t endHint = 0);

/// No record is older than this (1990-01-01 UTC); a time before it read from a file is damage.
constexpr std::uint32_t kEarliestRecordTime = 631152000;

/// Whether a description read from disk (a chunk or an index entry) can be a record's: type
/// 1 or 2, start and end times from kEarliestRecordTime up to 2^31 - 1 (times are compared
/// as signed 32-bit values), a size that is not negative. A zeroed block fails.
bool IsPlausibleRecordInfo(const RecordInfo& info);

/// The date folder name of a time: local "%Y-%m-%d".
std::string RecordDateFolderName(std::time_t t);

} // namespace tw
