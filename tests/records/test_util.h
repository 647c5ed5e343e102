#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "records/record_info.h"

namespace tw::test {

/// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

/// Sets TZ for the test's lifetime and restores the previous value.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    std::string m_old;
    bool m_had = false;
};

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// A 16 kHz mono 16-bit PCM WAV with the given number of data bytes (a ramp).
void writePcmWav(const std::string& path, std::uint32_t dataBytes);

/// Local time of a calendar date and clock time (TZ as currently set).
std::time_t localTime(int year, int month, int day, int hour, int minute, int second);

/// Writes a WAV record file into folder/<date of start>/ named after the record and
/// returns its info (not yet in any index).
RecordInfo makeRecordFile(const std::string& folder, std::uint32_t type, std::time_t start,
                          std::uint32_t seconds, const std::string& partner = "bob");

} // namespace tw::test
