#include "mainframe/autostart_entry.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/file_util.h"

namespace tw {

AutostartEntry::AutostartEntry(std::string_view xdgConfigHome, std::string_view home,
                               std::string executablePath)
    : m_executable(std::move(executablePath))
{
    const std::string config =
        xdgConfigHome.starts_with('/') ? std::string(xdgConfigHome) : JoinPath(home, ".config");
    m_folder = JoinPath(config, "autostart");
    m_path = JoinPath(m_folder, kFileName);
}

std::string AutostartEntry::QuoteExecArgument(std::string_view argument)
{
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote =
        argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    if (quote)
        out.push_back('"');
    for (const char c : argument) {
        if (c == '%')
            out += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += std::string("\\") + c;
        else
            out.push_back(c);
    }
    if (quote)
        out.push_back('"');
    return out;
}

std::string AutostartEntry::Text() const
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tellwick\n"
           "Comment=Answering machine and call recorder\n"
           "Exec=" +
           QuoteExecArgument(m_executable) +
           "\n"
           "Icon=org.tellwick.Tellwick\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEntry::Write() const
{
    if (!EnsureFolderPath(m_folder))
        return false;
    const std::string temporary = m_path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << Text();
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, m_path, error);
    if (error)
        std::remove(temporary.c_str());
    return !error;
}

bool AutostartEntry::Remove() const
{
    std::error_code error;
    std::filesystem::remove(m_path, error);
    return !FileExists(m_path);
}

} // namespace tw
