#include "platform/qt/signal_watcher.h"

#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace tw {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : SignalWatcher({SIGTERM, SIGINT, SIGHUP}, parent)
{}

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);

    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_valid = true;
    for (const int signalNumber : signalNumbers) {
        if (m_signalCount == static_cast<int>(std::size(m_signals)))
            break;
        if (::sigaction(signalNumber, &action, nullptr) == 0)
            m_signals[m_signalCount++] = signalNumber;
        else
            m_valid = false;
    }
}

SignalWatcher::~SignalWatcher()
{
    for (int i = 0; i < m_signalCount; ++i)
        std::signal(m_signals[i], SIG_DFL);
    if (m_notifier) {
        delete m_notifier;
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
}

void SignalWatcher::readPipe()
{
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit signalReceived(bytes[i]);
}

} // namespace tw
