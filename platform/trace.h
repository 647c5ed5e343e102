#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

namespace tw {

// The trace channel: a development aid. With --trace or TELLWICK_TRACE=1 every line goes to
// standard error as "<level> <text>"; otherwise a trace costs one relaxed atomic load.
// Levels: 1 Skype traffic, 2 failures, 3 list filter changes. Any thread; takes no lock.

namespace detail {
extern std::atomic<bool> g_traceEnabled;
void traceWrite(int level, std::string_view text);
} // namespace detail

inline bool traceEnabled()
{
    return detail::g_traceEnabled.load(std::memory_order_relaxed);
}

void setTraceEnabled(bool enabled);
/// Enables tracing when TELLWICK_TRACE=1 is in the environment.
void initTraceFromEnvironment();

inline void trace(int level, std::string_view text)
{
    if (traceEnabled() && !text.empty())
        detail::traceWrite(level, text);
}

/// printf-style trace; the text is cut at 1023 bytes. Formats nothing when tracing is off.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void tracef(int level, const char* format, ...);

} // namespace tw
