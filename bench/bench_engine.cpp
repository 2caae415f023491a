// Engine benchmarks on the offscreen platform: the time from a button press
// to the verdict line against the stand-in Vexo, the COM-port scan, and the
// cost of a long command log.
#include <chrono>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <vector>

#include "BenchReport.h"
#include "Application.h"
#include "ErrorBox.h"
#include "LogHelpers.h"
#include "QtText.h"
#include "VexoSim.h"
#include "fAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

constexpr double LogBytesPerLineTarget = 1024;

double Ms(const QElapsedTimer &t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

void Idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

long RssBytes()
{
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

template <typename T>
T *Find(TfAT_Vexo &w, const char *name)
{
    T *found = w.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return found;
}

void RequestToVerdict(TfAT_Vexo &w, BenchReport &report, int count)
{
    vexo::sim::Options options;
    options.setupWindow = false; // answers at any time
    vexo::sim::VexoSim sim(options);
    Find<QComboBox>(w, "cbRSname")->setEditText(QString::fromStdString(sim.DevicePath()));
    QPushButton *button = Find<QPushButton>(w, "bRd_Inf");
    QTextDocument *doc = Find<QTextEdit>(w, "reWin")->document();

    // The verdict line is stamped the moment the document takes it.
    const QString verdict = U("ответ  \"Vexo\" <- ");
    const QString noReply = U("нет ответа от \"Vexo\"");
    QElapsedTimer clock;
    QEventLoop loop;
    double stamp = -1;
    std::chrono::steady_clock::time_point stampedAt;
    bool answered = false;
    std::vector<double> pressMs; // time spent in the click handler itself
    QObject::connect(doc, &QTextDocument::contentsChange, &loop, [&] {
        const QString last = doc->lastBlock().text();
        if (stamp < 0 && (last.startsWith(verdict) || last == noReply)) {
            stamp = Ms(clock);
            stampedAt = std::chrono::steady_clock::now();
            answered = last.startsWith(verdict);
            loop.quit();
        }
    });
    auto exchange = [&]() -> double {
        stamp = -1;
        answered = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(3000);
        clock.start();
        button->click();
        pressMs.push_back(Ms(clock));
        if (stamp < 0)
            loop.exec();
        return answered ? stamp : -1;
    };

    exchange(); // opens the port
    exchange();
    pressMs.clear();
    std::vector<double> times, fromWire;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        sim.ClearRequests();
        const double ms = exchange();
        const auto requests = sim.Requests();
        if (ms < 0 || requests.empty()) {
            ++lost;
            continue;
        }
        times.push_back(ms);
        // From the request line reaching the device to the verdict line.
        fromWire.push_back(std::chrono::duration<double, std::milli>(stampedAt - requests.back().when).count());
    }
    w.Engine().CloseRSPort();
    if (lost > 0 || times.empty()) {
        report.Failed(Fmt("request -> verdict (%d of %d exchanges without a verdict)", lost, count));
        return;
    }
    const double p50 = Percentile(fromWire, 0.5), p99 = Percentile(fromWire, 0.99);
    auto within = [](double ms) { return ms >= 498.0 && ms <= 502.0; };
    report.Line(Fmt("request on the line -> verdict line, p50 / p99 of %d", count), Fmt("%.2f / %.2f ms", p50, p99),
                "500 ms +- 2 ms", within(p50) && within(p99));
    report.Note(Fmt("from the click: p50 %.2f, p99 %.2f, min %.2f, max %.2f ms; the click handler itself took "
                    "%.3f ms (median)",
                    Percentile(times, 0.5), Percentile(times, 0.99), Percentile(times, 0), Percentile(times, 1),
                    Percentile(pressMs, 0.5)));
}

void ScanPorts(TfAT_Vexo &w, BenchReport &report, int count)
{
    QComboBox *box = Find<QComboBox>(w, "cbRSname");
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        box->clear();
        QElapsedTimer t;
        t.start();
        w.Engine().ScanRSPorts();
        times.push_back(Ms(t));
    }
    const double median = Percentile(times, 0.5);
    report.Line(Fmt("ScanRSPorts over COM1..COM100, median of %d", count), Fmt("%.3f ms", median), "<= 50 ms",
                median <= 50.0);
    report.Note(Fmt("%d port(s) found under %s", box->count(), commlayer::DeviceRoot().c_str()));
    box->clear();
}

// A 45-character log line of the given kind, different for each n.
QString LogLine(int kind, int n)
{
    static const char *const texts[] = {"запрос \"Vexo\" -> \"AT+xKPV3=?\"", "ответ  \"Vexo\" <- скорость RS",
                                        "нет ответа от \"Vexo\""};
    return (U(texts[kind - 1]) + QStringLiteral(" #%1 ").arg(n)).leftJustified(45, u'.', true);
}

void LongLog(TfAT_Vexo &w, BenchReport &report, int lines)
{
    constexpr int Chunk = 10000;
    constexpr int Batch = 100; // the view repaints between batches, as it does between exchanges
    w.Engine().ToolButton6Click();
    Idle(100);
    const long rss0 = RssBytes();
    // The cost is the GUI thread's CPU time (it does the painting too), so
    // that load from elsewhere on the machine does not pass for growth; the
    // wall time is shown beside it.
    std::vector<double> cpuUs, wallUs;
    double cpu0 = ThreadCpuMs();
    QElapsedTimer wall;
    wall.start();
    for (int n = 0; n < lines;) {
        w.Engine().AddToLog(lkCommand + n % 3, LogLine(lkCommand + n % 3, n).toStdString());
        if (++n % Batch == 0)
            QCoreApplication::processEvents();
        if (n % Chunk == 0) {
            cpuUs.push_back((ThreadCpuMs() - cpu0) * 1000.0 / Chunk);
            wallUs.push_back(Ms(wall) * 1000.0 / Chunk);
            cpu0 = ThreadCpuMs();
            wall.start();
        }
    }
    const double bytesPerLine = static_cast<double>(RssBytes() - rss0) / lines;
    const double first = cpuUs.front(), last = cpuUs.back();
    report.Line(Fmt("log of %d lines, per-line CPU of the last 10k / first 10k", lines),
                Fmt("%.1f / %.1f us = %.2fx", last, first, last / first), "<= 1.5x", last <= 1.5 * first);
    QString cpu, elapsed;
    for (std::size_t i = 0; i < cpuUs.size(); ++i) {
        cpu += QStringLiteral(" %1").arg(cpuUs[i], 0, 'f', 1);
        elapsed += QStringLiteral(" %1").arg(wallUs[i], 0, 'f', 1);
    }
    report.Note(Fmt("per line, each 10k, CPU us:%s", qUtf8Printable(cpu)));
    report.Note(Fmt("per line, each 10k, wall us:%s", qUtf8Printable(elapsed)));
    report.Line("log memory per line (RSS delta / lines)", Fmt("%.0f bytes", bytesPerLine),
                Fmt("<= %.0f bytes", LogBytesPerLineTarget), bytesPerLine <= LogBytesPerLineTarget);
    w.Engine().ToolButton6Click();
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ConnectSerialToEventLoop();
    BenchReport report;
    SetMessagePresenter([&](QWidget *, const QString &caption, const QString &text) {
        report.Note(Fmt("unexpected message box \"%s\": %s", qUtf8Printable(caption), qUtf8Printable(text)));
    });
    // The window keeps its settings file in the working folder.
    QTemporaryDir cwd;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    try {
        auto window = std::make_unique<TfAT_Vexo>();
        window->show();
        Idle(200); // past the start timer
        RequestToVerdict(*window, report, args.quick ? 10 : 100);
        ScanPorts(*window, report, args.quick ? 5 : 20);
        LongLog(*window, report, args.quick ? 20000 : 100000);
    } catch (const std::exception &e) {
        report.Failed(Fmt("bench_engine stopped: %s", e.what()));
    }
    QDir::setCurrent(oldCwd);
    SetMessagePresenter(nullptr);
    return report.ExitCode(args);
}
