#pragma once

#include <string>
#include <string_view>

namespace tw {

/// The start-with-login entry: $XDG_CONFIG_HOME/autostart/tellwick.desktop (the desktop's
/// autostart folder), whose Exec= names the running executable. Plain file work; any thread.
class AutostartEntry
{
public:
    static constexpr const char* kFileName = "tellwick.desktop";

    /// xdgConfigHome is used when absolute, else home + "/.config".
    AutostartEntry(std::string_view xdgConfigHome, std::string_view home,
                   std::string executablePath);

    /// Writes the entry (through a temporary file renamed over the old one), making the
    /// folder when missing.
    bool Write() const;
    /// Removes the entry; true when none is left.
    bool Remove() const;
    /// Write or Remove, as on says (the Options dialog's "Start Tellwick when I log in").
    bool Set(bool on) const { return on ? Write() : Remove(); }

    const std::string& path() const { return m_path; }
    /// The entry's text.
    std::string Text() const;

    /// One Exec= argument: as it stands when it needs no quoting, else in double quotes with
    /// '"', '`', '$' and '\' escaped; '%' is doubled (field codes).
    static std::string QuoteExecArgument(std::string_view argument);

private:
    std::string m_folder;
    std::string m_path;
    std::string m_executable;
};

} // namespace tw
