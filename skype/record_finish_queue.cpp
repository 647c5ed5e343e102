#include "skype/record_finish_queue.h"

namespace tw {

RecordFinishQueue::~RecordFinishQueue()
{
    shutdown();
}

void RecordFinishQueue::post(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopped && !m_stopping) {
            m_jobs.push_back(std::move(job));
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
            m_wake.notify_one();
            return;
        }
    }
    job();
}

void RecordFinishQueue::shutdown()
{
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped)
            return;
        m_stopping = true;
        thread = std::move(m_thread);
        m_wake.notify_one();
    }
    if (thread.joinable())
        thread.join();
    std::lock_guard lock(m_mutex);
    m_stopped = true;
}

void RecordFinishQueue::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void RecordFinishQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
        if (m_jobs.empty()) {
            m_idle.notify_all();
            return;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

} // namespace tw
