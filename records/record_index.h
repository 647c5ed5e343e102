#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "records/index_file.h"
#include "records/record_info.h"

namespace tw {

/// Copies a record file, replacing the target through a temporary file; copying a file onto
/// itself leaves it alone. False on any failed read or write (the target is then untouched).
bool CopyRecordFile(const std::string& from, const std::string& to);

/// Which records an enumeration visits: 0 all, RECORD_VOICEMAIL, RECORD_CONVERSATION.
constexpr std::uint32_t kAllRecordTypes = 0;

/// The record index of one records folder: every record's RecordInfo in a year/month/day
/// tree (see index_file.h), stored in "twkrdb.ndx" in that folder and rebuilt from the audio
/// files when the file is missing or unreadable.
///
/// Thread safety: one (recursive) mutex guards every operation, so the record pipeline's
/// workers, the list refill thread and the UI thread may call any of them at once. Callbacks
/// (the removal listener, enumeration visitors, the full-name lookup and the time-text
/// formatter) run with the mutex held: they may read from this index (an enumeration
/// visitor must not change it), and must not wait for another thread that uses it.
class CRecordIndex
{
public:
    using Clock = std::function<std::time_t()>;
    /// Told the start time of each record deleted (not in an archive view): the side panel's
    /// RemoveRecentRecord.
    using RemovedListener = std::function<void(std::uint32_t startTime)>;
    /// The Time column's text of a start time (the search looks at it in lower case).
    using TimeTextFormatter = std::function<std::string(std::time_t)>;
    using Visitor = std::function<void(const RecordInfo&)>;

    /// clock answers "now" (seconds since 1970) for creation and change times; default
    /// std::time.
    explicit CRecordIndex(Clock clock = {});
    ~CRecordIndex();
    CRecordIndex(const CRecordIndex&) = delete;
    CRecordIndex& operator=(const CRecordIndex&) = delete;

    void SetRemovedListener(RemovedListener listener);
    void SetFullNameLookup(FullNameLookup lookup);
    void SetTimeTextFormatter(TimeTextFormatter formatter);
    void SetArchiveView(bool archive);
    bool IsArchiveView() const;

    /// Makes folder current: loads its index file, or scans the folder and writes a new
    /// one. An index file whose values fail IsPlausibleIndexTree is damaged: the folder is
    /// scanned, keeping the flags and annotations of its sound entries. Unsaved changes of
    /// the current tree are saved first. False (previous folder and tree kept) when the
    /// folder cannot be read.
    bool OpenFolder(const std::string& folder);
    /// Saves unsaved changes, then reads the index file; on success (a sound file) the loaded
    /// tree replaces the current one.
    bool Load();
    /// Writes a temporary file ("twkrdb.ndx1") and renames it over the index file; the old
    /// file stays until the new one is complete. True with no tree.
    bool Save();
    /// Copies every record file into folder/<%Y-%m-%d>/ and merges entries naming the copies
    /// into folder's index (an archive already there keeps its records; a record archived
    /// again replaces its entry). The live tree is unchanged. False when the index cannot be
    /// written or a file could not be copied (that entry then keeps its own path).
    bool SaveArchive(const std::string& folder);

    /// Rebuilds the tree from the record files of the folder's date folders and of the folder
    /// itself (where recordings go when today's folder cannot be made). Only regular files
    /// with record names (IsRecordFileName) count, not a temporary file beside its record; a
    /// chunk whose values do not fit the file is not believed (the name is read instead).
    bool Scan();
    /// Scan, keeping the flags and annotations the index held for records it still has
    /// (matched by path, else by start time), and the times of a file found again whose name
    /// has two readings in a repeated daylight-saving hour.
    bool Rebuild();
    /// Saves unsaved changes, then reads the index file again, scanning when that fails or the
    /// file is damaged; false (tree kept) when the save fails or neither can run.
    bool ReloadIndex();

    /// Adds a record (and, for a WAV record, writes its TWKI chunk); the stored size is the
    /// file's size with its chunk. 1 added; -1 refused (not plausible, the same start time as
    /// another file's record, or the chunk could not be written). The same file found by a
    /// scan before it was added is replaced by this description (flags and annotation kept).
    int AddRecord(const RecordInfo& info);
    /// A copy of the record with this start time (records whose end is not after their
    /// start cannot be found).
    std::optional<RecordInfo> FindRecord(std::uint32_t startTime) const;
    /// Changes the stored entry in place (path after a conversion, annotation, size). Its
    /// start and end times are kept; a size change updates the totals. False if not found.
    bool UpdateRecord(std::uint32_t startTime, const std::function<void(RecordInfo&)>& change);
    /// Deletes the entry and, when asked, its file. Does not look at the lock flag.
    bool DeleteRecord(std::uint32_t startTime, bool deleteFile);
    /// Deletes every unlocked record of the type (0 all), files included.
    void DeleteAll(std::uint32_t type);
    /// Deletes records oldest first while the earliest start is before limit.
    bool DeleteOlderThan(std::uint32_t limit);

    bool SetRecordFlags(std::uint32_t startTime, std::uint32_t flags);
    std::uint32_t GetRecordFlags(std::uint32_t startTime) const;

    bool IsEmpty() const;
    std::uint32_t GetEarliestStart() const;
    std::size_t GetRecordCount() const;
    std::uint64_t GetTotalBytes() const;
    std::string GetFolder() const;
    std::string GetIndexPath() const;

    /// Visits every record of the type in ascending start time (year, month, day, record).
    /// With a non-empty search text, only records where it occurs (ignoring case) in the
    /// Skype name, full name, Time text, Length text or annotation.
    void EnumerateRecords(std::uint32_t type, std::string_view searchText,
                          const Visitor& visit) const;

    /// A copy of the tree (tests, the tool).
    IndexTree GetTree() const;

private:
    enum class ChunkMode { Required, BestEffort, Skip };
    enum class LoadResult { Loaded, Scanned, Failed };
    struct Location
    {
        std::size_t year, month, day, record;
    };
    /// Changes the times of a record the scan found before it is added (fromName: they came
    /// from the file name rather than its chunk) and answers the older entry whose flags and
    /// annotation the new entry takes, or null.
    using ScanAdjust = std::function<const RecordInfo*(RecordInfo& info, bool fromName)>;

    std::time_t now() const;
    std::unique_ptr<IndexTree> newTree() const;
    bool saveUnsaved();
    LoadResult loadOrScan(IndexTree& tree);
    bool scanInto(IndexTree& tree, const ScanAdjust& adjust = {});
    void scanFolder(IndexTree& tree, const std::string& folder, int year, int month, int day,
                    int depth, const ScanAdjust& adjust);
    void scanFile(IndexTree& tree, const std::string& folder, const std::string& name,
                  const struct stat& st, int year, int month, int day, const ScanAdjust& adjust);
    int addTo(IndexTree& tree, RecordInfo info, ChunkMode chunk, RecordInfo** stored = nullptr);
    std::optional<Location> find(const IndexTree& tree, std::uint32_t startTime) const;
    std::optional<Location> locateAny(const IndexTree& tree, std::uint32_t startTime) const;
    bool deleteAt(const Location& at, bool deleteFile);
    bool saveTo(const std::string& indexPath, const IndexDayHook& onDay,
                const IndexRecordFilter& filter);

    struct TimeText
    {
        std::uint32_t start;
        std::u16string text;
    };
    std::u16string formatTimeText(std::uint32_t startTime) const;
    void refreshTimeTexts() const;
    bool timeTextsCanHold(std::u16string_view needle) const;

    mutable std::recursive_mutex m_mutex;
    Clock m_clock;
    RemovedListener m_removed;
    FullNameLookup m_lookup;
    TimeTextFormatter m_timeText;
    std::string m_folder;
    std::string m_indexPath;
    bool m_archiveView = false;
    std::unique_ptr<IndexTree> m_tree;
    // Lower-cased Time texts in ascending start time, read in step with an enumeration:
    // formatting them would dominate a search otherwise.
    mutable std::vector<TimeText> m_timeTexts;
    mutable std::string m_timeTextZone;
};

} // namespace tw
