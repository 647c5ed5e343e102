#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

/// One record list of the user interface (voice mails, conversation records or all) as the
/// record storage fills it. Implemented by the UI.
///
/// Threads: called from whichever thread fills the lists (the UI thread, or the filter's
/// refill thread); an implementation hands the keys to its UI thread itself.
class RecordListSink
{
public:
    virtual ~RecordListSink() = default;
    /// Replaces every row. startTimes are the records' keys in ascending start time; the
    /// list shows them newest first and looks each record up with CRecordIndex::FindRecord
    /// when it needs its texts.
    virtual void setRecords(std::vector<std::uint32_t> startTimes) = 0;
};

/// The three lists; a null member is left alone.
struct RecordLists
{
    RecordListSink* voiceMails = nullptr;
    RecordListSink* conversations = nullptr;
    RecordListSink* all = nullptr;

    bool any() const { return voiceMails || conversations || all; }
};

/// Rows given to each list by one fill.
struct RecordListCounts
{
    std::size_t voiceMails = 0;
    std::size_t conversations = 0;
    std::size_t all = 0;
};

/// The Length column: "%02d:%02d:%02d" from one hour on, else "%02d:%02d" (a negative
/// length counts as 0).
std::string RecordLengthText(std::int64_t seconds);

/// The default Time column text: the locale's date and time ("%x %X") of the local start
/// time, in lower case. The UI may install its own through
/// CRecordIndex::SetTimeTextFormatter so the search sees exactly what the row shows.
std::string RecordTimeText(std::time_t startTime);

/// Lower case for matching: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic always,
/// other letters as the C library's locale knows them.
char16_t LowerForSearch(char16_t unit);
std::u16string LowerForSearch(std::u16string_view text);
std::string LowerForSearch(std::string_view utf8);

} // namespace tw
