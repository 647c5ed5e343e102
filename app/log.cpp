#include "app/log.h"

#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

#include "platform/utf.h"

namespace tw {
namespace {

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Lines as the file shows them: each CR LF ends one.
int countLineEnds(std::string_view bytes)
{
    int lines = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string_view::npos; at += 2)
        ++lines;
    return lines;
}

int countLines(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (created >= 0)
            ::close(created);
        return 0;
    }
    int lines = 0;
    bool pendingCr = false;
    char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (pendingCr && buffer[i] == '\n')
                ++lines;
            pendingCr = buffer[i] == '\r';
        }
    }
    ::close(fd);
    return lines;
}

} // namespace

void CLog::Open(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_lines = 0;
    m_enabled = false;
    m_path = path;
    m_lines = countLines(path);
    if (m_lines >= kRotateLines)
        rotate();
}

void CLog::Enable(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

void CLog::Write(std::string_view text)
{
    if (!isEnabled())
        return;
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S - ", &local);
    std::string line(stamp);
    line.append(text);
    appendLine(line);
}

void CLog::WriteRaw(std::string_view text)
{
    if (!isEnabled())
        return;
    appendLine(text);
}

void CLog::appendLine(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    if (!m_enabled || m_path.empty())
        return;
    // Lines are appended only to a file that exists: a log deleted behind our back stays
    // deleted until the next start.
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        std::string bytes(cutToUtf8Bytes(line, kMaxLineBytes));
        bytes.append("\r\n");
        writeAll(fd, bytes.data(), bytes.size());
        ::close(fd);
        // A text with line breaks of its own writes several lines: rotation counts them all,
        // the way Open counts them when it reads the file.
        m_lines += countLineEnds(bytes);
    }
    if (m_lines >= kRotateLines)
        rotate();
}

void CLog::rotate()
{
    const std::string backup = m_path + "1";
    const int in = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
        const int out = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out >= 0) {
            char buffer[8192];
            ssize_t n;
            while ((n = ::read(in, buffer, sizeof buffer)) > 0)
                if (!writeAll(out, buffer, static_cast<std::size_t>(n)))
                    break;
            ::close(out);
        }
        ::close(in);
    }
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
    m_lines = 0;
}

void CLog::Close()
{
    std::lock_guard lock(m_mutex);
    m_lines = 0;
    m_enabled = false;
    m_path.clear();
}

bool CLog::isEnabled() const
{
    std::lock_guard lock(m_mutex);
    return m_enabled && !m_path.empty();
}

std::string CLog::path() const
{
    std::lock_guard lock(m_mutex);
    return m_path;
}

int CLog::lineCount() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

CLog& appLog()
{
    static CLog log;
    return log;
}

} // namespace tw
