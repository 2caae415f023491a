// Serial component benchmarks over pseudo-terminals: CPU of an idle port and
// of one whose device vanished, CPU while a write times out, and the request
// and reply round trip through the component beside plain file descriptors
// and Qt's own QSerialPort.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifdef BENCH_QSERIALPORT
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>
#endif

#include "BenchReport.h"
#include "ProcessFigures.h"
#include "Thread.h"
#include "XComDrv.h"
#include "pty.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string Request = "ATI0\r\n";
const std::string Reply = "OK\r\n";

// CPU time of the whole process, i.e. the sum over all its threads.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// The main thread as an application's event loop runs it: asleep in poll on
// the component's main-loop descriptor until a hand-over or an arrival on a
// port wakes it, then CheckSynchronize.
class MainLoop {
public:
    MainLoop()
    {
        SetMainThread();
        fd_ = MainLoopFd();
    }

    bool RunUntil(const std::function<bool()> &done, Clock::duration limit)
    {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            CheckSynchronize();
            if (done())
                return true;
            const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return done();
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }
    void RunFor(Clock::duration d) { RunUntil([] { return false; }, d); }

private:
    int fd_ = -1;
};

// Where the exchange's two ends run. A real device answers from outside the
// computer, so the stand-in answers from a CPU of its own and the client runs
// on another. Left to the scheduler, the two ends sometimes share a CPU and
// sometimes not, and on a virtual machine that alone moves a path's median
// by 30-60 us between runs, more than the clients differ by.
struct Placement {
    int client = -1; // -1: wherever the scheduler likes (a single CPU)
    int device = -1;
};

Placement ChoosePlacement()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return {};
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            cpus.push_back(cpu);
    if (cpus.size() < 2)
        return {};
    return {cpus[0], cpus[1]};
}

void PinCallingThread(int cpu)
{
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set);
}

// Pins the calling thread while it lives, then gives it back its old CPUs.
class PinnedHere {
public:
    explicit PinnedHere(int cpu)
    {
        CPU_ZERO(&old_);
        saved_ = cpu >= 0 && ::pthread_getaffinity_np(::pthread_self(), sizeof old_, &old_) == 0;
        if (saved_)
            PinCallingThread(cpu);
    }
    ~PinnedHere()
    {
        if (saved_)
            ::pthread_setaffinity_np(::pthread_self(), sizeof old_, &old_);
    }
    PinnedHere(const PinnedHere &) = delete;
    PinnedHere &operator=(const PinnedHere &) = delete;

private:
    cpu_set_t old_;
    bool saved_ = false;
};

// The device on the master side: answers every complete request line.
class Responder {
public:
    Responder(TestPty &pty, int cpu) : pty_(pty), thread_([this, cpu] {
        PinCallingThread(cpu);
        Serve();
    })
    {
    }
    ~Responder()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Serve()
    {
        std::string pending;
        while (!stop_) {
            pending += pty_.ReadExactly(Request.size() - pending.size(), 20);
            if (pending.size() == Request.size()) {
                pty_.Write(Reply);
                pending.clear();
            }
        }
    }
    TestPty &pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

bool OpenOn(TXComm &comm, const TestPty &pty, BenchReport &report, const char *what)
{
    comm.SetDeviceName(pty.SlavePath());
    if (comm.Open())
        return true;
    report.Failed(Fmt("%s (cannot open %s)", what, pty.SlavePath().c_str()));
    return false;
}

// Context switches of every thread of this process but the calling one:
// each is a wake-up (or a preemption) of a thread that should be asleep.
long OtherThreadsSwitches()
{
    std::set<pid_t> others = ThreadIds();
    others.erase(::gettid());
    return ThreadSwitches(others);
}

// CPU of the process over one idle stretch of the loop, and the wake-ups of
// its other threads meanwhile. Even a lone thread asleep in one poll is
// charged some CPU on waking here (a virtual machine's time accounting), so
// the same stretch with no port open is measured beside it.
struct IdleFigures {
    double cpuMs;
    long wakeUps;
};
IdleFigures IdleStretch(MainLoop &loop, int seconds)
{
    const long switches0 = OtherThreadsSwitches();
    const double cpu0 = CpuMs();
    loop.RunFor(std::chrono::seconds(seconds));
    return {CpuMs() - cpu0, OtherThreadsSwitches() - switches0};
}

void IdleCpu(MainLoop &loop, BenchReport &report, int seconds)
{
    const double bare = IdleStretch(loop, seconds).cpuMs;
    auto line = [&](const char *what, const IdleFigures &f) {
        const double share = f.cpuMs - bare;
        report.Line(Fmt("idle CPU over %d s%s", seconds, what),
                    Fmt("%.3f ms (%.3f ms with no port open: %+.3f ms), %ld wake-ups of other threads", f.cpuMs,
                        bare, share, f.wakeUps),
                    "<= +1 ms, 0 wake-ups", share <= 1.0 && f.wakeUps == 0);
    };
    TestPty pty;
    TXComm comm;
    if (!OpenOn(comm, pty, report, "idle CPU"))
        return;
    loop.RunFor(milliseconds(200)); // let the open settle
    line("", IdleStretch(loop, seconds));

    pty.CloseMaster();
    loop.RunFor(milliseconds(200)); // the hang-up is noticed once
    line(" after the device vanished", IdleStretch(loop, seconds));
    comm.Close();
}

void WriteTimeOutCpu(MainLoop &loop, BenchReport &report)
{
    TestPty pty;
    TXComm comm;
    if (!OpenOn(comm, pty, report, "CPU during a write time-out"))
        return;
    // More than a pty holds, and nobody reads the master: the line is full.
    const std::string big(256 * 1024, 'w');
    comm.Send(big.data(), static_cast<std::uint32_t>(big.size()), 200);
    loop.RunFor(milliseconds(50));

    const double cpu0 = CpuMs();
    const auto t0 = Clock::now();
    const bool sent = comm.SendString(Request);
    const double wall = MsSince(t0);
    const double used = CpuMs() - cpu0;
    if (sent)
        report.Failed("CPU during a write time-out (the full line took the request)");
    else
        report.Line(Fmt("CPU during a %u ms write time-out", unsigned(comm.Buffers().OutputTimeout())),
                    Fmt("%.3f ms (SendString returned false after %.1f ms)", used, wall), "<= 25 ms", used <= 25.0);
    comm.Close();
}

void RoundTrip(MainLoop &loop, BenchReport &report, int count)
{
    TestPty viaComm, viaRead, viaFd, viaQt;

    TXComm comm;
    std::string got;
    comm.OnData = [&](TCustomComm *, std::uint32_t) {
        std::string s;
        comm.ReadString(s);
        got += s;
    };
    // Read has a port of its own, whose events stay on its event thread:
    // hand-overs of its arrivals would otherwise mix into the measured
    // OnData path and wake a third thread in the middle of it.
    TXComm readComm;
    readComm.SetSynchronize(false);
    if (!OpenOn(comm, viaComm, report, "round trip") || !OpenOn(readComm, viaRead, report, "round trip by Read"))
        return;

    // The same line settings a port gets from the component: raw, 8 bits.
    const int fd = ::open(viaFd.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
        report.Failed("round trip (cannot open the raw slave)");
        return;
    }
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);

    // Pinned only now: the component's own threads, started by the opens
    // above, stay free to run anywhere, as they would in the program.
    const Placement place = ChoosePlacement();
    const PinnedHere pinned(place.client);

#ifdef BENCH_QSERIALPORT
    // Qt's serial port, driven by its own event loop on this thread.
    QSerialPort qt;
    qt.setPortName(QString::fromStdString(viaQt.SlavePath()));
    if (!qt.open(QIODevice::ReadWrite) || !qt.setBaudRate(19200)) {
        report.Failed("round trip (QSerialPort cannot open its pty)");
        return;
    }
    QByteArray qtGot;
    QEventLoop qtLoop;
    QObject::connect(&qt, &QSerialPort::readyRead, [&] {
        qtGot += qt.readAll();
        if (qtGot.size() >= static_cast<qsizetype>(Reply.size()))
            qtLoop.quit();
    });
    QTimer qtLimit;
    qtLimit.setSingleShot(true);
    QObject::connect(&qtLimit, &QTimer::timeout, &qtLoop, &QEventLoop::quit);
    auto viaQSerialPort = [&]() -> double {
        qtGot.clear();
        const auto t0 = Clock::now();
        qt.write(Request.data(), static_cast<qint64>(Request.size()));
        qtLimit.start(2000);
        qtLoop.exec();
        qtLimit.stop();
        const double ms = MsSince(t0);
        return qtGot == QByteArray::fromStdString(Reply) ? ms : -1;
    };
    Responder deviceC(viaQt, place.device);
#else
    auto viaQSerialPort = []() -> double { return 0; };
#endif
    Responder deviceA(viaComm, place.device), deviceB(viaFd, place.device), deviceD(viaRead, place.device);

    // Written through the component, the reply handed to the main thread
    // (OnData) and read there with ReadString.
    auto component = [&]() -> double {
        got.clear();
        const auto t0 = Clock::now();
        if (!comm.SendString(Request))
            return -1;
        loop.RunUntil([&] { return got.size() >= Reply.size(); }, milliseconds(2000));
        const double ms = MsSince(t0);
        return got == Reply ? ms : -1;
    };
    // For comparison only: the reply taken with Read on the calling thread.
    auto componentRead = [&]() -> double {
        const auto t0 = Clock::now();
        if (!readComm.SendString(Request))
            return -1;
        std::string in(Reply.size(), '\0');
        in.resize(readComm.Read(in.data(), static_cast<std::uint32_t>(in.size()), 2000));
        const double ms = MsSince(t0);
        return in == Reply ? ms : -1;
    };
    auto raw = [&]() -> double {
        const auto t0 = Clock::now();
        if (::write(fd, Request.data(), Request.size()) != static_cast<ssize_t>(Request.size()))
            return -1;
        std::string in;
        char buf[64];
        while (in.size() < Reply.size()) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                return -1;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                return -1;
            in.append(buf, static_cast<std::size_t>(n));
        }
        const double ms = MsSince(t0);
        return in == Reply ? ms : -1;
    };

    for (int i = 0; i < 20; ++i) { // warm-up
        component();
        componentRead();
        raw();
        viaQSerialPort();
    }
    std::vector<double> c, cr, r, q;
    int failures = 0;
    for (int i = 0; i < count; ++i) { // interleaved, so all see the same machine
        const double a = component(), b = componentRead(), d = raw(), e = viaQSerialPort();
        if (a < 0 || b < 0 || d < 0 || e < 0) {
            ++failures;
            continue;
        }
        c.push_back(a);
        cr.push_back(b);
        r.push_back(d);
        q.push_back(e);
    }
    ::close(fd);
    comm.Close();
    readComm.Close();
    if (failures > 0 || c.empty()) {
        report.Failed(Fmt("round trip (%d of %d exchanges lost or wrong)", failures, count));
        return;
    }
    const double cMed = Percentile(c, 0.5), rMed = Percentile(r, 0.5);
    report.Line(Fmt("round trip over a pty, median / p99 of %d", count),
                Fmt("component %.3f / %.3f ms, raw fd %.3f / %.3f ms, median %.2fx raw", cMed, Percentile(c, 0.99),
                    rMed, Percentile(r, 0.99), cMed / rMed),
                "median <= 2x raw", cMed <= 2.0 * rMed);
#ifdef BENCH_QSERIALPORT
    const double qMed = Percentile(q, 0.5);
    report.Line("round trip over a pty beside QSerialPort, medians",
                Fmt("component %.3f ms, QSerialPort %.3f ms (p99 %.3f), %.2fx", cMed, qMed, Percentile(q, 0.99),
                    cMed / qMed),
                "component <= QSerialPort or <= 1.5x raw", cMed <= qMed || cMed <= 1.5 * rMed);
#endif

    if (place.client >= 0)
        report.Note(Fmt("client on CPU %d, the stand-in device on CPU %d", place.client, place.device));
    report.Note(Fmt("for comparison, the reply taken by Read on the main thread (no OnData hand-over): "
                    "median %.3f ms, p99 %.3f ms",
                    Percentile(cr, 0.5), Percentile(cr, 0.99)));
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv);
    BenchReport report;
#ifdef BENCH_QSERIALPORT
    QCoreApplication app(argc, argv);
#endif
    MainLoop loop;
    try {
        IdleCpu(loop, report, args.quick ? 1 : 10);
        WriteTimeOutCpu(loop, report);
        RoundTrip(loop, report, args.quick ? 100 : 1000);
    } catch (const std::exception &e) {
        report.Failed(Fmt("bench_serial stopped: %s", e.what()));
    }
    return report.ExitCode(args);
}
