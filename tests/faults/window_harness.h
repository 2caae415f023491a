// Shared pieces of the fault tests that drive the main window: log lines,
// waiting while the event loop runs, process figures, and the fixture.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QComboBox>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include "ErrorBox.h"
#include "ProcessFigures.h"
#include "QtText.h"
#include "QtWait.h"
#include "Thread.h"
#include "fAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace faults {

using ::U;

inline std::vector<QString> LogLines(QTextEdit *view)
{
    std::vector<QString> lines;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        if (!b.text().isEmpty())
            lines.push_back(b.text());
    return lines;
}

using ::Idle;
using ::WaitFor;

// CPU time of the whole process (all threads), in milliseconds.
inline double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// CPU used while the event loop sits idle for `ms` (it sleeps in poll).
inline double IdleCpuMs(int ms)
{
    const double before = ProcessCpuMs();
    QTest::qWait(ms);
    return ProcessCpuMs() - before;
}

using ::CountEntries;
using ::ResidentKb;

// The event loop answers at all: a zero timer runs.
inline bool Responsive()
{
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    return WaitFor([&] { return ran; }, 2000);
}

struct Box {
    QString caption, text;
};

// Counts the hand-overs the event thread asks for, and passes them on to the
// event loop as the program does.
inline std::atomic<int> &WakeCount()
{
    static std::atomic<int> n{0};
    return n;
}

// Waits until input waits in the port's device, without running the loop
// that would take it.
inline bool AwaitInputInThePort(TCustomComm &comm, int ms)
{
    pollfd p{commlayer::PollableFd(comm.Handle()), POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

inline void ConnectCountingHandOver()
{
    ConnectSerialToEventLoop();
    SetWakeMainThread([] {
        WakeCount().fetch_add(1);
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectCountingHandOver();
        SetMessagePresenter([this](QWidget *, const QString &c, const QString &t) { boxes.push_back({c, t}); });
        ASSERT_TRUE(cwd.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
    }
    void TearDown() override
    {
        window.reset();
        QDir::setCurrent(oldCwd);
        SetMessagePresenter(nullptr);
    }

    // A new program window, as at start-up: the start timer's first tick
    // has run (settings file loaded) when this returns, if `settled`.
    void Start(bool show = true, bool settled = true)
    {
        window = std::make_unique<TfAT_Vexo>();
        if (show)
            window->show();
        log = window->findChild<QTextEdit *>(QStringLiteral("reWin"));
        port = window->findChild<QComboBox *>(QStringLiteral("cbRSname"));
        ASSERT_NE(log, nullptr);
        ASSERT_NE(port, nullptr);
        if (settled) {
            ASSERT_TRUE(WaitFor([&] { return !window->tInit()->isActive(); }, 10000)) << "start-up did not go on";
        }
    }

    void Press(const char *button)
    {
        auto *b = window->findChild<QPushButton *>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }

    void UsePort(const std::string &path) { port->setEditText(QString::fromStdString(path)); }

    bool WaitEnded(int ms = 3000)
    {
        return WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); }, ms);
    }

    QTemporaryDir cwd;
    QString oldCwd;
    std::unique_ptr<TfAT_Vexo> window;
    QTextEdit *log = nullptr;
    QComboBox *port = nullptr;
    std::vector<Box> boxes;
};

} // namespace faults
