// One start-up of the program as main() does it, timed in-process: from the
// moment the harness spawned the process (argv[1], CLOCK_REALTIME in ns) to
// the main window being shown and painted. The fallback where no X server is
// available; bench_window gives the baselines the same way.
#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "Application.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

namespace {
long long NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}
} // namespace

int main(int argc, char **argv)
{
    const long long spawned = argc > 1 ? std::atoll(argv[1]) : NowNs();
    TFontWarmUp fonts; // as the program starts
    TApplication app(argc, argv);
    fonts.Join();
    PrepareApplication();
    const auto window = StartUp();
    window->repaint(); // shown means drawn
    const long long shown = NowNs();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%.3f %ld\n", (shown - spawned) / 1e6, u.ru_maxrss);
    std::fflush(stdout);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
