#include "platform/qt/qt_event_loop.h"

#include <QMetaObject>
#include <QTimerEvent>

namespace tw {

QtEventLoop::QtEventLoop(QObject* parent) : QObject(parent)
{}

QtEventLoop::~QtEventLoop()
{
    for (const auto& [key, qtId] : m_byKey)
        QObject::killTimer(qtId);
}

void QtEventLoop::post(Task task)
{
    // A queued call runs on this object's thread, after the events already queued.
    QMetaObject::invokeMethod(
        this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtEventLoop::startTimer(TimerClient* client, int id, std::chrono::milliseconds period)
{
    killTimer(client, id);
    // A zero period would fire whenever the loop is idle; raise it to the minimum, as the
    // manual loop does.
    const int qtId = QObject::startTimer(
        std::max<std::chrono::milliseconds>(period, std::chrono::milliseconds(1)),
        Qt::PreciseTimer);
    if (qtId == 0)
        return;
    m_byKey[{client, id}] = qtId;
    m_byQtId[qtId] = {client, id};
}

void QtEventLoop::killTimer(TimerClient* client, int id)
{
    const auto it = m_byKey.find({client, id});
    if (it == m_byKey.end())
        return;
    QObject::killTimer(it->second);
    m_byQtId.erase(it->second);
    m_byKey.erase(it);
}

void QtEventLoop::killTimers(TimerClient* client)
{
    for (auto it = m_byKey.begin(); it != m_byKey.end();) {
        if (it->first.first == client) {
            QObject::killTimer(it->second);
            m_byQtId.erase(it->second);
            it = m_byKey.erase(it);
        } else {
            ++it;
        }
    }
}

std::chrono::milliseconds QtEventLoop::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::time_t QtEventLoop::wallTime() const
{
    return std::time(nullptr);
}

void QtEventLoop::timerEvent(QTimerEvent* event)
{
    // Look the timer up on every tick: a client may kill or restart timers from onTimer.
    const auto it = m_byQtId.find(event->timerId());
    if (it == m_byQtId.end())
        return;
    const Key key = it->second;
    key.first->onTimer(key.second);
}

} // namespace tw
