// The in-process start-up figure: milliseconds from the spawn (argv[1],
// CLOCK_REALTIME in ns, as bench/run.sh passes it) to the window being
// shown and drawn, and the peak memory, printed as "<ms> <KiB>".
#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

inline long long NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

// The spawn time passed by the harness; `fallback` when none was.
inline long long SpawnedNs(int argc, char **argv, long long fallback)
{
    return argc > 1 ? std::atoll(argv[1]) : fallback;
}

// Prints the figure and has the event loop end once it runs.
inline void ReportShown(long long spawned)
{
    const long long shown = NowNs();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%.3f %ld\n", static_cast<double>(shown - spawned) / 1e6, u.ru_maxrss);
    std::fflush(stdout);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
}
