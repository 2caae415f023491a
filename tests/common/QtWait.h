// Waiting in widget tests while the event loop runs (timers, hand-overs).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Runs the event loop until `done` holds or `ms` pass; the final answer of `done`.
inline bool WaitFor(const std::function<bool()> &done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done())
            return true;
        QTest::qWait(1);
    }
    return done();
}

// Runs the event loop for `ms`.
inline void Idle(int ms) { WaitFor([] { return false; }, ms); }
