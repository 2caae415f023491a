// TThread: a thread body and its hand-over of calls to the main thread
// (queued in the main loop's registry, MainLoop.cpp, and waited for here).
#include "Thread.h"

#include "MainLoopPrivate.h"

#include <atomic>

using namespace mainloop;

struct TThread::State {
    std::atomic<bool> terminated{false};
    bool finished = false; // under gLock
    bool started = false;
};

TThread::TThread() : FState(new State) {}

TThread::~TThread()
{
    if (FState->started && !IsCurrent()) {
        Terminate();
        WaitFor();
    }
    if (FThread.joinable()) {
        if (IsCurrent())
            FThread.detach(); // never join oneself
        else
            FThread.join();
    }
    delete FState;
}

void TThread::Start()
{
    if (FState->started)
        return;
    FState->started = true;
    FThread = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // A handler's exception ends the thread; nobody is told.
        }
        {
            std::lock_guard<std::mutex> g(gLock);
            FState->finished = true;
        }
        gChanged.notify_all();
    });
}

void TThread::Terminate() noexcept { FState->terminated = true; }

bool TThread::Finished() const noexcept
{
    std::lock_guard<std::mutex> g(gLock);
    return FState->finished;
}

bool TThread::IsCurrent() const noexcept { return FThread.get_id() == std::this_thread::get_id(); }

void TThread::WaitFor()
{
    if (!FState->started || IsCurrent())
        return;
    const bool onMain = IsMainThread();
    std::unique_lock<std::mutex> g(gLock);
    while (!FState->finished) {
        if (onMain && !gPending.empty()) {
            g.unlock();
            RunPendingCalls();
            g.lock();
            continue;
        }
        gChanged.wait(g);
    }
}

void TThread::Synchronize(const std::function<void()> &call)
{
    if (IsMainThread()) {
        call();
        return;
    }
    SyncRequest req;
    req.call = &call;
    Post(req);
    std::unique_lock<std::mutex> g(gLock);
    gChanged.wait(g, [&] { return req.done; });
    g.unlock();
    if (req.error)
        std::rethrow_exception(req.error);
}
