// Soak: many exchanges with the stand-in Vexo in one run of the main window,
// then resident memory, open descriptors and threads at the start and the
// end, each beside its target.
//
//   vexo_soak [--exchanges N] [--keep-log] [--real-wait]
//
// Every exchange is a button press, the stand-in's reply and the verdict
// line. The 500 ms wait is cut short once the whole reply is in (the verdict
// handler runs then, as the timer would run it), unless --real-wait. The
// operator clears the log every 1000 exchanges, so the growth figure leaves
// out the log's own text; --keep-log keeps it and reports what it costs.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QComboBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "Commands.h"
#include "ErrorBox.h"
#include "ProcessFigures.h"
#include "VexoSim.h"
#include "fAT_Vexo.h"

namespace {

struct Figures {
    long rssKb;
    int fds, threads;
};

Figures Now()
{
    // the directory listing itself holds one descriptor while it counts
    return {ResidentKb(), CountEntries("/proc/self/fd") - 1, CountEntries("/proc/self/task")};
}

bool Pump(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    // sleeps until an event comes (a hand-over, a timer); the heartbeat
    // timer in main bounds each sleep
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int exchanges = 10000;
    bool keepLog = false, realWait = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--exchanges") && i + 1 < argc)
            exchanges = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--keep-log"))
            keepLog = true;
        else if (!std::strcmp(argv[i], "--real-wait"))
            realWait = true;
        else {
            std::fprintf(stderr, "usage: %s [--exchanges N] [--keep-log] [--real-wait]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ConnectSerialToEventLoop();
    QTimer heartbeat;
    heartbeat.start(5);
    int boxes = 0;
    SetMessagePresenter([&](QWidget *, const QString &, const QString &) { ++boxes; });
    QDir::setCurrent(QDir::tempPath()); // no Work folder: nothing saved

    vexo::sim::Options o;
    o.setupWindow = false;
    o.answerDelayMs = 0;
    vexo::sim::VexoSim sim(o);
    TfAT_Vexo window;
    window.show();
    auto *log = window.findChild<QTextEdit *>(QStringLiteral("reWin"));
    auto *clear = window.findChild<QToolButton *>(QStringLiteral("ToolButton6"));
    window.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QString::fromStdString(sim.DevicePath()));
    Pump([&] { return !window.tInit()->isActive(); }, 5000);

    int bad = 0;
    auto exchange = [&](int n) {
        const int cmd = n % ATCommandCount;
        const std::string_view button = Catalogue[cmd].button;
        window.findChild<QPushButton *>(QString::fromLatin1(button.data(), qsizetype(button.size())))->click();
        if (realWait) {
            Pump([&] { return !window.tRdIn_Vexo()->isActive(); }, 5000);
        } else {
            Pump([&] { return window.Engine().RxText().ends_with("\r\n"); }, 5000);
            window.Engine().tRdIn_VexoTimer(); // the tick, without waiting for it
        }
        const QString last = log->document()->lastBlock().text();
        if (!last.startsWith(QString::fromUtf8("ответ  \"Vexo\" <- ")) || last.endsWith(QString::fromUtf8("брак")))
            ++bad;
    };

    // Warm-up: first use of each button, fonts, caches.
    for (int n = 0; n < 200; ++n)
        exchange(n);
    clear->click();
    QCoreApplication::processEvents();
    const Figures start = Now();

    QElapsedTimer t;
    t.start();
    for (int n = 0; n < exchanges; ++n) {
        exchange(n);
        if (!keepLog && n % 1000 == 999)
            clear->click();
    }
    const double seconds = t.elapsed() / 1000.0;
    QCoreApplication::processEvents();
    const int logLines = log->document()->blockCount();
    const Figures end = Now();

    const long growthKb = end.rssKb - start.rssKb;
    std::printf("soak: %d exchanges in %.1f s (%.2f ms each)%s\n", exchanges, seconds, seconds * 1000 / exchanges,
                realWait ? ", real 500 ms waits" : ", waits cut short once the reply is in");
    std::printf("  wrong or missing verdicts: %d   error boxes: %d   (target 0)\n", bad, boxes);
    std::printf("  resident memory: %ld KB at start, %ld KB at end, growth %ld KB   (target <= 5120 KB%s)\n",
                start.rssKb, end.rssKb, growthKb, keepLog ? " apart from the log's text" : ", log cleared every 1000");
    if (keepLog)
        std::printf("  log kept: %d lines, %.2f KB of growth per line\n", logLines,
                    logLines > 1 ? double(growthKb) / logLines : 0.0);
    std::printf("  open descriptors: %d at start, %d at end   (target: unchanged)\n", start.fds, end.fds);
    std::printf("  threads: %d at start, %d at end   (target: unchanged)\n", start.threads, end.threads);
    const bool ok = bad == 0 && boxes == 0 && start.fds == end.fds && start.threads == end.threads
                    && (keepLog || growthKb <= 5120);
    std::printf("soak: %s\n", ok ? "all targets met" : "TARGET MISSED");
    window.close();
    return ok ? 0 : 1;
}
