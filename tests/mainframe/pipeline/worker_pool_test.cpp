#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/worker_pool.h"

namespace tw {
namespace {

using namespace std::chrono_literals;

TEST(WorkerPool, BoundedThreadsRunEveryJobAndFollowUpBeforeStopReturns)
{
    std::atomic<int> done{0}, running{0}, most{0};
    const auto job = [&](auto&& then) {
        const int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(1ms);
        --running;
        then();
    };
    WorkerPool pool(2);
    for (int i = 0; i < 20; ++i) {
        // A follow-up queued by a job while the pool stops still runs.
        pool.Submit([&] { job([&] { pool.Submit([&] { job([&] { ++done; }); }); }); });
    }
    EXPECT_LE(pool.threadCount(), 2u);
    pool.Stop();
    EXPECT_EQ(done, 20);
    EXPECT_LE(most, 2); // never more at once than the limit
    EXPECT_EQ(pool.threadCount(), 0u);
    // After Stop a job runs on the caller's thread.
    std::thread::id ranOn;
    pool.Submit([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

} // namespace
} // namespace tw
