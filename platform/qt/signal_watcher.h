#pragma once

#include <initializer_list>

#include <QObject>

class QSocketNotifier;

namespace tw {

/// Turns SIGTERM, SIGINT and SIGHUP (or the signals given) into a Qt signal on the thread
/// that created the watcher, through a self-pipe: the handler only writes one byte. One
/// watcher per process; the handlers go back to their defaults when it dies.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalWatcher() override;

    /// False when the pipe or a handler could not be set up (the signals then act as usual).
    bool isValid() const { return m_valid; }

signals:
    void signalReceived(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_signals[8] = {};
    int m_signalCount = 0;
    bool m_valid = false;
};

} // namespace tw
