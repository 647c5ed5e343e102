#include "platform/worker_pool.h"

#include <system_error>

namespace tw {

WorkerPool::WorkerPool(std::size_t maxThreads) : m_maxThreads(maxThreads == 0 ? 1 : maxThreads)
{}

WorkerPool::~WorkerPool()
{
    Stop();
}

void WorkerPool::Submit(Job job)
{
    {
        std::unique_lock lock(m_mutex);
        if (!m_stopped) {
            m_jobs.push_back(std::move(job));
            if (m_waiting == 0 && m_live < m_maxThreads) {
                try {
                    m_threads.emplace_back(&WorkerPool::workerMain, this);
                    ++m_live;
                } catch (const std::system_error&) {
                    // No new thread: a running one, or Stop(), takes the job.
                }
            }
            if (m_live > 0) {
                m_wake.notify_one();
                return;
            }
            // Not even one thread could start: run it here rather than lose it.
            job = std::move(m_jobs.back());
            m_jobs.pop_back();
        }
    }
    job();
}

void WorkerPool::workerMain()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_jobs.empty()) {
            if (m_stopping) {
                --m_live; // under the lock: a job queued after this starts a new thread
                return;
            }
            ++m_waiting;
            m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
            --m_waiting;
            continue;
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        job();
        job = nullptr; // whatever it holds goes before the pool is told it is done
        lock.lock();
        --m_running;
        if (m_jobs.empty() && m_running == 0)
            m_idle.notify_all();
    }
}

void WorkerPool::Stop()
{
    std::deque<Job> left;
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_wake.notify_all();
            if (m_threads.empty()) {
                // A job queued from outside after the last thread ended runs here.
                m_stopped = true;
                left.swap(m_jobs);
                break;
            }
            threads.swap(m_threads);
        }
        for (std::thread& t : threads)
            t.join();
    }
    for (Job& job : left)
        job();
    m_idle.notify_all();
}

bool WorkerPool::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_jobs.empty() && m_running == 0; });
}

std::size_t WorkerPool::threadCount() const
{
    std::lock_guard lock(m_mutex);
    return m_live;
}

} // namespace tw
