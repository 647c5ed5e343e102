#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace tw {

/// The event log: a short text file of life-cycle events and failures, at most about 100
/// lines, older lines moved to one backup ("<path>1"). Lines end with CR LF. Any thread may
/// write; one mutex serialises writing and rotation. The file is opened and closed for each
/// line, so another program may read it at any time. Every failure is silent.
class CLog
{
public:
    static constexpr int kRotateLines = 100;
    static constexpr std::size_t kMaxLineBytes = 1023;

    /// Stores the path, counts the lines already there (creating an empty file when there is
    /// none) and rotates at once when that count is 100 or more. Leaves the log disabled.
    void Open(const std::string& path);
    void Enable(bool enabled);
    /// Appends "YYYY-MM-DD HH:MM:SS - text" in local time.
    void Write(std::string_view text);
    /// Appends the text as it stands, without a timestamp.
    void WriteRaw(std::string_view text);
    void Close();

    bool isEnabled() const;
    std::string path() const;
    int lineCount() const;

private:
    void appendLine(std::string_view line);
    void rotate();

    mutable std::mutex m_mutex;
    std::string m_path;
    bool m_enabled = false;
    int m_lines = 0;
};

/// The process-wide log that the application opens on the data folder.
CLog& appLog();

} // namespace tw
