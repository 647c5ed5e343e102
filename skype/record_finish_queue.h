#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tw {

/// The worker thread of the record finishers and segment merges. Jobs run one after another
/// in the order they were queued, so the merges of a paused recording always happen before its
/// finisher and in segment order. The thread starts with the first job and is joined by
/// shutdown() (or the destructor) after the queued jobs have run: no finished recording is
/// dropped at exit.
class RecordFinishQueue
{
public:
    using Job = std::function<void()>;

    RecordFinishQueue() = default;
    ~RecordFinishQueue();
    RecordFinishQueue(const RecordFinishQueue&) = delete;
    RecordFinishQueue& operator=(const RecordFinishQueue&) = delete;

    /// Any thread. After shutdown() a job is run on the calling thread instead.
    void post(Job job);
    /// Runs what is queued, then joins the thread. Idempotent.
    void shutdown();
    /// Blocks until every job queued so far has run (tests, orderly exit).
    void waitIdle();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::thread m_thread;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_stopped = false;
};

} // namespace tw
