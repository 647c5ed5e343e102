#include "platform/trace.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace tw {
namespace detail {

std::atomic<bool> g_traceEnabled{false};

void traceWrite(int level, std::string_view text)
{
    // One write() per line so that lines from several threads never interleave.
    std::string line = std::to_string(level);
    line.push_back(' ');
    line.append(text);
    line.push_back('\n');
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace detail

void setTraceEnabled(bool enabled)
{
    detail::g_traceEnabled.store(enabled, std::memory_order_relaxed);
}

void initTraceFromEnvironment()
{
    const char* value = std::getenv("TELLWICK_TRACE");
    if (value && std::strcmp(value, "1") == 0)
        setTraceEnabled(true);
}

void tracef(int level, const char* format, ...)
{
    if (!traceEnabled())
        return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    detail::traceWrite(level, buffer);
}

} // namespace tw
