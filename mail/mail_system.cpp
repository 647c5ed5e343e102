#include "mail/mail_system.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <unordered_map>

#include <netdb.h>
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

std::string FullyQualifiedHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return {};
    std::string result;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) == 0 && list != nullptr &&
        list->ai_canonname != nullptr)
        result = list->ai_canonname;
    if (list != nullptr)
        ::freeaddrinfo(list);
    if (result.find('.') == std::string::npos)
        result = name;
    while (!result.empty() && result.back() == '.')
        result.pop_back();
    const bool dotted = result.find('.') != std::string::npos;
    const bool clean = result.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU"
                                                "VWXYZ0123456789.-") == std::string::npos;
    return dotted && clean ? result : std::string();
}

std::string NewMessageId(std::string_view senderAddress)
{
    std::string domain;
    if (const auto at = senderAddress.rfind('@'); at != std::string_view::npos)
        domain = senderAddress.substr(at + 1);
    if (domain.empty() || domain.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"
                                                   "TUVWXYZ0123456789.-") != std::string::npos)
        domain = FullyQualifiedHostName();
    if (domain.empty())
        domain = "localhost";
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex lock;
    std::uint64_t nonce;
    {
        std::lock_guard guard(lock);
        nonce = random();
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    char text[64];
    std::snprintf(text, sizeof text, "%llx.%016llx@",
                  static_cast<unsigned long long>(
                      std::chrono::duration_cast<std::chrono::microseconds>(now).count()),
                  static_cast<unsigned long long>(nonce));
    return text + domain;
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
