// Main windows made and destroyed many times over, with and without a port
// open, several alive at once, the event loop running in between: each
// window's port goes with it, and with the port its threads, descriptors
// and lock file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "ErrorBox.h"
#include "ProcessFigures.h"
#include "QtWait.h"
#include "commapi.h"
#include "fAT_Vexo.h"
#include "pty.h"
#include "XComDrv.h" // the engine's port object

namespace {

struct Figures {
    int threads = CountEntries("/proc/self/task");
    int fds = CountEntries("/proc/self/fd");
};

class WindowChurn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
        SetMessagePresenter([this](QWidget *, const QString &, const QString &text) { boxes.push_back(text); });
        ASSERT_TRUE(cwd.isValid());
        ASSERT_TRUE(locks.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path()); // no settings file: the port box keeps what the test puts there
        oldLockDir = commlayer::LockDir();
        commlayer::SetLockDir(locks.path().toStdString());
    }
    void TearDown() override
    {
        commlayer::SetLockDir(oldLockDir);
        QDir::setCurrent(oldCwd);
        SetMessagePresenter(nullptr);
    }

    static std::unique_ptr<TfAT_Vexo> Make(bool show)
    {
        auto w = std::make_unique<TfAT_Vexo>();
        if (show)
            w->show();
        return w;
    }
    static bool Settled(TfAT_Vexo &w)
    {
        return WaitFor([&] { return !w.tInit()->isActive(); }, 10000);
    }
    // Opens the window's port on `pty` with a request, which the device reads.
    static bool Ask(TfAT_Vexo &w, TestPty &pty)
    {
        w.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QString::fromStdString(pty.SlavePath()));
        w.findChild<QPushButton *>(QStringLiteral("bRd_Inf"))->click();
        return w.Engine().XComm_AT().Opened() && pty.ReadExactly(6, 5000) == "ATI0\r\n";
    }
    // The event loop runs until the figures are back to `before`; the last seen.
    static Figures BackTo(const Figures &before)
    {
        Figures now;
        WaitFor([&] {
            now = Figures{};
            return now.threads <= before.threads && now.fds <= before.fds;
        }, 5000);
        return now;
    }
    int LockFiles() const { return CountEntries(locks.path().toLocal8Bit().constData()); }

    QTemporaryDir cwd, locks;
    QString oldCwd;
    std::string oldLockDir;
    std::vector<QString> boxes;
};

} // namespace

TEST_F(WindowChurn, WindowsWithoutAPortLeaveNoThreadOrDescriptorBehind)
{
    auto first = Make(true);
    ASSERT_TRUE(Settled(*first));
    Make(false).reset();
    Make(true).reset();
    const Figures before;
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        auto w = Make(i % 3 == 0);
        if (i % 5 == 0)
            ASSERT_TRUE(Settled(*w));
        else
            QCoreApplication::processEvents();
        // Every tenth lives on beside the next few and goes from the event loop.
        if (i % 10 == 0)
            w.release()->deleteLater();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const Figures after = BackTo(before);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.fds, before.fds);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowChurn, WindowsWithPortsOpenLeaveNoThreadDescriptorOrLockFileBehind)
{
    constexpr int kAlive = 3;
    std::vector<std::unique_ptr<TestPty>> devices;
    for (int k = 0; k < kAlive; ++k)
        devices.push_back(std::make_unique<TestPty>());
    auto first = Make(true);
    ASSERT_TRUE(Settled(*first));
    Figures before;
    for (int i = 0; i < 61; ++i) {
        SCOPED_TRACE(i);
        std::vector<std::unique_ptr<TfAT_Vexo>> windows;
        for (int k = 0; k < kAlive; ++k) {
            windows.push_back(Make(k == 0));
            ASSERT_TRUE(Ask(*windows.back(), *devices[k]));
        }
        ASSERT_EQ(LockFiles(), kAlive);
        for (auto &d : devices)
            ASSERT_TRUE(d->Write("Vexo\r\n"));
        // The windows go at a different point of the delivery each round.
        auto delivered = [&](TfAT_Vexo &w) { return !w.Engine().RxText().empty(); };
        switch (i % 4) {
        case 0: // before the answers were seen
            break;
        case 1:
            EXPECT_TRUE(WaitFor([&] { return delivered(*windows[0]); }, 5000));
            break;
        case 2:
            for (auto &w : windows)
                EXPECT_TRUE(WaitFor([&] { return delivered(*w); }, 5000));
            break;
        default:
            QCoreApplication::processEvents();
            break;
        }
        // In a different order each round, some from the event loop.
        for (int k = 0; k < kAlive; ++k) {
            auto &w = windows[(k + i) % kAlive];
            if ((i + k) % 2)
                w.reset();
            else
                w.release()->deleteLater();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (auto &d : devices)
            d->ReadFor(0);
        if (i == 0)
            before = Figures{}; // after the first round: the main thread's own wake-up is made once
    }
    const Figures after = BackTo(before);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.fds, before.fds);
    EXPECT_EQ(LockFiles(), 0);
    EXPECT_TRUE(boxes.empty());
}
