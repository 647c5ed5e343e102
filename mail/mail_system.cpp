#include "mail/mail_system.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>

#include <netdb.h>
#include <unistd.h>

#include "platform/utf.h"

namespace tw {
namespace {

constexpr char kDefaultType[] = "application/octet-stream";

// mime.types: "type ext ext ..." per line, '#' starts a comment. The first line that names
// the extension wins. One mail asks once, so the file is scanned for that extension alone
// rather than read into a table.
std::string lookUp(const std::string& path, std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return kDefaultType;
    const std::string wanted = asciiLower(name.substr(dot + 1));
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::string_view rest(line);
        rest = rest.substr(0, rest.find('#'));
        std::string_view type;
        for (bool first = true;; first = false) {
            const auto start = rest.find_first_not_of(" \t\r");
            if (start == std::string_view::npos)
                break;
            rest.remove_prefix(start);
            const auto end = std::min(rest.find_first_of(" \t\r"), rest.size());
            const std::string_view word = rest.substr(0, end);
            rest.remove_prefix(end);
            if (first)
                type = word;
            else if (equalsIgnoreCase(word, wanted))
                return std::string(type);
        }
    }
    return kDefaultType;
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
    return lookUp("/etc/mime.types", name);
}

std::string ContentTypeForName(std::string_view name, const std::string& mimeTypesPath)
{
    return lookUp(mimeTypesPath, name);
}

} // namespace tw
