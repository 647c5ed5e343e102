// Round trip of one Invoke ("PING" -> "PONG") against skype-sim on a private session bus:
// a blocking QtDBus call, and the transport's asynchronous path as the link sees it (send()
// until onSkypeText). Prints median, p99 and mean in microseconds.
// Usage: tw_bench_skype_dbus [COUNT]   (starts its own bus when none is set)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>

#include "platform/qt/dbus_skype_transport.h"

using Clock = std::chrono::steady_clock;

namespace {

void report(const char* what, std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    std::printf("%-34s n=%zu  median %.1f us  p99 %.1f us  mean %.1f us\n", what, us.size(),
                us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)],
                sum / double(us.size()));
}

bool spinUntil(const std::function<bool()>& pred, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct Waiter : tw::SkypeTransport::Listener
{
    int texts = 0;
    int status = -1;
    void onSkypeText(const std::string&) override { ++texts; }
    void onAttachStatus(int s) override { status = s; }
    void onSendFailed(const std::string&) override {}
};

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS") || !std::getenv("TW_BENCH_OWN_BUS")) {
        // Run again on a bus of our own, so nothing else on the desktop bus disturbs it.
        setenv("TW_BENCH_OWN_BUS", "1", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;

    QProcess sim;
    sim.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    sim.start(SKYPE_SIM_PATH, {});
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!spinUntil([&] { return bus.interface()->isServiceRegistered("com.Skype.API").value(); },
                   20000)) {
        std::fprintf(stderr, "skype-sim did not start\n");
        return 1;
    }

    // The transport first (it exports /com/Skype/Client on the shared connection).
    tw::DBusSkypeTransport transport(bus);
    Waiter waiter;
    transport.setListener(&waiter);
    transport.discover("Bench");
    if (!spinUntil([&] { return waiter.status == 0; }, 20000)) {
        std::fprintf(stderr, "no attach\n");
        return 1;
    }
    spinUntil([] { return false; }, 200); // let the attach notifications pass

    QDBusMessage ping =
        QDBusMessage::createMethodCall("com.Skype.API", "/com/Skype", "com.Skype.API", "Invoke");
    ping << QStringLiteral("PING");
    std::vector<double> blocking;
    for (int i = 0; i < count + 200; ++i) {
        const auto t0 = Clock::now();
        const QDBusMessage reply = bus.call(ping, QDBus::Block, 10000);
        const auto t1 = Clock::now();
        if (reply.arguments().value(0).toString() != "PONG") {
            std::fprintf(stderr, "unexpected reply\n");
            return 1;
        }
        if (i >= 200) // warm-up
            blocking.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }

    std::vector<double> viaTransport;
    for (int i = 0; i < count + 200; ++i) {
        const int before = waiter.texts;
        const auto t0 = Clock::now();
        transport.send("PING");
        if (!spinUntil([&] { return waiter.texts > before; }, 10000)) {
            std::fprintf(stderr, "lost reply\n");
            return 1;
        }
        const auto t1 = Clock::now();
        if (i >= 200)
            viaTransport.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }

    report("Invoke round trip (blocking call)", blocking);
    report("Invoke round trip (transport)", viaTransport);
    sim.kill();
    sim.waitForFinished(5000);
    return 0;
}
