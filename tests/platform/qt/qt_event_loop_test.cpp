#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "platform/qt/qt_event_loop.h"

using namespace std::chrono_literals;

namespace tw {
namespace {

// Runs the real Qt loop until done() or a generous deadline (CI machines are slow).
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    QDeadlineTimer deadline(limit);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

struct Client : TimerClient
{
    std::function<void(int)> onTick;
    std::vector<int> ticks;
    void onTimer(int id) override
    {
        ticks.push_back(id);
        if (onTick)
            onTick(id);
    }
    int count(int id) const { return static_cast<int>(std::count(ticks.begin(), ticks.end(), id)); }
};

TEST(QtEventLoop, TimersRepeatPerClientAndIdUntilKilled)
{
    QtEventLoop loop;
    Client a, b;
    loop.startTimer(&a, 1005, 5ms);
    loop.startTimer(&b, 1005, 5ms); // same id, other client: a timer of its own
    loop.startTimer(&a, 1002, 5ms);
    loop.startTimer(&a, 1002, 5ms); // a restart replaces, it does not add
    EXPECT_EQ(loop.activeTimerCount(), 3);
    ASSERT_TRUE(spinUntil([&] { return a.count(1005) >= 3 && b.count(1005) >= 3; }));
    ASSERT_TRUE(spinUntil([&] { return a.count(1002) >= 3; }));
    loop.killTimers(&a);
    EXPECT_EQ(loop.activeTimerCount(), 1);
    const std::size_t aTicks = a.ticks.size();
    const int bTicks = b.count(1005);
    ASSERT_TRUE(spinUntil([&] { return b.count(1005) >= bTicks + 3; }));
    EXPECT_EQ(a.ticks.size(), aTicks);
    loop.killTimer(&b, 1005);
    loop.killTimer(&b, 1005); // unknown now: nothing happens

    // A client may kill or restart timers from its own tick.
    Client c;
    c.onTick = [&](int id) {
        loop.killTimer(&c, id);
        if (id == 1)
            loop.startTimer(&c, 2, 5ms);
    };
    loop.startTimer(&c, 1, 0ms); // raised to the minimum period
    ASSERT_TRUE(spinUntil([&] { return c.count(2) == 1; }));
    spinUntil([] { return false; }, 50ms); // room for a stray tick
    EXPECT_EQ(c.ticks, (std::vector<int>{1, 2}));
    EXPECT_EQ(loop.activeTimerCount(), 0);
}

TEST(QtEventLoop, PostedTasksRunOnTheLoopThreadInOrder)
{
    QtEventLoop loop;
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> order;
    bool wrongThread = false;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] { order.push_back(3); }); // runs after what is already queued
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty()); // never runs inside post()
    std::thread worker([&] {
        for (int i = 4; i < 104; ++i)
            loop.post([&, i] {
                wrongThread |= std::this_thread::get_id() != loopThread;
                order.push_back(i);
            });
    });
    worker.join();
    ASSERT_TRUE(spinUntil([&] { return order.size() == 103; }));
    EXPECT_FALSE(wrongThread);
    // The worker's tasks were queued before task 1 ran, so task 3 comes after them.
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 2), (std::vector<int>{1, 2}));
    EXPECT_TRUE(std::is_sorted(order.begin() + 2, order.end() - 1));
    EXPECT_EQ(order.back(), 3);
    EXPECT_NEAR(static_cast<double>(loop.wallTime()), static_cast<double>(std::time(nullptr)), 2);
}

} // namespace
} // namespace tw

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
