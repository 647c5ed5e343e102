#include "platform/profile_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "platform/utf.h"

namespace tw {
namespace {

std::string_view trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isValidUtf8(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return toUtf8(toUtf16(text)) == text; // invalid bytes come back as U+FFFD
    return true;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    std::string folder, name;
    if (!SplitPath(path, folder, name))
        return ".";
    return folder.empty() ? "/" : folder;
}

// Keeps an unusable file before it is replaced: a hard link under the first free
// "<path>.bad", "<path>.bad1", ... name.
void keepBadFile(const std::string& path)
{
    for (int n = 0; n < 100; ++n) {
        const std::string bad = path + ".bad" + (n ? std::to_string(n) : std::string());
        if (::link(path.c_str(), bad.c_str()) == 0)
            return;
        if (errno == ENOENT)
            return;
        if (errno != EEXIST) {
            // No hard links here (or not allowed): move it instead.
            if (!FileExists(bad))
                ::rename(path.c_str(), bad.c_str());
            return;
        }
    }
}

std::int64_t parseLeadingInt(std::string_view text)
{
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    // Accumulate as a negative number so that INT64_MIN fits; saturate on overflow.
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const int digit = text[pos] - '0';
        if (value < (INT64_MIN + digit) / 10) {
            value = INT64_MIN;
            break;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

// Windows-1252 bytes 0x80-0x9F; the five it leaves undefined keep their C1 code points,
// as the Windows conversion does. 0xA0-0xFF are the Latin-1 code points.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string windows1252ToUtf8(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        units.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80]
                                                    : static_cast<char16_t>(byte));
    }
    return toUtf8(units);
}

} // namespace

ProfileStore::Line ProfileStore::parseLine(std::string raw)
{
    Line line;
    // Files written by the Windows program are in its ANSI code page: a line that is not
    // UTF-8 is read as Windows-1252 and saved back as UTF-8.
    line.raw = isValidUtf8(raw) ? std::move(raw) : windows1252ToUtf8(raw);
    const std::string_view text = trim(line.raw);
    if (text.empty() || text.front() == ';' || text.front() == '#')
        return line;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = trim(text.substr(1, close - 1));
        }
        return line;
    }
    const auto eq = line.raw.find('=');
    if (eq == std::string::npos)
        return line;
    const std::string_view name = trim(std::string_view(line.raw).substr(0, eq));
    if (name.empty())
        return line;
    line.kind = Kind::Key;
    line.name = name;
    line.value = trim(std::string_view(line.raw).substr(eq + 1));
    line.keyEnd = eq;
    return line;
}

ProfileStore::LoadStatus ProfileStore::load(std::string path)
{
    m_path = std::move(path);
    m_lines.clear();
    m_loadedText.clear();
    m_bom = false;
    m_eol = "\n";

    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return m_status = (errno == ENOENT || errno == ENOTDIR) ? LoadStatus::Missing
                                                                : LoadStatus::Unreadable;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return m_status = LoadStatus::Unreadable;
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return m_status = LoadStatus::Unreadable;
        }
        if (n == 0)
            break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > kMaxFileBytes) {
            ::close(fd);
            return m_status = LoadStatus::TooLarge;
        }
    }
    ::close(fd);

    if (data.size() >= 2 && data[0] == '\xFF' && data[1] == '\xFE') {
        // UTF-16LE with its byte order mark (as older Windows tools wrote it).
        std::u16string units;
        for (std::size_t i = 2; i + 1 < data.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                  static_cast<unsigned char>(data[i + 1]) << 8));
        const std::string utf8 = toUtf8(units);
        if (utf8.find('\0') != std::string::npos)
            return m_status = LoadStatus::Binary;
        loadText(utf8);
        return m_status = LoadStatus::Ok; // m_loadedText stays empty: the next save converts
    }
    if (data.find('\0') != std::string::npos)
        return m_status = LoadStatus::Binary;
    loadText(data);
    m_loadedText = std::move(data);
    return m_status = LoadStatus::Ok;
}

void ProfileStore::loadText(std::string_view text)
{
    m_lines.clear();
    m_bom = text.starts_with("\xEF\xBB\xBF");
    if (m_bom)
        text.remove_prefix(3);
    const auto firstLf = text.find('\n');
    m_eol = firstLf != std::string_view::npos && firstLf > 0 && text[firstLf - 1] == '\r' ? "\r\n"
                                                                                          : "\n";
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_lines.push_back(parseLine(std::string(line)));
    }
    m_status = LoadStatus::Ok;
}

const ProfileStore::Line* ProfileStore::findKey(std::string_view section,
                                                std::string_view key) const
{
    bool inSection = false;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section)
            inSection = equalsIgnoreCase(line.name, section);
        else if (inSection && line.kind == Kind::Key && equalsIgnoreCase(line.name, key))
            return &line;
    }
    return nullptr;
}

std::optional<std::string> ProfileStore::get(std::string_view section, std::string_view key) const
{
    if (const Line* line = findKey(section, key))
        return line->value;
    return std::nullopt;
}

std::string ProfileStore::getString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const
{
    const Line* line = findKey(section, key);
    return line ? line->value : std::string(fallback);
}

std::int64_t ProfileStore::getInt64(std::string_view section, std::string_view key,
                                    std::int64_t fallback) const
{
    const Line* line = findKey(section, key);
    if (!line || line->value.empty())
        return fallback;
    return parseLeadingInt(line->value);
}

int ProfileStore::getInt(std::string_view section, std::string_view key, int fallback) const
{
    const std::int64_t value = getInt64(section, key, fallback);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::vector<std::pair<std::string, std::string>>
ProfileStore::entries(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> out;
    bool inSection = false;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section)
            inSection = equalsIgnoreCase(line.name, section);
        else if (inSection && line.kind == Kind::Key)
            out.emplace_back(line.name, line.value);
    }
    return out;
}

bool ProfileStore::remove(std::string_view section, std::string_view key)
{
    const Line* found = findKey(trim(section), trim(key));
    if (found == nullptr)
        return false;
    m_lines.erase(m_lines.begin() + (found - m_lines.data()));
    return true;
}

bool ProfileStore::set(std::string_view section, std::string_view key, std::string_view value)
{
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty() || hasLineBreak(section) || hasLineBreak(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';' || key.front() == '#' || !isValidUtf8(section) ||
        !isValidUtf8(key))
        return false;
    // Bad bytes become U+FFFD: a line that is not valid UTF-8 would never be found again.
    std::string clean = isValidUtf8(value) ? std::string(value) : toUtf8(toUtf16(value));
    for (char& c : clean)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';

    if (const Line* found = findKey(section, key)) {
        Line& line = m_lines[static_cast<std::size_t>(found - m_lines.data())];
        std::string head(trim(std::string_view(line.raw).substr(0, line.keyEnd)));
        // Keep the line's own indentation and spelling of the name.
        head.insert(0, line.raw.substr(0, line.raw.find_first_not_of(" \t")));
        line = parseLine(head + "=" + clean);
        return true;
    }

    Line added = parseLine(std::string(key) + "=" + clean);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != Kind::Section || !equalsIgnoreCase(m_lines[i].name, section))
            continue;
        std::size_t last = i;
        for (std::size_t j = i + 1; j < m_lines.size() && m_lines[j].kind != Kind::Section; ++j)
            if (!trim(m_lines[j].raw).empty())
                last = j;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(last + 1), std::move(added));
        return true;
    }
    if (!m_lines.empty() && !trim(m_lines.back().raw).empty())
        m_lines.push_back(parseLine(std::string()));
    m_lines.push_back(parseLine("[" + std::string(section) + "]"));
    m_lines.push_back(std::move(added));
    return true;
}

bool ProfileStore::setInt(std::string_view section, std::string_view key, long long value)
{
    return set(section, key, std::to_string(value));
}

std::string ProfileStore::text() const
{
    std::string out = m_bom ? "\xEF\xBB\xBF" : "";
    for (const Line& line : m_lines) {
        out += line.raw;
        out += m_eol;
    }
    return out;
}

bool ProfileStore::save()
{
    return saveAs(m_path);
}

bool ProfileStore::saveAs(const std::string& path)
{
    if (path.empty())
        return false;
    const std::string content = text();
    const bool ownFile = path == m_path;
    if (ownFile && m_status == LoadStatus::Ok && !m_loadedText.empty() && content == m_loadedText &&
        FileExists(path))
        return true;

    // Write through a symbolic link rather than replacing the link itself.
    std::string target = path;
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    // Never replace a folder, a device or a socket by a settings file.
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    if (ownFile && (m_status == LoadStatus::Unreadable || m_status == LoadStatus::Binary ||
                    m_status == LoadStatus::TooLarge))
        keepBadFile(target);

    mode_t mode = 0600; // the settings hold passwords
    if (::stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    std::string tmp = target + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    (void)::fchmod(fd, mode); // a mode we cannot set is no reason to fail
    bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    if (ownFile) {
        m_status = LoadStatus::Ok;
        m_loadedText = content;
    }
    return true;
}

std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback)
{
    return ProfileStore(path).getString(section, key, fallback);
}

int readProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int fallback)
{
    return ProfileStore(path).getInt(section, key, fallback);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value)
{
    ProfileStore store(path);
    return store.set(section, key, value) && store.save();
}

} // namespace tw
