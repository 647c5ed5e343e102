#include "mail/mail_system.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include <unistd.h>

#include "platform/utf.h"

namespace tw {
namespace {

constexpr char kDefaultType[] = "application/octet-stream";

using TypeMap = std::unordered_map<std::string, std::string>;

// mime.types: "type ext ext ..." per line, '#' starts a comment. The first line that names
// an extension wins.
TypeMap readMimeTypes(const std::string& path)
{
    TypeMap map;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string type, extension;
        if (!(words >> type))
            continue;
        while (words >> extension)
            map.emplace(asciiLower(extension), type);
    }
    return map;
}

std::string lookUp(const TypeMap& map, std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return kDefaultType;
    const auto found = map.find(asciiLower(name.substr(dot + 1)));
    return found == map.end() ? std::string(kDefaultType) : found->second;
}

} // namespace

std::string SystemCharset()
{
    return "utf-8";
}

std::string ComputerName()
{
    char name[64] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

std::uint32_t TickCount()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::string ContentTypeForName(std::string_view name)
{
    // Read once: the file changes only when packages are installed.
    static const TypeMap map = readMimeTypes("/etc/mime.types");
    return lookUp(map, name);
}

std::string ContentTypeForName(std::string_view name, const std::string& mimeTypesPath)
{
    return lookUp(readMimeTypes(mimeTypesPath), name);
}

} // namespace tw
