#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_event_loop.h"

using namespace std::chrono_literals;

namespace tw {
namespace {

using Ticks = std::vector<std::pair<int, long>>;

struct Recorder : TimerClient
{
    explicit Recorder(ManualEventLoop& loop) : loop(loop) {}
    ManualEventLoop& loop;
    Ticks ticks;
    int killAfter = -1;
    void onTimer(int id) override
    {
        ticks.emplace_back(id, static_cast<long>(loop.now().count()));
        if (id == killAfter)
            loop.killTimer(this, id);
    }
};

TEST(ManualEventLoop, TimersFireInDueOrderRepeatAndRestartUntilKilled)
{
    ManualEventLoop loop;
    Recorder r(loop);
    loop.startTimer(&r, 1005, 5000ms);
    loop.startTimer(&r, 1002, 10000ms);
    loop.advance(20000ms);
    const Ticks expected{{1005, 5000},  {1002, 10000}, {1005, 10000},
                         {1005, 15000}, {1002, 20000}, {1005, 20000}};
    EXPECT_EQ(r.ticks, expected);
    r.ticks.clear();
    loop.killTimer(&r, 1005);
    loop.advance(10000ms);
    EXPECT_EQ(r.ticks, (Ticks{{1002, 30000}}));
    loop.killTimers(&r);

    // A restart starts the period over; a handler may kill its own timer.
    Recorder k(loop);
    k.killAfter = 7;
    loop.startTimer(&k, 7, 1000ms);
    loop.advance(600ms);
    loop.startTimer(&k, 7, 1000ms);
    loop.advance(5900ms);
    EXPECT_EQ(k.ticks, (Ticks{{7, 31600}}));
    EXPECT_EQ(loop.activeTimerCount(), 0);
}

TEST(ManualEventLoop, TasksPostedFromOtherThreadsRunOnTheLoop)
{
    ManualEventLoop loop;
    std::vector<int> seen;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            loop.post([&seen, i] { seen.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(seen.empty()) << "nothing runs until the loop runs";
    EXPECT_EQ(loop.runPending(), 3);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    const auto wall = loop.wallTime();
    loop.advance(2500ms);
    EXPECT_EQ(loop.wallTime(), wall + 2);
}

} // namespace
} // namespace tw
