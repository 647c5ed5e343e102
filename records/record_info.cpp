#include "records/record_info.h"

#include "records/record_naming.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/log.h"
#include "platform/file_util.h"
#include "platform/utf.h"

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

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
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

struct TopChunk
{
    off_t start = 0;        // offset of the chunk id
    std::uint64_t size = 0; // the size field
};

/// Walks the top-level chunks for "RIFF" of the given form type, as a RIFF parser searching
/// the outermost level does. Every step moves forward, so a hostile size cannot loop.
bool findRiffForm(int fd, off_t fileSize, const char* form, TopChunk& found)
{
    off_t pos = 0;
    while (pos + 12 <= fileSize) {
        unsigned char head[12];
        if (!readAt(fd, head, sizeof head, pos))
            return false;
        const std::uint64_t size = le32(head + 4);
        if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, form, 4) == 0) {
            found.start = pos;
            found.size = size;
            return true;
        }
        pos += static_cast<off_t>(8 + size + (size & 1));
    }
    return false;
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

std::time_t localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
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

bool AppendRecordInfo(const RecordInfo& info)
{
    const std::string path = info.Path();
    if (!CanOpenFile(path)) {
        appLog().Write("AppendRecordInfo() - The file is not existed.");
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        appLog().Write("AppendRecordInfo() - The file cannot be open.");
        return false;
    }
    const off_t fileSize = fileSizeOf(fd);
    TopChunk wave;
    if (fileSize < 0 || !findRiffForm(fd, fileSize, "WAVE", wave) ||
        wave.start + 8 + static_cast<off_t>(wave.size) > fileSize) {
        appLog().Write("AppendRecordInfo() - The file is not a wave file.");
        ::close(fd);
        return false;
    }
    const off_t at = wave.start + static_cast<off_t>(8 + wave.size + (wave.size & 1));
    unsigned char chunk[12 + sizeof(RecordInfo)];
    std::memcpy(chunk, "RIFF", 4);
    putLe32(chunk + 4, 4 + sizeof(RecordInfo));
    std::memcpy(chunk + 8, "TWKI", 4);
    std::memcpy(chunk + 12, &info, sizeof(RecordInfo));
    // The pad byte of an odd WAVE chunk may be missing at the very end of the file.
    bool ok = true;
    if (at > fileSize) {
        const unsigned char zero = 0;
        ok = writeAt(fd, &zero, 1, fileSize);
    }
    if (!ok || !writeAt(fd, chunk, 12, at)) {
        appLog().Write("AppendRecordInfo() - Cannot create chunk TWKI.");
        ::close(fd);
        return false;
    }
    ok = writeAt(fd, chunk + 12, sizeof(RecordInfo), at + 12);
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        appLog().Write("AppendRecordInfo() - Cannot write chunk TWKI.");
    return ok;
}

bool ReadRecordInfo(const std::string& path, RecordInfo& info)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const off_t fileSize = fileSizeOf(fd);
    TopChunk twki;
    RecordInfo read;
    const bool ok = fileSize >= 0 && findRiffForm(fd, fileSize, "TWKI", twki) &&
                    readAt(fd, &read, sizeof read, twki.start + 12);
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
                            RecordInfo& info, const FullNameLookup& lookup)
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
    const std::time_t start = localTime(year, month, day, t[0], t[1], t[2]);
    // Past midnight: the next calendar day (by date, so a 23- or 25-hour day does not matter).
    const std::time_t end = t[3] < t[0] ? localTime(year, month, day + 1, t[3], t[4], t[5])
                                        : localTime(year, month, day, t[3], t[4], t[5]);
    if (start == static_cast<std::time_t>(-1) || end == static_cast<std::time_t>(-1))
        return false;
    parsed.startTime = static_cast<std::uint32_t>(start);
    parsed.endTime = static_cast<std::uint32_t>(end);
    if (name.size() > 19) {
        const std::string partner = toUtf8(std::u16string_view(name).substr(15, name.size() - 19));
        parsed.SetSkypeName(partner);
        if (lookup) {
            const std::string full = lookup(parsed.SkypeName());
            if (!full.empty())
                parsed.SetFullName(full);
        }
    }
    info = parsed;
    return true;
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
