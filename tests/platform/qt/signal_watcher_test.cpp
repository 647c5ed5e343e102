#include <csignal>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "platform/qt/signal_watcher.h"

namespace tw {
namespace {

TEST(SignalWatcher, DeliversSignalsOnTheLoopThread)
{
    SignalWatcher watcher;
    ASSERT_TRUE(watcher.isValid());
    std::vector<int> received;
    QObject::connect(&watcher, &SignalWatcher::signalReceived,
                     [&](int signalNumber) { received.push_back(signalNumber); });
    ::raise(SIGHUP);
    ::raise(SIGTERM);
    EXPECT_TRUE(received.empty()); // nothing runs inside the handler
    QDeadlineTimer deadline(10000);
    while (received.size() < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(received, (std::vector<int>{SIGHUP, SIGTERM}));

    // One watcher per process.
    SignalWatcher second;
    EXPECT_FALSE(second.isValid());
}

} // namespace
} // namespace tw
