#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tw {

/// A small bounded set of worker threads for short jobs. Threads start on demand, up to the
/// limit, and stay until Stop(). Jobs may queue further jobs (a job's follow-up); Stop() runs
/// everything queued, the follow-ups included, then joins every thread, so no job is dropped
/// and no thread outlives the pool. After Stop() a job runs on the thread that queues it.
///
/// Threads: Submit from any thread (a job included); Stop, WaitIdle and the destructor from
/// the owner's thread, never from a job.
class WorkerPool
{
public:
    using Job = std::function<void()>;

    explicit WorkerPool(std::size_t maxThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void Submit(Job job);
    /// Runs what is queued, then joins the threads. Idempotent.
    void Stop();
    /// Waits until no job is queued or running; true when that happened within timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);
    /// Threads running now (never more than the limit).
    std::size_t threadCount() const;

private:
    void workerMain();

    const std::size_t m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_live = 0;    // threads started and not ended
    std::size_t m_waiting = 0; // threads waiting for a job
    std::size_t m_running = 0; // jobs being run
    bool m_stopping = false;
    bool m_stopped = false;
};

} // namespace tw
