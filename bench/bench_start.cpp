// One start-up, timed: from the moment the harness spawned the process
// (argv[1], CLOCK_REALTIME in ns) to the main window being shown and painted.
// Built twice: as the program starts (splash, main window) and as a bare Qt
// main window, so both are measured the same way in the same run.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#ifdef BENCH_VEXO
#include "Application.h"
#include "StartUp.h"
#include "fAT_Vexo.h"
#endif

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
#ifdef BENCH_VEXO
    TApplication app(argc, argv);
    PrepareApplication();
    const auto window = StartUp();
#else
    QApplication app(argc, argv);
    const auto window = std::make_unique<QMainWindow>();
    window->resize(720, 703);
    window->show();
#endif
    window->repaint(); // shown means drawn
    const long long shown = NowNs();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%.3f %ld\n", (shown - spawned) / 1e6, u.ru_maxrss);
    std::fflush(stdout);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
