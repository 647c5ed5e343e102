#pragma once

#include "platform/event_loop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace tw {

/// An event loop on a virtual clock for tests: nothing happens until the test advances time
/// or asks for the posted tasks to run. Timers fire in due order; timers due at
/// the same instant fire in the order they were last (re)scheduled.
class ManualEventLoop : public EventLoop
{
public:
    explicit ManualEventLoop(std::time_t wallStart = 1184943486 /* 2007-07-20 14:58:06 UTC */);

    void post(Task task) override;
    void startTimer(TimerClient* client, int id, std::chrono::milliseconds period) override;
    void killTimer(TimerClient* client, int id) override;
    void killTimers(TimerClient* client) override;
    std::chrono::milliseconds now() const override;
    std::time_t wallTime() const override;

    /// Runs posted tasks (and tasks they post) until the queue is empty; returns how many ran.
    int runPending();
    /// Moves the clock forward by delta, firing every timer that falls due on the way and
    /// running posted tasks after each step.
    void advance(std::chrono::milliseconds delta);
    /// Waits (really, up to timeout) until another thread posts a task, then runs the queue.
    /// For tests whose workers post back.
    bool waitForPosted(std::chrono::milliseconds timeout);

    bool isTimerActive(TimerClient* client, int id) const;
    std::chrono::milliseconds timerPeriod(TimerClient* client, int id) const;
    int activeTimerCount() const;

private:
    struct Timer
    {
        std::chrono::milliseconds period;
        std::chrono::milliseconds due;
        std::uint64_t order;
    };
    using Key = std::pair<TimerClient*, int>;

    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<Task> m_tasks;
    std::map<Key, Timer> m_timers;
    std::chrono::milliseconds m_now{0};
    std::time_t m_wallStart;
    std::uint64_t m_order = 0;
};

} // namespace tw
