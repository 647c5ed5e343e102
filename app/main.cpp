#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>

#include "app/qt_application.h"
#include "platform/qt/single_instance.h"
#include "platform/trace.h"

namespace {

void printUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: tellwick [--trace] [--toggle-recording] [--version] [--help]\n"
                 "  --trace             write trace lines to standard error (or TELLWICK_TRACE=1)\n"
                 "  --toggle-recording  ask the running Tellwick to start or stop recording\n"
                 "                      the current call (F12), then exit\n"
                 "  --version           print the version and exit\n");
}

/// The running copy does the work; this process only carries the command over the bus.
int toggleRecording(int argc, char** argv)
{
    QCoreApplication qtApp(argc, argv);
    std::string reply;
    if (const auto failure = tw::SingleInstance::RequestToggleRecording(reply)) {
        std::fprintf(stderr, "tellwick: cannot toggle recording: %s\n", failure->c_str());
        return 1;
    }
    std::printf("%s\n", reply.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    tw::initTraceFromEnvironment();
    bool toggle = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Tellwick %s\n", TW_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            printUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--trace") == 0) {
            tw::setTraceEnabled(true);
        } else if (std::strcmp(argv[i], "--toggle-recording") == 0) {
            toggle = true;
        } else {
            std::fprintf(stderr, "tellwick: unknown option %s\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
    if (toggle)
        return toggleRecording(argc, argv);
    // Without a display (a service, a test) the windows are drawn offscreen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    // Closing the main window hides it; the process ends only by Exit or a signal.
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setApplicationName("tellwick");
    QCoreApplication::setApplicationVersion(TW_VERSION);
    tw::QtApplication application;
    return application.run();
}
