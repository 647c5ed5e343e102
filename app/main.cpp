#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>

#include "app/qt_application.h"
#include "app/trace.h"

namespace {

void printUsage(std::FILE* out)
{
    std::fprintf(out, "Usage: tellwick [--trace] [--version] [--help]\n"
                      "  --trace    write trace lines to standard error (or TELLWICK_TRACE=1)\n"
                      "  --version  print the version and exit\n");
}

} // namespace

int main(int argc, char** argv)
{
    tw::initTraceFromEnvironment();
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
        } else {
            std::fprintf(stderr, "tellwick: unknown option %s\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
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
