#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/manual_event_loop.h"

using namespace std::chrono_literals;

namespace tw {
namespace {

struct Recorder : TimerClient
{
    ManualEventLoop* loop = nullptr;
    std::vector<std::pair<int, long>> ticks;
    int killAfter = -1;
    void onTimer(int id) override
    {
        ticks.emplace_back(id, static_cast<long>(loop->now().count()));
        if (id == killAfter)
            loop->killTimer(this, id);
    }
};

TEST(ManualEventLoop, TimersFireInDueOrderAndRepeatUntilKilled)
{
    ManualEventLoop loop;
    Recorder r;
    r.loop = &loop;
    loop.startTimer(&r, 1005, 5000ms);
    loop.startTimer(&r, 1002, 10000ms);
    loop.advance(20000ms);
    const std::vector<std::pair<int, long>> expected{{1005, 5000},  {1002, 10000}, {1005, 10000},
                                                     {1005, 15000}, {1002, 20000}, {1005, 20000}};
    EXPECT_EQ(r.ticks, expected);

    r.ticks.clear();
    loop.killTimer(&r, 1005);
    loop.advance(10000ms);
    EXPECT_EQ(r.ticks, (std::vector<std::pair<int, long>>{{1002, 30000}}));
    loop.killTimers(&r);
    EXPECT_EQ(loop.activeTimerCount(), 0);
}

TEST(ManualEventLoop, RestartingATimerResetsItsPeriodAndAHandlerMayKillItself)
{
    ManualEventLoop loop;
    Recorder r;
    r.loop = &loop;
    r.killAfter = 7;
    loop.startTimer(&r, 7, 1000ms);
    loop.advance(600ms);
    loop.startTimer(&r, 7, 1000ms); // like SetTimer with the same id: starts over
    loop.advance(900ms);
    EXPECT_TRUE(r.ticks.empty());
    loop.advance(5000ms);
    ASSERT_EQ(r.ticks.size(), 1u);
    EXPECT_EQ(r.ticks[0].second, 1600);
    EXPECT_FALSE(loop.isTimerActive(&r, 7));
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
    EXPECT_EQ(loop.wallTime(), 1184943486);
    loop.advance(2500ms);
    EXPECT_EQ(loop.wallTime(), 1184943488);
}

} // namespace
} // namespace tw
