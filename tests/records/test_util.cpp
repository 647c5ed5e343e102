#include "tests/records/test_util.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/file_util.h"
#include "records/riff_wave_file.h"

namespace tw::test {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tw-records-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedTimeZone::ScopedTimeZone(const char* tz)
{
    if (const char* old = std::getenv("TZ")) {
        m_had = true;
        m_old = old;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (m_had)
        ::setenv("TZ", m_old.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writePcmWav(const std::string& path, std::uint32_t dataBytes)
{
    CRiffWaveFile wav;
    const WaveFormat format = WaveFormat::Pcm(16000, 1, 16);
    if (wav.Open(path, &format, CRiffWaveFile::kModeWrite) != hr::ok)
        throw std::runtime_error("cannot write " + path);
    std::vector<std::uint8_t> data(dataBytes);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    std::uint32_t written = 0;
    if (wav.Write(dataBytes, data.data(), &written) != hr::ok || wav.Close() != hr::ok)
        throw std::runtime_error("cannot write " + path);
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

RecordInfo makeRecordFile(const std::string& folder, std::uint32_t type, std::time_t start,
                          std::uint32_t seconds, const std::string& partner)
{
    const std::string dayFolder = JoinPath(folder, RecordDateFolderName(start));
    EnsureFolderPath(dayFolder);
    const std::string path =
        JoinPath(dayFolder, MakeRecordFileName(type, start, start + seconds, partner));
    writePcmWav(path, 3200);
    RecordInfo info;
    info.type = type;
    info.SetPath(path);
    info.SetSkypeName(partner);
    info.SetFullName(partner + " full");
    info.startTime = static_cast<std::uint32_t>(start);
    info.endTime = static_cast<std::uint32_t>(start + seconds);
    info.size = static_cast<std::int64_t>(readFile(path).size());
    return info;
}

} // namespace tw::test
