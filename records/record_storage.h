#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "records/free_space.h"
#include "records/record_index.h"
#include "records/record_list_sink.h"

namespace tw {

class Prompt;

/// The records folder: its index, today's date folder, the free-space watch with recycling
/// of the oldest records, archiving and exporting. One for the live records folder; another
/// one, marked as an archive view, while the user looks at an archive.
///
/// Threads: the operations that ask the user (OpenStorageFolder without a folder,
/// ArchiveTo without a folder, ExportRecord) run on the UI thread. FillLists may also run
/// on the list refill thread, EnsureFreeSpace and GetTodayFolder on the call-handling
/// thread; the index has its own lock and the storage's fields theirs.
class CRecordStorage
{
public:
    static constexpr std::uint64_t kDefaultMiB = 100;

    /// prompt may be null (headless: every question is cancelled). freeSpace null means the
    /// system's statvfs. clock answers "now" for today's folder and the index times.
    explicit CRecordStorage(Prompt* prompt = nullptr,
                            std::shared_ptr<FreeSpaceSource> freeSpace = nullptr,
                            CRecordIndex::Clock clock = {});
    /// Saves the index.
    ~CRecordStorage();
    CRecordStorage(const CRecordStorage&) = delete;
    CRecordStorage& operator=(const CRecordStorage&) = delete;

    CRecordIndex& Index() { return m_index; }
    const CRecordIndex& Index() const { return m_index; }
    std::string GetFolder() const;
    void SetArchiveView(bool archive) { m_index.SetArchiveView(archive); }

    void SetRecycle(bool recycle) { m_recycle = recycle; }
    /// Stores the minimum (MiB); with a records folder, measures and answers whether there
    /// is more than that.
    bool SetMinFreeSpace(std::uint64_t mib);
    std::uint64_t GetMinFreeSpace() const { return m_minFreeMiB; }
    std::uint64_t GetLastFreeSpace() const { return m_lastFreeMiB; }
    /// Measures the records folder's volume (keeping the last value when the system cannot
    /// tell); true when strictly more than the minimum is free.
    bool MeasureFreeSpace();
    /// True when the last measurement had room; otherwise, with recycling on, deletes the
    /// oldest hour of records at a time until there is room or nothing is left, saves the
    /// index and measures once more.
    bool EnsureFreeSpace();

    /// The records folder's date folder for today ("%Y-%m-%d", local), made on demand; the
    /// records folder itself while that cannot be made.
    std::string GetTodayFolder();

    /// Opens folder (or, with none, one the user chooses) as the records folder and fills
    /// the lists. The current folder again: tells the user and answers true. False when
    /// cancelled or the folder cannot be made or read (the current one stays open).
    bool OpenStorageFolder(std::optional<std::string> folder, const RecordLists* lists);
    /// Copies every record and an index into folder (or one the user chooses).
    bool ArchiveTo(std::optional<std::string> folder);
    /// Copies the record's file where the user says, asking before replacing a file.
    bool ExportRecord(std::uint32_t startTime);

    /// Saves the index's unsaved changes, reads the index file again (scanning when it fails
    /// or is damaged) and fills the lists. When the save fails the index stays as it is.
    void RefreshLists(const RecordLists* lists);
    /// Fills the lists from the index; a non-empty search text filters (ignoring case).
    RecordListCounts FillLists(const RecordLists& lists, std::string_view searchText);
    /// Rescans keeping flags and annotations, fills the lists and saves the index.
    void RebuildLists(const RecordLists* lists);
    bool SaveIndex() { return m_index.Save(); }

private:
    std::time_t now() const;

    Prompt* m_prompt;
    std::shared_ptr<FreeSpaceSource> m_freeSpace;
    CRecordIndex::Clock m_clock;
    CRecordIndex m_index;
    std::atomic<bool> m_recycle{false};
    bool m_openedOnce = false; // UI thread, like OpenStorageFolder
    std::atomic<std::uint64_t> m_minFreeMiB{kDefaultMiB};
    std::atomic<std::uint64_t> m_lastFreeMiB{kDefaultMiB};
    mutable std::mutex m_mutex; // guards the two paths
    std::string m_folder;
    std::string m_todayFolder;
};

} // namespace tw
