#include "Thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

struct SyncRequest {
    const std::function<void()> *call;
    std::exception_ptr error;
    bool done = false;
};

// One lock and one condition for all threads: hand-overs are rare and short,
// and WaitFor needs to wake on "a call is pending" and "the thread ended" alike.
// Never destroyed: a thread stopped from inside its own delivery is reaped
// later and may still be ending when the program exits.
std::mutex &gLock = *new std::mutex;
std::condition_variable &gChanged = *new std::condition_variable;
std::deque<SyncRequest *> &gPending = *new std::deque<SyncRequest *>;
std::function<void()> &gWake = *new std::function<void()>;
std::thread::id gMainThread = std::this_thread::get_id();

} // namespace

struct TThread::State {
    std::atomic<bool> terminated{false};
    bool finished = false; // under gLock
    bool started = false;
};

void SetMainThread() noexcept
{
    std::lock_guard<std::mutex> g(gLock);
    gMainThread = std::this_thread::get_id();
}

bool IsMainThread() noexcept
{
    std::lock_guard<std::mutex> g(gLock);
    return std::this_thread::get_id() == gMainThread;
}

void SetWakeMainThread(std::function<void()> wake)
{
    std::lock_guard<std::mutex> g(gLock);
    gWake = std::move(wake);
}

bool CheckSynchronize()
{
    bool ran = false;
    for (;;) {
        SyncRequest *req;
        {
            std::lock_guard<std::mutex> g(gLock);
            if (gPending.empty())
                break;
            req = gPending.front();
            gPending.pop_front();
        }
        try {
            (*req->call)();
        } catch (...) {
            req->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> g(gLock);
            req->done = true;
        }
        gChanged.notify_all();
        ran = true;
    }
    return ran;
}

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
            CheckSynchronize();
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
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> g(gLock);
        gPending.push_back(&req);
        wake = gWake;
    }
    gChanged.notify_all(); // a main thread inside WaitFor
    if (wake)
        wake();
    std::unique_lock<std::mutex> g(gLock);
    gChanged.wait(g, [&] { return req.done; });
    g.unlock();
    if (req.error)
        std::rethrow_exception(req.error);
}
