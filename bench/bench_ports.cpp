// The port enumeration with 100 ports present (a fake sysfs tree and device
// folder of USB adapters, the udev database beside), and the CPU the change
// monitor takes while nothing is plugged: the main loop sleeps on its
// descriptor for the whole idle time, as a program's loop does.
#include <chrono>
#include <cstdio>

#include <poll.h>
#include <sys/resource.h>

#include "BenchReport.h"
#include "FakeSysfs.h"
#include "PortInfo.h"
#include "PortMonitor.h"
#include "Thread.h"

namespace {

double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv);
    BenchReport report;

    FakeSysfs fs;
    for (int i = 0; i < 100; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(i);
        const std::string mm = "188:" + std::to_string(i);
        fs.AddUsb(tty, {.usbPath = "1-" + std::to_string(i + 1), .vid = "1a86", .pid = "7523", .product = "USB Serial"}, mm);
        fs.Udev(mm, "E:ID_VENDOR_FROM_DATABASE=QinHeng Electronics\nE:ID_MODEL_FROM_DATABASE=CH340 serial converter\n");
    }
    std::vector<double> ms;
    std::size_t listed = 0;
    for (int run = 0; run < (args.quick ? 5 : 50); ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        listed = ListPortInfo(fs.Roots()).size();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    if (listed != 100)
        report.Failed(Fmt("port enumeration: %zu of 100 ports listed", listed));
    else
        report.Line("port enumeration, 100 USB ports present (median)", Fmt("%.2f ms", Percentile(ms, 0.5)), "<= 50 ms",
                    Percentile(ms, 0.5) <= 50);

    SetMainThread();
    const int loop = MainLoopFd();
    int changes = 0;
    TPortMonitor monitor([&] { ++changes; }, {.devRoot = fs.Dev().string()});
    const int idleS = args.quick ? 5 : 60;
    const double cpu0 = CpuSeconds();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(idleS);
    int wakeups = 0;
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        pollfd p{loop, POLLIN, 0};
        const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count());
        if (::poll(&p, 1, left) > 0) {
            ++wakeups;
            CheckSynchronize();
        }
    }
    const double cpu = CpuSeconds() - cpu0;
    report.Note("monitor sources: " + monitor.Sources());
    report.Line(Fmt("CPU over %d s idle with the port monitor running", idleS),
                Fmt("%.3f s, %d wake-ups, %d changes", cpu, wakeups, changes), "0 wake-ups", wakeups == 0);
    return report.ExitCode(args);
}
