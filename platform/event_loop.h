#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>

namespace tw {

/// Receives the ticks of timers started through an EventLoop (the WM_TIMER of a window).
class TimerClient
{
public:
    virtual ~TimerClient() = default;
    virtual void onTimer(int id) = 0;
};

/// The user-interface thread as the core sees it. Timers and posted tasks run on that thread;
/// only post() may be called from other threads.
class EventLoop
{
public:
    using Task = std::function<void()>;

    virtual ~EventLoop() = default;

    /// Runs task on the loop's thread, after what is already queued. Any thread.
    virtual void post(Task task) = 0;

    /// Starts (or restarts, like SetTimer with an id already in use) a periodic timer that
    /// calls client->onTimer(id) every period until killed.
    virtual void startTimer(TimerClient* client, int id, std::chrono::milliseconds period) = 0;
    virtual void killTimer(TimerClient* client, int id) = 0;
    /// Kills every timer of the client; call it before the client dies.
    virtual void killTimers(TimerClient* client) = 0;

    /// Milliseconds on a steady clock (the tick count).
    virtual std::chrono::milliseconds now() const = 0;
    /// Wall-clock seconds since 1970 (record start times, file names).
    virtual std::time_t wallTime() const = 0;
};

} // namespace tw
