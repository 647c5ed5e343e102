#pragma once

// The INI ("private profile") store behind the settings and the side-panel list.
//
// We keep our own reader and writer: no INI library packaged for Debian keeps comments,
// unknown keys and odd lines exactly where they were while giving the lookup rules below,
// which the settings files have always relied on.
//
// Lookup rules:
// - Section and key names compare case-insensitively (ASCII). Names and values are trimmed
//   of blanks and tabs. A value keeps any quotes it has.
// - First match wins: sections of the same name are searched in file order, and the first
//   line of a key in them answers. Later duplicates are kept but never read or written.
// - Integers are read from the value's leading decimal digits with an optional sign; a value
//   with no digits reads 0, an empty or missing value reads the default. Values beyond the
//   32-bit range saturate.
// - A line is a section header ("[name]"), a key line ("name=value"), or anything else
//   (blank lines, ";" or "#" comments, lines without "="); anything else is kept exactly and
//   never matches.
// - A line that is not valid UTF-8 was written in the Windows ANSI code page: it is read as
//   Windows-1252 and saved back as UTF-8.
//
// Writing:
// - A write replaces the value of the first matching key line in place (its name keeps its
//   spelling) or appends "key=value" after the last non-blank line of the first section of
//   that name; a new section is appended at the end of the file, after one blank line.
// - CR, LF and NUL in a value become blanks: they would break the line structure.
// - Lines end as the file's first line ends (CR LF or LF); a new file gets LF. A UTF-8 byte
//   order mark is kept. A UTF-16LE file with a byte order mark is read and saved as UTF-8.
//
// Bad files: a file that cannot be read, holds NUL bytes (binary) or is larger than
// kMaxFileBytes loads as empty, so every read answers its default. Saving over such a file
// first keeps it under "<path>.bad" (or ".bad1" ... when taken), so nothing is lost.
//
// Saving writes a temporary file in the same folder, flushes it to disk and renames it over
// the old file: a crash leaves either the old or the new file, never a half-written one.
//
// Not thread-safe: one thread uses one store.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw {

class ProfileStore
{
public:
    static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

    enum class LoadStatus {
        Ok,         ///< read and parsed
        Missing,    ///< no file: empty store, the first save creates it
        Unreadable, ///< exists but cannot be read (permissions, a folder ...)
        Binary,     ///< holds NUL bytes
        TooLarge,   ///< larger than kMaxFileBytes
    };

    ProfileStore() = default;
    explicit ProfileStore(std::string path) { load(std::move(path)); }

    /// Loads the file, replacing what the store held. The path is kept for save().
    LoadStatus load(std::string path);
    /// Parses text as if it were a file's content (no path).
    void loadText(std::string_view text);
    LoadStatus status() const { return m_status; }
    const std::string& path() const { return m_path; }

    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;
    int getInt(std::string_view section, std::string_view key, int fallback) const;
    /// Like getInt, with the 64-bit range (for unsigned 32-bit values written elsewhere).
    std::int64_t getInt64(std::string_view section, std::string_view key,
                          std::int64_t fallback) const;
    /// The key lines of every section of that name, in file order: (name, value).
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

    /// Returns false (and changes nothing) for a section or key name that cannot be written
    /// (empty, or holding a line break, "=" in a key, "]" in a section).
    bool set(std::string_view section, std::string_view key, std::string_view value);
    bool setInt(std::string_view section, std::string_view key, long long value);
    /// Removes the key line that answers for the key; false when there is none.
    bool remove(std::string_view section, std::string_view key);

    /// Writes the store to the path it was loaded from; false when that fails (the old file
    /// then stays as it was). Skips the write when the file is unchanged.
    bool save();
    bool saveAs(const std::string& path);

    /// The file content as save() would write it.
    std::string text() const;

private:
    enum class Kind { Other, Section, Key };
    struct Line
    {
        std::string raw; ///< the line as in the file, without its terminator
        Kind kind = Kind::Other;
        std::string name;       ///< trimmed section or key name
        std::string value;      ///< trimmed value (keys only)
        std::size_t keyEnd = 0; ///< key lines: position of '=' in raw
    };

    static Line parseLine(std::string raw);
    const Line* findKey(std::string_view section, std::string_view key) const;

    std::vector<Line> m_lines;
    std::string m_path;
    std::string m_eol = "\n";
    bool m_bom = false;
    LoadStatus m_status = LoadStatus::Missing;
    std::string m_loadedText; ///< what the file held when loaded (Ok only)
};

// One-off reads and writes; each loads the file, and a write saves it at once.
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback = {});
int readProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int fallback);
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

} // namespace tw
