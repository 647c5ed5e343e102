#include "records/record_index.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "platform/trace.h"
#include "platform/utf.h"
#include "records/default_time_texts.h"
#include "records/record_list_sink.h"
#include "records/regular_file.h"
#include "records/time_text_units.h"

namespace tw {
namespace {

void addToStats(GroupStats& stats, const RecordInfo& info)
{
    stats.total += static_cast<std::uint64_t>(info.size);
    const auto start = static_cast<std::int32_t>(info.startTime);
    if (stats.earliest == 0 || stats.earliest > start)
        stats.earliest = start;
    stats.latest = std::max(stats.latest, static_cast<std::int32_t>(info.endTime));
}

template <typename Group>
Group& findOrInsert(std::vector<Group>& groups, std::uint32_t& capacity, std::uint32_t key,
                    std::uint32_t firstCapacity, std::uint32_t growth)
{
    auto it = std::lower_bound(groups.begin(), groups.end(), key,
                               [](const Group& g, std::uint32_t k) { return g.stats.key < k; });
    if (it != groups.end() && it->stats.key == key)
        return *it;
    if (groups.size() >= capacity)
        capacity = capacity == 0 ? firstCapacity : capacity + growth;
    capacity = std::max<std::uint32_t>(capacity, static_cast<std::uint32_t>(groups.size() + 1));
    Group group;
    group.stats.key = key;
    return *groups.insert(it, std::move(group));
}

/// Lower-cased copy of a NUL-terminated text field, into buffer (no allocation).
std::u16string_view lowerField(const char16_t* field, std::size_t units, char16_t* buffer)
{
    std::size_t n = 0;
    for (; n < units && field[n]; ++n) {
        const char16_t c = field[n];
        buffer[n] = c < 0x80 ? (c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c) : LowerForSearch(c);
    }
    return {buffer, n};
}

/// The Length column's text (see RecordLengthText), into buffer.
std::u16string_view lengthText(std::int64_t seconds, char16_t* buffer)
{
    if (seconds < 0)
        seconds = 0;
    std::size_t n = 0;
    const auto two = [&](std::int64_t value) {
        if (value >= 100) {
            for (const char c : std::to_string(value))
                buffer[n++] = static_cast<char16_t>(c);
            return;
        }
        buffer[n++] = static_cast<char16_t>(u'0' + value / 10);
        buffer[n++] = static_cast<char16_t>(u'0' + value % 10);
    };
    if (seconds >= 3600) {
        two(seconds / 3600);
        buffer[n++] = u':';
    }
    two(seconds >= 3600 ? seconds / 60 % 60 : seconds / 60);
    buffer[n++] = u':';
    two(seconds % 60);
    return {buffer, n};
}

bool contains(std::u16string_view text, std::u16string_view needle)
{
    return text.find(needle) != std::u16string_view::npos;
}

} // namespace

bool CopyRecordFile(const std::string& from, const std::string& to)
{
    struct stat src
    {
    };
    struct stat dst
    {
    };
    if (::stat(from.c_str(), &src) != 0 || !S_ISREG(src.st_mode))
        return false;
    // Copying a file onto itself would empty it first.
    if (::stat(to.c_str(), &dst) == 0 && src.st_dev == dst.st_dev && src.st_ino == dst.st_ino)
        return true;
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const std::string part = to + ".part";
    const int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        if (got <= 0)
            break;
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                ok = false;
            else
                done += put;
        }
        if (!ok)
            break;
    }
    ::close(in);
    ok = ::close(out) == 0 && ok;
    ok = ok && ::rename(part.c_str(), to.c_str()) == 0;
    if (!ok)
        ::unlink(part.c_str());
    return ok;
}

CRecordIndex::CRecordIndex(Clock clock) : m_clock(std::move(clock))
{}

CRecordIndex::~CRecordIndex() = default;

std::time_t CRecordIndex::now() const
{
    return m_clock ? m_clock() : std::time(nullptr);
}

std::unique_ptr<IndexTree> CRecordIndex::newTree() const
{
    auto tree = std::make_unique<IndexTree>();
    tree->created = tree->changed = static_cast<std::uint32_t>(now());
    return tree;
}

void CRecordIndex::SetRemovedListener(RemovedListener listener)
{
    std::lock_guard lock(m_mutex);
    m_removed = std::move(listener);
}

void CRecordIndex::SetFullNameLookup(FullNameLookup lookup)
{
    std::lock_guard lock(m_mutex);
    m_lookup = std::move(lookup);
}

void CRecordIndex::SetTimeTextFormatter(TimeTextFormatter formatter)
{
    std::lock_guard lock(m_mutex);
    m_timeText = std::move(formatter);
    m_timeTexts.clear();
    m_timeTextZone.clear();
}

std::u16string CRecordIndex::formatTimeText(std::uint32_t startTime) const
{
    const std::time_t t = startTime;
    return toUtf16(m_timeText ? LowerForSearch(m_timeText(t)) : RecordTimeText(t));
}

/// Makes m_timeTexts hold every record's start, reusing the texts it already has.
void CRecordIndex::refreshTimeTexts() const
{
    // The text of a start time changes only with the formatter or the time zone.
    const std::string zone = std::to_string(::timezone) + tzname[0] + tzname[1];
    if (zone != m_timeTextZone) {
        m_timeTexts.clear();
        m_timeTextZone = zone;
    }
    std::vector<TimeText> fresh;
    std::size_t old = 0;
    for (const YearGroup& year : m_tree->years)
        for (const MonthGroup& month : year.months)
            for (const DayGroup& day : month.days)
                for (const RecordInfo& r : day.records) {
                    if (!fresh.empty() && fresh.back().start == r.startTime)
                        continue;
                    while (old < m_timeTexts.size() && m_timeTexts[old].start < r.startTime)
                        ++old;
                    if (old < m_timeTexts.size() && m_timeTexts[old].start == r.startTime)
                        fresh.push_back(std::move(m_timeTexts[old]));
                    else
                        fresh.push_back({r.startTime, formatTimeText(r.startTime)});
                }
    m_timeTexts = std::move(fresh);
}

bool CRecordIndex::timeTextsCanHold(std::u16string_view needle) const
{
    TimeTextUnits units;
    for (const YearGroup& year : m_tree->years)
        for (const MonthGroup& month : year.months)
            for (const DayGroup& day : month.days)
                if (!day.records.empty())
                    units.AddStarts(day.records.front().startTime, day.records.back().startTime);
    return units.CanHold(needle);
}

void CRecordIndex::SetArchiveView(bool archive)
{
    std::lock_guard lock(m_mutex);
    m_archiveView = archive;
}

bool CRecordIndex::IsArchiveView() const
{
    std::lock_guard lock(m_mutex);
    return m_archiveView;
}

int CRecordIndex::addTo(IndexTree& tree, RecordInfo info, ChunkMode chunk, RecordInfo** added)
{
    if (!IsPlausibleRecordInfo(info) || find(tree, info.startTime))
        return -1;
    const std::string path = info.Path();
    if (chunk != ChunkMode::Skip && IsRecordWav(path)) {
        // A record found on disk is listed even where its chunk cannot be written (a
        // read-only archive); a new record is refused, as its caller expects.
        std::int64_t size = 0;
        if (AppendRecordInfo(info, &size))
            info.size = size;
        else if (chunk == ChunkMode::Required)
            return -1;
    } else if (chunk == ChunkMode::Required) {
        // A record's size is its file's size as it stands, whoever measures it.
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0)
            info.size = st.st_size;
    }
    const std::time_t start = info.startTime;
    std::tm tm{};
    localtime_r(&start, &tm);
    YearGroup& year = findOrInsert(tree.years, tree.capacity,
                                   static_cast<std::uint32_t>(tm.tm_year + 1900), 2, 2);
    MonthGroup& month = findOrInsert(year.months, year.stats.capacity,
                                     static_cast<std::uint32_t>(tm.tm_mon + 1), 12, 12);
    DayGroup& day = findOrInsert(month.days, month.stats.capacity,
                                 static_cast<std::uint32_t>(tm.tm_mday), 31, 31);
    auto& records = day.records;
    if (records.size() >= day.stats.capacity)
        day.stats.capacity = day.stats.capacity == 0 ? 16 : day.stats.capacity + 31;
    day.stats.capacity =
        std::max<std::uint32_t>(day.stats.capacity, static_cast<std::uint32_t>(records.size() + 1));
    const auto at =
        std::upper_bound(records.begin(), records.end(), info.startTime,
                         [](std::uint32_t t, const RecordInfo& r) { return t < r.startTime; });
    RecordInfo& stored = *records.insert(at, info);
    stored.TerminateTexts();
    addToStats(day.stats, info);
    addToStats(month.stats, info);
    addToStats(year.stats, info);
    GroupStats root;
    root.earliest = tree.earliest;
    root.latest = tree.latest;
    root.total = tree.total;
    addToStats(root, info);
    tree.earliest = root.earliest;
    tree.latest = root.latest;
    tree.total = root.total;
    tree.modified = 1;
    if (added)
        *added = &stored;
    return 1;
}

int CRecordIndex::AddRecord(const RecordInfo& info)
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        m_tree = newTree();
    int result = -1;
    // A scan may have found the record's file between its final rename and this call: the
    // same file under the same start is the same record, and the caller's description (from
    // the call) is the better one. The user's flags and annotation since then stay.
    const auto at = locateAny(*m_tree, info.startTime);
    if (at) {
        YearGroup& year = m_tree->years[at->year];
        MonthGroup& month = year.months[at->month];
        DayGroup& day = month.days[at->day];
        RecordInfo& stored = day.records[at->record];
        RecordInfo replacement = info;
        std::int64_t size = 0;
        if (stored.Path() == info.Path() && IsPlausibleRecordInfo(info) &&
            (!IsRecordWav(info.Path()) || AppendRecordInfo(info, &size))) {
            replacement.flags |= stored.flags;
            if (replacement.annotation[0] == 0)
                std::copy(std::begin(stored.annotation), std::end(stored.annotation),
                          std::begin(replacement.annotation));
            if (size > 0)
                replacement.size = size;
            replacement.TerminateTexts();
            stored = replacement;
            SummariseIndexPath(*m_tree, year, month, day);
            m_tree->modified = 1;
            result = 1;
        }
    } else {
        result = addTo(*m_tree, info, ChunkMode::Required);
    }
    m_tree->changed = static_cast<std::uint32_t>(now());
    return result;
}

std::optional<CRecordIndex::Location> CRecordIndex::find(const IndexTree& tree,
                                                         std::uint32_t startTime) const
{
    const auto t = static_cast<std::int64_t>(startTime);
    if (tree.earliest == 0 || t < tree.earliest || t >= tree.latest)
        return std::nullopt;
    const auto inRange = [t](const GroupStats& s) {
        return s.earliest != 0 && s.earliest <= t && t <= s.latest;
    };
    // Ranges of neighbouring groups overlap when a record runs past midnight, so every
    // group whose range holds t is searched, not only the first.
    for (std::size_t y = 0; y < tree.years.size(); ++y) {
        const YearGroup& year = tree.years[y];
        if (!inRange(year.stats))
            continue;
        for (std::size_t m = 0; m < year.months.size(); ++m) {
            const MonthGroup& month = year.months[m];
            if (!inRange(month.stats))
                continue;
            for (std::size_t d = 0; d < month.days.size(); ++d) {
                const auto& records = month.days[d].records;
                if (!inRange(month.days[d].stats))
                    continue;
                auto it = std::lower_bound(
                    records.begin(), records.end(), startTime,
                    [](const RecordInfo& r, std::uint32_t k) { return r.startTime < k; });
                for (; it != records.end() && it->startTime == startTime; ++it) {
                    if (it->startTime < it->endTime)
                        return Location{y, m, d, static_cast<std::size_t>(it - records.begin())};
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<CRecordIndex::Location> CRecordIndex::locateAny(const IndexTree& tree,
                                                              std::uint32_t startTime) const
{
    if (auto found = find(tree, startTime))
        return found;
    // Records whose end is not after their start are invisible to find(); deleting them
    // (recycling goes strictly by start time) must still be possible.
    for (std::size_t y = 0; y < tree.years.size(); ++y)
        for (std::size_t m = 0; m < tree.years[y].months.size(); ++m)
            for (std::size_t d = 0; d < tree.years[y].months[m].days.size(); ++d) {
                const auto& records = tree.years[y].months[m].days[d].records;
                for (std::size_t r = 0; r < records.size(); ++r)
                    if (records[r].startTime == startTime)
                        return Location{y, m, d, r};
            }
    return std::nullopt;
}

std::optional<RecordInfo> CRecordIndex::FindRecord(std::uint32_t startTime) const
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return std::nullopt;
    const auto at = find(*m_tree, startTime);
    if (!at)
        return std::nullopt;
    return m_tree->years[at->year].months[at->month].days[at->day].records[at->record];
}

bool CRecordIndex::UpdateRecord(std::uint32_t startTime,
                                const std::function<void(RecordInfo&)>& change)
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return false;
    const auto at = find(*m_tree, startTime);
    if (!at)
        return false;
    YearGroup& year = m_tree->years[at->year];
    MonthGroup& month = year.months[at->month];
    DayGroup& day = month.days[at->day];
    RecordInfo& stored = day.records[at->record];
    RecordInfo changed = stored;
    change(changed);
    changed.startTime = stored.startTime;
    changed.endTime = stored.endTime;
    changed.TerminateTexts();
    const std::uint64_t delta =
        static_cast<std::uint64_t>(changed.size) - static_cast<std::uint64_t>(stored.size);
    for (std::uint64_t* total :
         {&day.stats.total, &month.stats.total, &year.stats.total, &m_tree->total})
        *total += delta; // modular arithmetic subtracts when the size shrank
    stored = changed;
    m_tree->modified = 1;
    return true;
}

bool CRecordIndex::deleteAt(const Location& at, bool deleteFile)
{
    IndexTree& tree = *m_tree;
    YearGroup& year = tree.years[at.year];
    MonthGroup& month = year.months[at.month];
    DayGroup& day = month.days[at.day];
    const RecordInfo info = day.records[at.record];
    if (deleteFile)
        DeleteFileSafely(info.Path());
    day.records.erase(day.records.begin() + static_cast<std::ptrdiff_t>(at.record));
    if (day.records.empty()) {
        day.records = {};
        day.stats.capacity = 0;
    }
    // A level left without records frees its children (an emptied day stays in its month).
    SummariseIndexPath(tree, year, month, day);
    if (month.stats.earliest == 0) {
        month.days = {};
        month.stats.capacity = 0;
    }
    if (year.stats.earliest == 0) {
        year.months = {};
        year.stats.capacity = 0;
    }
    if (tree.earliest == 0) {
        tree.years = {};
        tree.capacity = 0;
    }
    tree.modified = 1;
    if (!m_archiveView && m_removed)
        m_removed(info.startTime);
    return true;
}

bool CRecordIndex::DeleteRecord(std::uint32_t startTime, bool deleteFile)
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return false;
    const auto at = locateAny(*m_tree, startTime);
    return at && deleteAt(*at, deleteFile);
}

void CRecordIndex::DeleteAll(std::uint32_t type)
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return;
    IndexTree& tree = *m_tree;
    const auto doomed = [type](const RecordInfo& r) {
        return !(r.flags & RECFLAG_LOCKED) && (type == kAllRecordTypes || r.type == type);
    };
    for (YearGroup& year : tree.years)
        for (MonthGroup& month : year.months)
            for (DayGroup& day : month.days)
                for (const RecordInfo& r : day.records) {
                    if (!doomed(r))
                        continue;
                    if (!m_archiveView && m_removed)
                        m_removed(r.startTime);
                    const std::string path = r.Path();
                    if (FileExists(path))
                        DeleteFileSafely(path);
                }
    // Compact every level, keeping only groups that still hold records.
    for (YearGroup& year : tree.years) {
        for (MonthGroup& month : year.months) {
            for (DayGroup& day : month.days)
                std::erase_if(day.records, doomed);
            std::erase_if(month.days, [](const DayGroup& d) { return d.records.empty(); });
        }
        std::erase_if(year.months, [](const MonthGroup& m) { return m.days.empty(); });
    }
    std::erase_if(tree.years, [](const YearGroup& y) { return y.months.empty(); });
    if (tree.years.empty())
        tree.capacity = 0;
    SummariseIndexTree(tree);
    tree.modified = 1;
    tree.changed = static_cast<std::uint32_t>(now());
}

bool CRecordIndex::DeleteOlderThan(std::uint32_t limit)
{
    std::lock_guard lock(m_mutex);
    while (m_tree) {
        const std::int64_t earliest = m_tree->earliest;
        if (earliest == 0 || earliest >= limit || earliest > m_tree->latest)
            return true;
        const auto at = locateAny(*m_tree, static_cast<std::uint32_t>(earliest));
        if (!at || !deleteAt(*at, true))
            return false;
    }
    return true;
}

bool CRecordIndex::SetRecordFlags(std::uint32_t startTime, std::uint32_t flags)
{
    return UpdateRecord(startTime, [flags](RecordInfo& r) { r.flags = flags; });
}

std::uint32_t CRecordIndex::GetRecordFlags(std::uint32_t startTime) const
{
    const auto found = FindRecord(startTime);
    return found ? found->flags : 0;
}

bool CRecordIndex::IsEmpty() const
{
    std::lock_guard lock(m_mutex);
    return !m_tree || !(m_tree->earliest < m_tree->latest);
}

std::uint32_t CRecordIndex::GetEarliestStart() const
{
    std::lock_guard lock(m_mutex);
    return m_tree ? static_cast<std::uint32_t>(m_tree->earliest) : 0;
}

std::size_t CRecordIndex::GetRecordCount() const
{
    std::size_t count = 0;
    EnumerateRecords(kAllRecordTypes, {}, [&count](const RecordInfo&) { ++count; });
    return count;
}

std::uint64_t CRecordIndex::GetTotalBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_tree ? m_tree->total : 0;
}

std::string CRecordIndex::GetFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_folder;
}

std::string CRecordIndex::GetIndexPath() const
{
    std::lock_guard lock(m_mutex);
    return m_indexPath;
}

IndexTree CRecordIndex::GetTree() const
{
    std::lock_guard lock(m_mutex);
    return m_tree ? *m_tree : IndexTree{};
}

void CRecordIndex::EnumerateRecords(std::uint32_t type, std::string_view searchText,
                                    const Visitor& visit) const
{
    std::lock_guard lock(m_mutex);
    if (!m_tree)
        return;
    const std::u16string needle = LowerForSearch(std::u16string_view(toUtf16(searchText)));
    char16_t buffer[RecordInfo::kAnnotationUnits];
    std::size_t cursor = 0;
    bool stale = false;
    std::u16string uncached;
    // The default texts are quick to make in start order (a date is formatted once), so they
    // are made as the records go by. A formatter of the caller's is slow: its texts are
    // cached, and the cache is walked in step with the records.
    DefaultTimeTexts defaults;
    const auto timeText = [&](std::uint32_t start) -> std::u16string_view {
        if (!m_timeText)
            return defaults.Text(start);
        while (cursor < m_timeTexts.size() && m_timeTexts[cursor].start < start)
            ++cursor;
        if (cursor < m_timeTexts.size() && m_timeTexts[cursor].start == start)
            return m_timeTexts[cursor].text;
        stale = true;
        uncached = formatTimeText(start);
        return uncached;
    };
    // The default Time texts need not be formatted at all when none of them can hold the
    // search text (a name, say); a formatter of the caller's is asked every time.
    const bool searchTimes = !needle.empty() && (m_timeText || timeTextsCanHold(needle));
    const auto matches = [&](const RecordInfo& r) {
        if (needle.empty())
            return true;
        if (contains(lowerField(r.skypeName, RecordInfo::kNameUnits, buffer), needle) ||
            contains(lowerField(r.fullName, RecordInfo::kNameUnits, buffer), needle) ||
            contains(lowerField(r.annotation, RecordInfo::kAnnotationUnits, buffer), needle) ||
            contains(lengthText(std::int64_t(r.endTime) - std::int64_t(r.startTime), buffer),
                     needle))
            return true;
        return searchTimes && contains(timeText(r.startTime), needle);
    };
    if (searchTimes && m_timeText) {
        const std::string zone = std::to_string(::timezone) + tzname[0] + tzname[1];
        if (zone != m_timeTextZone || m_timeTexts.empty())
            refreshTimeTexts();
    }
    for (const YearGroup& year : m_tree->years)
        for (const MonthGroup& month : year.months)
            for (const DayGroup& day : month.days)
                for (const RecordInfo& r : day.records)
                    if ((type == kAllRecordTypes || r.type == type) && matches(r))
                        visit(r);
    if (stale)
        refreshTimeTexts(); // records came or went: ready for the next search
}

} // namespace tw
