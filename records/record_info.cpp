#include "records/record_info.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/log.h"
#include "platform/file_util.h"
#include "platform/utf.h"
#include "records/record_naming.h"
#include "records/regular_file.h"
#include "records/wave_layout.h"

namespace tw {
namespace {

std::string fieldText(const char16_t* field, std::size_t units)
{
    const char16_t* end = std::find(field, field + units, u'\0');
    return toUtf8(std::u16string_view(field, static_cast<std::size_t>(end - field)));
}

void setField(char16_t* field, std::size_t units, std::string_view utf8)
{
    const std::u16string text = toUtf16(cutToUtf16Units(utf8, units - 1));
    std::fill(field, field + units, u'\0');
    std::copy(text.begin(), text.end(), field);
}

void putLe32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool readAt(int fd, void* buffer, std::size_t count, off_t offset)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        count -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

bool writeAt(int fd, const void* buffer, std::size_t count, off_t offset)
{
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t put = ::pwrite(fd, in, count, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        in += put;
        count -= static_cast<std::size_t>(put);
        offset += put;
    }
    return true;
}

off_t fileSizeOf(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

bool endsWithIgnoreCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() &&
           equalsIgnoreCase(text.substr(text.size() - tail.size()), tail);
}

bool endsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool twoDigits(std::u16string_view name, std::size_t at, int max, int& value)
{
    const char16_t a = name[at];
    const char16_t b = name[at + 1];
    if (a < u'0' || a > u'9' || b < u'0' || b > u'9')
        return false;
    value = (a - u'0') * 10 + (b - u'0');
    return value <= max;
}

/// Every instant whose local reading is the date and clock time given (the day may run past
/// the month): one normally, two inside the repeated hour when daylight saving ends. A time
/// the clock skipped has none; mktime's own answer stands in for it then.
std::vector<std::time_t> localReadings(int year, int month, int day, int hour, int minute,
                                       int second)
{
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    date.tm_hour = 12;
    const std::time_t noon = ::timegm(&date);
    ::gmtime_r(&noon, &date); // the day normalised: the 32nd becomes the 1st of the next month
    std::vector<std::time_t> readings;
    for (const int dst : {1, 0}) {
        std::tm tm = date;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = dst;
        const std::time_t t = std::mktime(&tm);
        std::tm back{};
        if (t == static_cast<std::time_t>(-1) || !localtime_r(&t, &back))
            continue;
        if (back.tm_year == date.tm_year && back.tm_mon == date.tm_mon &&
            back.tm_mday == date.tm_mday && back.tm_hour == hour && back.tm_min == minute &&
            back.tm_sec == second &&
            std::find(readings.begin(), readings.end(), t) == readings.end())
            readings.push_back(t);
    }
    if (readings.empty()) {
        std::tm tm = date;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        if (t != static_cast<std::time_t>(-1))
            readings.push_back(t);
    }
    std::sort(readings.begin(), readings.end());
    return readings;
}

/// Chooses the readings of start and end: the pair that keeps the end after the start with
/// the shortest length; of equally short pairs the one whose end lies nearest endHint (the
/// file's last change), else the earliest. No such pair (a name whose end is before its
/// start): the earliest readings.
bool resolveTimes(const std::vector<std::time_t>& starts, const std::vector<std::time_t>& ends,
                  std::time_t endHint, std::time_t& start, std::time_t& end)
{
    if (starts.empty() || ends.empty())
        return false;
    start = starts.front();
    end = ends.front();
    bool found = false;
    for (const std::time_t s : starts)
        for (const std::time_t e : ends) {
            if (e <= s)
                continue;
            const bool shorter = !found || e - s < end - start;
            const bool nearer = found && e - s == end - start && endHint != 0 &&
                                std::llabs(e - endHint) < std::llabs(end - endHint);
            if (shorter || nearer) {
                start = s;
                end = e;
                found = true;
            }
        }
    return true;
}

} // namespace

std::string RecordInfo::Path() const
{
    return fieldText(path, kPathUnits);
}
std::string RecordInfo::SkypeName() const
{
    return fieldText(skypeName, kNameUnits);
}
std::string RecordInfo::SecondText() const
{
    return fieldText(secondText, kNameUnits);
}
std::string RecordInfo::FullName() const
{
    return fieldText(fullName, kNameUnits);
}
std::string RecordInfo::Annotation() const
{
    return fieldText(annotation, kAnnotationUnits);
}
void RecordInfo::SetPath(std::string_view utf8)
{
    setField(path, kPathUnits, utf8);
}
void RecordInfo::SetSkypeName(std::string_view utf8)
{
    setField(skypeName, kNameUnits, utf8);
}
void RecordInfo::SetSecondText(std::string_view utf8)
{
    setField(secondText, kNameUnits, utf8);
}
void RecordInfo::SetFullName(std::string_view utf8)
{
    setField(fullName, kNameUnits, utf8);
}
void RecordInfo::SetAnnotation(std::string_view utf8)
{
    setField(annotation, kAnnotationUnits, utf8);
}

void RecordInfo::TerminateTexts()
{
    path[kPathUnits - 1] = 0;
    skypeName[kNameUnits - 1] = 0;
    secondText[kNameUnits - 1] = 0;
    fullName[kNameUnits - 1] = 0;
    annotation[kAnnotationUnits - 1] = 0;
}

bool AppendRecordInfo(const RecordInfo& info, std::int64_t* storedSize)
{
    const std::string path = info.Path();
    if (!CanOpenFile(path)) {
        appLog().Write("AppendRecordInfo() - The file is not existed.");
        return false;
    }
    const int fd = OpenRegularFile(path, O_RDWR);
    if (fd < 0) {
        appLog().Write("AppendRecordInfo() - The file cannot be open.");
        return false;
    }
    WaveLayout layout;
    std::string error;
    if (!ReadWaveLayoutOfFile(fd, layout, error)) {
        appLog().Write("AppendRecordInfo() - The file is not a wave file.");
        ::close(fd);
        return false;
    }
    // A data chunk cut off by the end of the file keeps its size field: a chunk behind the
    // audio would be read as audio by every reader that believes that field.
    if (layout.DataTruncated()) {
        appLog().Write("AppendRecordInfo() - The wave data is cut off.");
        ::close(fd);
        return false;
    }
    // The chunk goes over our own earlier chunk or at the end of the file, never over a
    // byte of anything else: whatever lies behind the audio may be somebody's data.
    const std::uint64_t at = layout.RecordChunkPlace();
    if (layout.recordChunkOffset == 0 && at < layout.fileSize) {
        appLog().Write("AppendRecordInfo() - The file holds unknown data behind its wave chunk.");
        ::close(fd);
        return false;
    }
    RecordInfo stored = info;
    stored.size = static_cast<std::int64_t>(
        std::max<std::uint64_t>(layout.fileSize, at + WaveLayout::kRecordChunkBytes));
    unsigned char chunk[WaveLayout::kRecordChunkBytes];
    std::memcpy(chunk, "RIFF", 4);
    putLe32(chunk + 4, 4 + sizeof(RecordInfo));
    std::memcpy(chunk + 8, "TWKI", 4);
    std::memcpy(chunk + 12, &stored, sizeof(RecordInfo));
    // The pad byte of an odd WAVE chunk may be missing at the very end of the file.
    bool ok = true;
    if (at > layout.fileSize) {
        const unsigned char zero = 0;
        ok = writeAt(fd, &zero, 1, static_cast<off_t>(layout.fileSize));
    }
    if (!ok || !writeAt(fd, chunk, 12, static_cast<off_t>(at))) {
        appLog().Write("AppendRecordInfo() - Cannot create chunk TWKI.");
        ::close(fd);
        return false;
    }
    ok = writeAt(fd, chunk + 12, sizeof(RecordInfo), static_cast<off_t>(at + 12));
    // A RIFF size that disagrees with the chunks (an unfinished or stale header) is set to
    // what the chunks say, so that every reader finds the same audio.
    if (ok && !layout.riffSizeTrusted) {
        unsigned char field[4];
        putLe32(field, layout.RiffSizeFromChunks());
        ok = writeAt(fd, field, 4, 4);
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        appLog().Write("AppendRecordInfo() - Cannot write chunk TWKI.");
    else if (storedSize)
        *storedSize = stored.size;
    return ok;
}

bool ReadRecordInfo(const std::string& path, RecordInfo& info)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0)
        return false;
    WaveLayout layout;
    std::string error;
    std::uint64_t at = 0;
    if (ReadWaveLayoutOfFile(fd, layout, error)) {
        at = layout.recordChunkOffset;
    } else {
        // A WAVE chunk too damaged to map may still be followed by the record's chunk.
        const off_t size = fileSizeOf(fd);
        unsigned char head[12];
        const auto chunkBytes = static_cast<off_t>(WaveLayout::kRecordChunkBytes);
        if (size >= chunkBytes && readAt(fd, head, sizeof head, size - chunkBytes) &&
            std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "TWKI", 4) == 0)
            at = static_cast<std::uint64_t>(size - chunkBytes);
    }
    RecordInfo read;
    const bool ok = at != 0 && readAt(fd, &read, sizeof read, static_cast<off_t>(at + 12));
    ::close(fd);
    if (!ok)
        return false;
    read.TerminateTexts();
    info = read;
    return true;
}

bool IsRecordWav(std::string_view path)
{
    return endsWithIgnoreCase(path, ".wav") && !endsWith(path, "_em.wav");
}

bool IsRecordMp3(std::string_view path)
{
    return endsWithIgnoreCase(path, ".mp3") && !endsWith(path, "_em.mp3");
}

std::string MakeRecordFileName(std::uint32_t type, std::time_t start, std::time_t end,
                               std::string_view skypeName)
{
    return "ti" + FormatClockTime(start) + FormatClockTime(end) +
           std::string(RecordTypeLetter(static_cast<int>(type))) + SafeFileNamePart(skypeName) +
           ".wav";
}

bool RecordInfoFromFileName(std::string_view fileName, int year, int month, int day,
                            RecordInfo& info, const FullNameLookup& lookup, std::time_t endHint)
{
    const std::u16string name = toUtf16(fileName);
    if (name.size() < 14)
        return false;
    int t[6];
    const int max[6] = {23, 59, 59, 23, 59, 59};
    for (int i = 0; i < 6; ++i) {
        if (!twoDigits(name, 2 + 2 * i, max[i], t[i]))
            return false;
    }
    RecordInfo parsed;
    parsed.type = name.size() > 14 && name[14] == u'c' ? RECORD_CONVERSATION : RECORD_VOICEMAIL;
    parsed.origin = RECORD_ORIGIN_FILE_NAME;
    // Past midnight: the next calendar day (by date, so a 23- or 25-hour day does not matter).
    const int endDay = t[3] < t[0] ? day + 1 : day;
    std::time_t start = 0;
    std::time_t end = 0;
    if (!resolveTimes(localReadings(year, month, day, t[0], t[1], t[2]),
                      localReadings(year, month, endDay, t[3], t[4], t[5]), endHint, start, end))
        return false;
    parsed.startTime = static_cast<std::uint32_t>(start);
    parsed.endTime = static_cast<std::uint32_t>(end);
    if (name.size() > 19) {
        const std::string part = toUtf8(std::u16string_view(name).substr(15, name.size() - 19));
        parsed.SetSkypeName(UnescapeFileNamePart(part));
        if (lookup) {
            const std::string full = lookup(parsed.SkypeName());
            if (!full.empty())
                parsed.SetFullName(full);
        }
    }
    info = parsed;
    return true;
}

bool IsPlausibleRecordInfo(const RecordInfo& info)
{
    constexpr std::uint32_t kLatest = 0x7FFFFFFF; // times are compared as signed 32 bits
    return (info.type == RECORD_VOICEMAIL || info.type == RECORD_CONVERSATION) &&
           info.startTime >= kEarliestRecordTime && info.startTime <= kLatest &&
           info.endTime >= kEarliestRecordTime && info.endTime <= kLatest && info.size >= 0;
}

std::string RecordDateFolderName(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday);
    return text;
}

} // namespace tw
