#include "records/index_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {
namespace {

constexpr std::size_t kHeaderSize = 56;
constexpr std::size_t kGroupSize = 40;
constexpr std::size_t kBufferSize = 1 << 20; // of the writer
constexpr off_t kArenaFrom = 1 << 20;
// No real folder comes near this; a larger number is a damaged or hostile file.
constexpr std::uint32_t kMaxCapacity = 1u << 24;

std::uint32_t get32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::uint64_t get64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void set32(std::uint8_t* p, std::uint32_t v)
{
    std::memcpy(p, &v, 4);
}

void set64(std::uint8_t* p, std::uint64_t v)
{
    std::memcpy(p, &v, 8);
}

/// Reads the file front to back. Small reads (headers, groups) come from a buffer; large
/// ones (a day's records) go straight to their destination, so record bytes are copied once.
class Reader
{
public:
    explicit Reader(int fd, std::uint64_t size) : m_fd(fd), m_left(size) {}

    std::uint64_t left() const { return m_left; }

    bool read(void* out, std::size_t count)
    {
        if (count > m_left)
            return false;
        if (count == 0)
            return true; // an empty day's records have no address
        auto* dst = static_cast<std::uint8_t*>(out);
        const std::size_t buffered = std::min(count, m_fill - m_pos);
        std::memcpy(dst, m_buffer + m_pos, buffered);
        m_pos += buffered;
        dst += buffered;
        count -= buffered;
        m_left -= buffered;
        if (count == 0)
            return true;
        if (count >= kDirectRead) {
            if (!readRaw(dst, count))
                return false;
            m_left -= count;
            return true;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof m_buffer, m_left));
        if (!readRaw(m_buffer, want))
            return false;
        m_pos = count;
        m_fill = want;
        std::memcpy(dst, m_buffer, count);
        m_left -= count;
        return true;
    }

private:
    static constexpr std::size_t kDirectRead = 4096;

    bool readRaw(std::uint8_t* dst, std::size_t count)
    {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::read(m_fd, dst + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    int m_fd;
    std::uint64_t m_left;
    std::uint8_t m_buffer[kDirectRead];
    std::size_t m_pos = 0;
    std::size_t m_fill = 0;
};

class Writer
{
public:
    explicit Writer(int fd) : m_fd(fd) { m_buffer.reserve(kBufferSize); }

    bool write(const void* data, std::size_t count)
    {
        const auto* src = static_cast<const std::uint8_t*>(data);
        while (count > 0 && m_ok) {
            if (m_buffer.size() == kBufferSize)
                flush();
            const std::size_t take = std::min(count, kBufferSize - m_buffer.size());
            m_buffer.insert(m_buffer.end(), src, src + take);
            src += take;
            count -= take;
        }
        return m_ok;
    }

    bool flush()
    {
        std::size_t done = 0;
        while (m_ok && done < m_buffer.size()) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                m_ok = false;
            else
                done += static_cast<std::size_t>(n);
        }
        m_buffer.clear();
        return m_ok;
    }

private:
    int m_fd;
    std::vector<std::uint8_t> m_buffer;
    bool m_ok = true;
};

bool readGroup(Reader& in, GroupStats& stats, std::uint32_t& count)
{
    std::uint8_t g[kGroupSize];
    if (!in.read(g, sizeof g))
        return false;
    stats.key = get32(g);
    stats.earliest = static_cast<std::int32_t>(get32(g + 4));
    stats.latest = static_cast<std::int32_t>(get32(g + 8));
    stats.total = get64(g + 16);
    count = get32(g + 24);
    stats.capacity = get32(g + 28);
    return count <= stats.capacity && stats.capacity <= kMaxCapacity;
}

/// Reads count sibling groups whose keys must lie in [1, maxKey] and ascend strictly.
template <typename Group>
bool readGroups(Reader& in, std::uint32_t count, std::uint32_t maxKey, std::vector<Group>& out,
                std::vector<std::uint32_t>& childCounts, std::size_t childSize)
{
    if (static_cast<std::uint64_t>(count) * kGroupSize > in.left())
        return false;
    out.resize(count);
    childCounts.resize(count);
    std::uint64_t needed = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!readGroup(in, out[i].stats, childCounts[i]))
            return false;
        const std::uint32_t key = out[i].stats.key;
        if (key < 1 || key > maxKey || (i > 0 && key <= out[i - 1].stats.key))
            return false;
        needed += static_cast<std::uint64_t>(childCounts[i]) * childSize;
    }
    // Every child array follows in the file; a count the file cannot hold is a lie.
    return needed <= in.left();
}

void writeGroup(Writer& out, const GroupStats& stats, std::size_t count)
{
    std::uint8_t g[kGroupSize] = {};
    set32(g, stats.key);
    set32(g + 4, static_cast<std::uint32_t>(stats.earliest));
    set32(g + 8, static_cast<std::uint32_t>(stats.latest));
    set64(g + 16, stats.total);
    set32(g + 24, static_cast<std::uint32_t>(count));
    set32(g + 28, std::max<std::uint32_t>(stats.capacity, static_cast<std::uint32_t>(count)));
    out.write(g, sizeof g);
}

/// The summary of a list of children from their own summaries.
template <typename Children, typename StatsOf>
GroupStats summarise(const Children& children, StatsOf statsOf)
{
    GroupStats out;
    for (const auto& child : children) {
        const GroupStats s = statsOf(child);
        out.total += s.total;
        if (s.earliest == 0)
            continue;
        if (out.earliest == 0 || s.earliest < out.earliest)
            out.earliest = s.earliest;
        out.latest = std::max(out.latest, s.latest);
    }
    if (out.earliest == 0)
        out.latest = 0;
    return out;
}

GroupStats recordStats(const RecordInfo& r)
{
    GroupStats s;
    s.earliest = static_cast<std::int32_t>(r.startTime);
    s.latest = static_cast<std::int32_t>(r.endTime);
    s.total = static_cast<std::uint64_t>(r.size);
    return s;
}

GroupStats dayStats(const DayGroup& d)
{
    return summarise(d.records, recordStats);
}

GroupStats monthStats(const MonthGroup& m)
{
    return summarise(m.days, [](const DayGroup& d) { return d.stats; });
}

GroupStats yearStats(const YearGroup& y)
{
    return summarise(y.months, [](const MonthGroup& m) { return m.stats; });
}

void assign(GroupStats& to, const GroupStats& from)
{
    to.earliest = from.earliest;
    to.latest = from.latest;
    to.total = from.total;
}

bool sameSummary(const GroupStats& a, const GroupStats& b)
{
    return a.earliest == b.earliest && a.latest == b.latest && a.total == b.total;
}

void assignRoot(IndexTree& tree)
{
    const GroupStats root = summarise(tree.years, [](const YearGroup& y) { return y.stats; });
    tree.earliest = root.earliest;
    tree.latest = root.latest;
    tree.total = root.total;
}

/// 00:00 local of a group date; -1 when the date is not one.
std::time_t midnight(std::uint32_t year, std::uint32_t month, std::uint32_t day)
{
    std::tm tm{};
    tm.tm_year = static_cast<int>(year) - 1900;
    tm.tm_mon = static_cast<int>(month) - 1;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

void SummariseIndexTree(IndexTree& tree)
{
    for (YearGroup& year : tree.years) {
        for (MonthGroup& month : year.months) {
            for (DayGroup& day : month.days)
                assign(day.stats, dayStats(day));
            assign(month.stats, monthStats(month));
        }
        assign(year.stats, yearStats(year));
    }
    assignRoot(tree);
}

void SummariseIndexPath(IndexTree& tree, YearGroup& year, MonthGroup& month, DayGroup& day)
{
    assign(day.stats, dayStats(day));
    assign(month.stats, monthStats(month));
    assign(year.stats, yearStats(year));
    assignRoot(tree);
}

bool IsPlausibleIndexTree(const IndexTree& tree)
{
    // A record belongs to the day of its local start; a day of slack allows for a change of
    // time zone since the index was written.
    constexpr std::int64_t kSlack = 86400;
    for (const YearGroup& year : tree.years) {
        for (const MonthGroup& month : year.months) {
            for (const DayGroup& day : month.days) {
                const std::time_t from = midnight(year.stats.key, month.stats.key, day.stats.key);
                for (const RecordInfo& r : day.records) {
                    if (!IsPlausibleRecordInfo(r) || from == static_cast<std::time_t>(-1) ||
                        std::int64_t(r.startTime) < std::int64_t(from) - kSlack ||
                        std::int64_t(r.startTime) >= std::int64_t(from) + 2 * kSlack)
                        return false;
                }
                if (!sameSummary(day.stats, dayStats(day)))
                    return false;
            }
            if (!sameSummary(month.stats, monthStats(month)))
                return false;
        }
        if (!sameSummary(year.stats, yearStats(year)))
            return false;
    }
    const GroupStats root = summarise(tree.years, [](const YearGroup& y) { return y.stats; });
    return tree.earliest == root.earliest && tree.latest == root.latest && tree.total == root.total;
}

bool LoadIndexFile(const std::string& path, IndexTree& tree)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    Reader in(fd, static_cast<std::uint64_t>(st.st_size));
    // The records take less than the file: one block for all of them. A small index is
    // cheap to load anyway and keeps to the heap.
    const auto arena = st.st_size >= kArenaFrom
                           ? std::make_shared<RecordArena>(static_cast<std::size_t>(st.st_size))
                           : nullptr;
    IndexTree loaded;
    std::uint8_t h[kHeaderSize];
    bool ok = in.read(h, sizeof h) && get32(h) == kIndexVersion;
    std::uint32_t yearCount = 0;
    if (ok) {
        loaded.earliest = static_cast<std::int32_t>(get32(h + 4));
        loaded.latest = static_cast<std::int32_t>(get32(h + 8));
        loaded.total = get64(h + 16);
        yearCount = get32(h + 24);
        loaded.capacity = get32(h + 28);
        loaded.modified = get32(h + 32);
        loaded.created = get32(h + 44);
        loaded.changed = get32(h + 48);
        ok = yearCount <= loaded.capacity && loaded.capacity <= kMaxCapacity;
    }
    std::vector<std::uint32_t> monthCounts;
    ok = ok && readGroups(in, yearCount, 0xFFFF, loaded.years, monthCounts, kGroupSize);
    for (std::size_t y = 0; ok && y < loaded.years.size(); ++y) {
        YearGroup& year = loaded.years[y];
        std::vector<std::uint32_t> dayCounts;
        ok = readGroups(in, monthCounts[y], 12, year.months, dayCounts, kGroupSize);
        for (std::size_t m = 0; ok && m < year.months.size(); ++m) {
            MonthGroup& month = year.months[m];
            std::vector<std::uint32_t> recordCounts;
            ok = readGroups(in, dayCounts[m], 31, month.days, recordCounts, sizeof(RecordInfo));
            for (std::size_t d = 0; ok && d < month.days.size(); ++d) {
                DayGroup& day = month.days[d];
                day.records = RecordVector(RecordAllocator<RecordInfo>(arena));
                day.records.resize(recordCounts[d]);
                ok = in.read(day.records.data(), day.records.size() * sizeof(RecordInfo));
                for (std::size_t r = 0; ok && r < day.records.size(); ++r) {
                    day.records[r].TerminateTexts();
                    ok = r == 0 || day.records[r - 1].startTime <= day.records[r].startTime;
                }
            }
        }
    }
    ::close(fd);
    if (!ok)
        return false;
    if (arena)
        arena->Seal();
    tree = std::move(loaded);
    return true;
}

bool WriteIndexFile(const std::string& path, const IndexTree& tree, const IndexDayHook& onDay,
                    const IndexRecordFilter& filter)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    Writer out(fd);
    std::uint8_t h[kHeaderSize] = {};
    set32(h, kIndexVersion);
    set32(h + 4, static_cast<std::uint32_t>(tree.earliest));
    set32(h + 8, static_cast<std::uint32_t>(tree.latest));
    set64(h + 16, tree.total);
    set32(h + 24, static_cast<std::uint32_t>(tree.years.size()));
    set32(h + 28,
          std::max<std::uint32_t>(tree.capacity, static_cast<std::uint32_t>(tree.years.size())));
    set32(h + 32, tree.modified);
    set32(h + 44, tree.created);
    set32(h + 48, tree.changed);
    out.write(h, sizeof h);
    for (const YearGroup& year : tree.years)
        writeGroup(out, year.stats, year.months.size());
    for (const YearGroup& year : tree.years) {
        for (const MonthGroup& month : year.months)
            writeGroup(out, month.stats, month.days.size());
        for (const MonthGroup& month : year.months) {
            for (const DayGroup& day : month.days)
                writeGroup(out, day.stats, day.records.size());
            for (const DayGroup& day : month.days) {
                if (day.records.empty())
                    continue;
                if (onDay)
                    onDay(year.stats.key, month.stats.key, day.stats.key);
                if (!filter) {
                    out.write(day.records.data(), day.records.size() * sizeof(RecordInfo));
                    continue;
                }
                for (RecordInfo entry : day.records) {
                    filter(entry);
                    out.write(&entry, sizeof entry);
                }
            }
        }
    }
    bool ok = out.flush();
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

} // namespace tw
