#include "platform/manual_event_loop.h"

namespace tw {

ManualEventLoop::ManualEventLoop(std::time_t wallStart) : m_wallStart(wallStart) {}

void ManualEventLoop::post(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_posted.notify_all();
}

void ManualEventLoop::startTimer(TimerClient* client, int id, std::chrono::milliseconds period)
{
    std::lock_guard lock(m_mutex);
    // A zero period would fire forever at one instant; Windows raises it to the minimum too.
    if (period.count() < 1)
        period = std::chrono::milliseconds(1);
    m_timers[{client, id}] = Timer{period, m_now + period, m_order++};
}

void ManualEventLoop::killTimer(TimerClient* client, int id)
{
    std::lock_guard lock(m_mutex);
    m_timers.erase({client, id});
}

void ManualEventLoop::killTimers(TimerClient* client)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_timers, [client](const auto& entry) { return entry.first.first == client; });
}

std::chrono::milliseconds ManualEventLoop::now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

std::time_t ManualEventLoop::wallTime() const
{
    std::lock_guard lock(m_mutex);
    return m_wallStart + static_cast<std::time_t>(m_now.count() / 1000);
}

int ManualEventLoop::runPending()
{
    int count = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty())
                return count;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        ++count;
    }
}

void ManualEventLoop::advance(std::chrono::milliseconds delta)
{
    runPending();
    std::chrono::milliseconds end;
    {
        std::lock_guard lock(m_mutex);
        end = m_now + delta;
    }
    for (;;) {
        Key key{};
        {
            std::lock_guard lock(m_mutex);
            const Timer* next = nullptr;
            for (const auto& [k, timer] : m_timers) {
                if (timer.due > end)
                    continue;
                if (!next || timer.due < next->due ||
                    (timer.due == next->due && timer.order < next->order)) {
                    next = &timer;
                    key = k;
                }
            }
            if (!next) {
                m_now = end;
                break;
            }
            m_now = next->due;
            Timer& t = m_timers[key];
            t.due = m_now + t.period;
            t.order = m_order++;
        }
        key.first->onTimer(key.second);
        runPending();
    }
    runPending();
}

bool ManualEventLoop::waitForPosted(std::chrono::milliseconds timeout)
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, timeout, [this] { return !m_tasks.empty(); }))
            return false;
    }
    runPending();
    return true;
}

bool ManualEventLoop::isTimerActive(TimerClient* client, int id) const
{
    std::lock_guard lock(m_mutex);
    return m_timers.count({client, id}) != 0;
}

std::chrono::milliseconds ManualEventLoop::timerPeriod(TimerClient* client, int id) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_timers.find({client, id});
    return it == m_timers.end() ? std::chrono::milliseconds(0) : it->second.period;
}

int ManualEventLoop::activeTimerCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_timers.size());
}

} // namespace tw
