// The record index and the files of its folder: loading and saving the index file, scanning
// the folder's record files, rebuilding, reloading and archiving.

#include <algorithm>
#include <cstring>
#include <ctime>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "platform/trace.h"
#include "platform/utf.h"
#include "records/finish_leftovers.h"
#include "records/record_index.h"
#include "records/record_naming.h"

namespace tw {
namespace {

constexpr int kMaxFolderDepth = 16;
constexpr std::int64_t kDay = 86400;

/// Parses "%Y-%m-%d" from characters 0-3, 5-6 and 8-9 of a folder name.
bool parseDateFolder(const char* name, int& year, int& month, int& day)
{
    const auto number = [&](int from, int count, int& value) {
        value = 0;
        for (int i = from; i < from + count; ++i) {
            if (name[i] < '0' || name[i] > '9')
                return false;
            value = value * 10 + (name[i] - '0');
        }
        return true;
    };
    if (std::strlen(name) < 10)
        return false;
    return number(0, 4, year) && number(5, 2, month) && number(8, 2, day) && year > 0 &&
           month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

std::time_t localMidnight(int year, int month, int day)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void localDate(std::time_t t, int& year, int& month, int& day)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
}

/// Whether a chunk read from a file of the date folder year-month-day describes it: a
/// plausible block whose start lies on that date (a day of slack for a change of time zone).
bool chunkFitsFolder(const RecordInfo& chunk, int year, int month, int day)
{
    const std::time_t from = localMidnight(year, month, day);
    const auto start = static_cast<std::int64_t>(chunk.startTime);
    return IsPlausibleRecordInfo(chunk) && from != static_cast<std::time_t>(-1) &&
           start >= std::int64_t(from) - kDay && start < std::int64_t(from) + 2 * kDay;
}

/// The date of a record saved in the records folder itself (where the recording went when
/// today's folder could not be made): its chunk's, when the chunk matches the name; else the date
/// on which the name's end time last came before the file's last change (the recording ended when
/// its file was last written).
void rootRecordDate(const std::string& name, const RecordInfo* chunk, std::time_t modified,
                    int& year, int& month, int& day)
{
    if (chunk) {
        localDate(chunk->startTime, year, month, day);
        return;
    }
    localDate(modified, year, month, day);
    const auto field = [&](std::size_t at) { return std::stoi(name.substr(at, 2)); };
    std::tm end{};
    end.tm_year = year - 1900;
    end.tm_mon = month - 1;
    end.tm_mday = day;
    end.tm_hour = field(8);
    end.tm_min = field(10);
    end.tm_sec = field(12);
    end.tm_isdst = -1;
    // Ten minutes of slack for a clock that was set while the file was written.
    if (std::mktime(&end) > modified + 600)
        localDate(modified - kDay, year, month, day);
    if (field(8) < field(2)) // ran past midnight: it started the day before
        localDate(localMidnight(year, month, day) - kDay / 2, year, month, day);
}

/// The flags and annotations (and, for a file found again under its own path, the times) an
/// older tree held, found by path and by start time through maps.
class KeptValues
{
public:
    explicit KeptValues(const IndexTree& tree)
    {
        for (const YearGroup& year : tree.years)
            for (const MonthGroup& month : year.months)
                for (const DayGroup& day : month.days)
                    for (const RecordInfo& r : day.records) {
                        if (!IsPlausibleRecordInfo(r))
                            continue;
                        m_byPath.emplace(pathOf(r), &r);
                        m_byStart.emplace(r.startTime, &r);
                    }
    }

    /// Adjusts the times of fresh and answers the older entry whose flags and annotation
    /// the record keeps (null when there is none).
    const RecordInfo* apply(RecordInfo& fresh, bool fromName) const
    {
        const RecordInfo* old = nullptr;
        if (const auto it = m_byPath.find(pathOf(fresh)); it != m_byPath.end()) {
            old = it->second;
            // A name read inside a repeated daylight-saving hour has two readings; the
            // index knew which one the record had.
            if (fromName && FormatClockTime(old->startTime) == FormatClockTime(fresh.startTime) &&
                FormatClockTime(old->endTime) == FormatClockTime(fresh.endTime)) {
                fresh.startTime = old->startTime;
                fresh.endTime = old->endTime;
            }
        } else if (const auto at = m_byStart.find(fresh.startTime); at != m_byStart.end()) {
            old = at->second;
        }
        return old;
    }

private:
    static std::u16string_view pathOf(const RecordInfo& r)
    {
        const char16_t* end = std::find(r.path, r.path + RecordInfo::kPathUnits, u'\0');
        return {r.path, static_cast<std::size_t>(end - r.path)};
    }

    std::unordered_map<std::u16string_view, const RecordInfo*> m_byPath;
    std::unordered_map<std::uint32_t, const RecordInfo*> m_byStart;
};

} // namespace

bool CRecordIndex::saveUnsaved()
{
    return !m_tree || !m_tree->modified || Save();
}

CRecordIndex::LoadResult CRecordIndex::loadOrScan(IndexTree& tree)
{
    IndexTree loaded;
    if (LoadIndexFile(m_indexPath, loaded)) {
        if (IsPlausibleIndexTree(loaded)) {
            loaded.modified = 0; // as on disk
            tree = std::move(loaded);
            return LoadResult::Loaded;
        }
        // Damaged values: rebuilt from the files; what the user set (flags, annotations)
        // is kept from the entries that are sound.
        tracef(2, "CRecordIndex::Load()::Damaged(%s)", m_indexPath.c_str());
        const KeptValues kept(loaded);
        return scanInto(tree,
                        [&kept](RecordInfo& r, bool fromName) { return kept.apply(r, fromName); })
                   ? LoadResult::Scanned
                   : LoadResult::Failed;
    }
    return scanInto(tree) ? LoadResult::Scanned : LoadResult::Failed;
}

bool CRecordIndex::OpenFolder(const std::string& folder)
{
    std::lock_guard lock(m_mutex);
    const std::string wanted =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    // Changes not saved yet are not given up by opening the folder (again).
    if (!saveUnsaved() && wanted == m_folder)
        return false;
    std::string previousFolder = std::move(m_folder);
    std::string previousPath = std::move(m_indexPath);
    std::unique_ptr<IndexTree> previous = std::move(m_tree);
    m_folder = wanted;
    m_indexPath = JoinPath(m_folder, kIndexFileName);
    auto tree = newTree();
    const LoadResult result = loadOrScan(*tree);
    if (result == LoadResult::Failed) {
        m_folder = std::move(previousFolder);
        m_indexPath = std::move(previousPath);
        m_tree = std::move(previous);
        return false;
    }
    m_tree = std::move(tree);
    if (result == LoadResult::Scanned)
        Save();
    return true;
}

bool CRecordIndex::Load()
{
    std::lock_guard lock(m_mutex);
    if (!saveUnsaved())
        return false;
    auto tree = newTree();
    if (!LoadIndexFile(m_indexPath, *tree) || !IsPlausibleIndexTree(*tree))
        return false;
    tree->modified = 0;
    m_tree = std::move(tree);
    return true;
}

bool CRecordIndex::ReloadIndex()
{
    std::lock_guard lock(m_mutex);
    // Reading the file again must not throw away what changed since it was written.
    if (!saveUnsaved())
        return false;
    auto tree = newTree();
    const LoadResult result = loadOrScan(*tree);
    if (result == LoadResult::Failed)
        return false;
    m_tree = std::move(tree);
    if (result == LoadResult::Scanned)
        Save();
    return true;
}

bool CRecordIndex::saveTo(const std::string& indexPath, const IndexDayHook& onDay,
                          const IndexRecordFilter& filter)
{
    // Written beside the index and renamed over it: the old index stays whole until the new
    // one is complete on disk.
    const std::string temporary = indexPath + "1";
    if (!WriteIndexFile(temporary, *m_tree, onDay, filter) ||
        ::rename(temporary.c_str(), indexPath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool CRecordIndex::Save()
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return true;
    if (m_indexPath.empty())
        return false;
    m_tree->changed = static_cast<std::uint32_t>(now());
    if (!saveTo(m_indexPath, {}, {}))
        return false;
    m_tree->modified = 0;
    return true;
}

bool CRecordIndex::SaveArchive(const std::string& folder)
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return true;
    // An archive already in the folder is kept: its index is opened (or rebuilt from its
    // files) and this tree's records are merged into it, a record archived again replacing
    // its earlier copy.
    CRecordIndex archive(m_clock);
    archive.SetArchiveView(true);
    if (!archive.OpenFolder(folder))
        return false;
    bool allCopied = true;
    for (const YearGroup& year : m_tree->years)
        for (const MonthGroup& month : year.months)
            for (const DayGroup& day : month.days) {
                if (day.records.empty())
                    continue;
                char name[32];
                std::snprintf(name, sizeof name, "%04u-%02u-%02u", year.stats.key, month.stats.key,
                              day.stats.key);
                const std::string dayFolder = JoinPath(folder, name);
                const bool dayFolderMade = EnsureFolderPath(dayFolder);
                for (RecordInfo entry : day.records) {
                    const std::string source = entry.Path();
                    std::string sourceFolder, file;
                    if (!SplitPath(source, sourceFolder, file))
                        file = source;
                    const std::string copy = JoinPath(dayFolder, file);
                    if (dayFolderMade && utf16Length(copy) < RecordInfo::kPathUnits &&
                        CopyRecordFile(source, copy))
                        entry.SetPath(copy);
                    else
                        allCopied = false;
                    if (const auto earlier = archive.locateAny(*archive.m_tree, entry.startTime))
                        archive.deleteAt(*earlier, false);
                    archive.addTo(*archive.m_tree, entry, ChunkMode::Skip);
                }
            }
    archive.m_tree->changed = static_cast<std::uint32_t>(now());
    return archive.Save() && allCopied;
}

bool CRecordIndex::Scan()
{
    std::lock_guard lock(m_mutex);
    auto tree = newTree();
    if (!scanInto(*tree))
        return false;
    m_tree = std::move(tree);
    return true;
}

bool CRecordIndex::Rebuild()
{
    std::lock_guard lock(m_mutex);
    auto tree = newTree();
    bool scanned = false;
    if (m_tree) {
        const KeptValues kept(*m_tree);
        scanned = scanInto(
            *tree, [&kept](RecordInfo& r, bool fromName) { return kept.apply(r, fromName); });
    } else {
        scanned = scanInto(*tree);
    }
    if (!scanned)
        return false;
    m_tree = std::move(tree);
    return true;
}

bool CRecordIndex::scanInto(IndexTree& tree, const ScanAdjust& adjust)
{
    if (m_folder.empty())
        return false;
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir)
        return false;
    ::closedir(dir);
    // A rescan also clears what an interrupted finishing step left, once it is old enough
    // not to belong to a step running now.
    if (!m_archiveView)
        RemoveFinishLeftovers(m_folder, std::time(nullptr) - kFinishLeftoverAge);
    scanFolder(tree, m_folder, 0, 0, 0, 0, adjust);
    tree.changed = static_cast<std::uint32_t>(now());
    return true;
}

void CRecordIndex::scanFolder(IndexTree& tree, const std::string& folder, int year, int month,
                              int day, int depth, const ScanAdjust& adjust)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    // A fixed order makes the survivor of two files with one start time predictable.
    std::sort(names.begin(), names.end());
    const auto present = [&names](const std::string& name) {
        return std::binary_search(names.begin(), names.end(), name);
    };
    for (const std::string& name : names) {
        const std::string path = JoinPath(folder, name);
        struct stat st
        {
        };
        // The type comes from the directory entry itself, before anything is opened: a FIFO
        // named like a record would block the scan. Symbolic links are not followed.
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            int y, m, d;
            // Symbolic links to folders are not followed: a link to a parent would loop.
            if (depth < kMaxFolderDepth && parseDateFolder(name.c_str(), y, m, d))
                scanFolder(tree, path, y, m, d, depth + 1, adjust);
            continue;
        }
        if (!S_ISREG(st.st_mode) || st.st_size == 0 || !IsRecordFileName(name))
            continue;
        // A temporary file of a conversion, mix, join or cut beside its record is not one.
        const std::string stem = TemporaryFileStem(name);
        if (!stem.empty() && (present(stem + ".wav") || present(stem + ".mp3")))
            continue;
        scanFile(tree, folder, name, st, year, month, day, adjust);
    }
}

void CRecordIndex::scanFile(IndexTree& tree, const std::string& folder, const std::string& name,
                            const struct stat& st, int year, int month, int day,
                            const ScanAdjust& adjust)
{
    const std::string path = JoinPath(folder, name);
    // The entry stores the path in UTF-16: a path too long for it, or one that is not valid
    // UTF-8 and would not name the file any more, is left out (the file stays).
    if (utf16Length(path) >= RecordInfo::kPathUnits || toUtf8(toUtf16(path)) != path) {
        tracef(2, "CRecordIndex::Scan()::UnstorablePath(%s)", path.c_str());
        return;
    }
    RecordInfo fromChunk;
    const bool hasChunk = IsRecordWav(name) && ReadRecordInfo(path, fromChunk);
    if (year == 0) {
        // In the records folder itself only what the fallback for today's folder leaves: a
        // record whose chunk matches its name, or a converted MP3 record. A stray WAV there
        // is nobody's record.
        const bool matchingChunk = hasChunk && IsPlausibleRecordInfo(fromChunk) &&
                                   FormatClockTime(fromChunk.startTime) == name.substr(2, 6);
        if (!matchingChunk && !IsRecordMp3(name))
            return;
        rootRecordDate(name, matchingChunk ? &fromChunk : nullptr, st.st_mtime, year, month, day);
    }
    // A chunk whose values cannot be the record's (zeroed, damaged, another file's) is not
    // believed: the name tells the times, type and partner instead.
    const bool chunkSound = hasChunk && chunkFitsFolder(fromChunk, year, month, day);
    RecordInfo info;
    if (chunkSound)
        info = fromChunk;
    else if (!RecordInfoFromFileName(name, year, month, day, info, m_lookup, st.st_mtime))
        return;
    info.SetPath(path);
    info.size = st.st_size;
    const RecordInfo* kept = adjust ? adjust(info, !chunkSound) : nullptr;
    // The chunk is rewritten from the entry unless it already says the same. It keeps the
    // flags and annotation it had when its record was added; those the index held since are
    // the entry's.
    const bool same = chunkSound && std::memcmp(&info, &fromChunk, sizeof info) == 0;
    RecordInfo* stored = nullptr;
    if (addTo(tree, info, same ? ChunkMode::Skip : ChunkMode::BestEffort, &stored) == 1 && kept) {
        stored->flags = kept->flags;
        std::copy(std::begin(kept->annotation), std::end(kept->annotation),
                  std::begin(stored->annotation));
    }
}

} // namespace tw
