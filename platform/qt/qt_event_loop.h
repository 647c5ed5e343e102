#pragma once

#include <map>
#include <unordered_map>
#include <utility>

#include <QObject>

#include "platform/event_loop.h"

namespace tw {

/// The EventLoop of the UI thread, on Qt's event loop. Create it on the UI thread; post() may
/// be called from any thread while it lives, everything else only on the UI thread. Tasks
/// posted and timers pending when it dies are dropped.
class QtEventLoop final : public QObject, public EventLoop
{
    Q_OBJECT

public:
    explicit QtEventLoop(QObject* parent = nullptr);
    ~QtEventLoop() override;

    void post(Task task) override;
    void startTimer(TimerClient* client, int id, std::chrono::milliseconds period) override;
    void killTimer(TimerClient* client, int id) override;
    void killTimers(TimerClient* client) override;
    std::chrono::milliseconds now() const override;
    std::time_t wallTime() const override;

    int activeTimerCount() const { return static_cast<int>(m_byKey.size()); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    using Key = std::pair<TimerClient*, int>;
    std::map<Key, int> m_byKey;            // (client, id) -> Qt timer id
    std::unordered_map<int, Key> m_byQtId; // Qt timer id -> (client, id)
};

} // namespace tw
