// The event thread: one per open port, it waits for port events and hands
// them to the component (on the main thread when Synchronize is set).
// Where the main loop watches the port itself (MainLoopFd), an arrival wakes
// the main thread directly: it takes the completed wait, runs the handlers
// and arms the next wait in the thread's place while the thread sleeps on,
// so an arrival costs one wake-up instead of two hops: the port is then the
// main loop's to read, and the thread wakes only for other events, a hang-up
// or the stop signal. The thread's loop is the same either way: one wait
// armed at a time, the next only after the handlers of the last have run,
// the stop signal first.
#include "XComEventThread.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

using namespace commlayer;

namespace {

// Every event kind but output-empty, which Send reports itself.
constexpr DWORD EventThreadMask = 0x1FFB;

// Event threads stopped from inside their own delivery: they cannot be
// joined there, so they wait here until they have ended. Never destroyed at
// exit on purpose (a thread may still be blocked in a hand-over then).
std::mutex gRetiredLock;
std::vector<TCommEventThread *> *gRetired = new std::vector<TCommEventThread *>;

} // namespace

TCommEventThread::TCommEventThread(TCustomComm *comm) : FComm(comm), FHandle(comm->FHandle)
{
    FStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    FWait = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    SetCommMask(FHandle, EventThreadMask);
    if (FStop && FWait && FStop != INVALID_HANDLE_VALUE && FWait != INVALID_HANDLE_VALUE) {
        FWatch = WatchInMainLoop(commlayer::PollableFd(FHandle), [this] { ServeFromMain(); });
        {
            std::lock_guard<std::mutex> lk(FTurnLock);
            LendLocked(comm); // before the first arrival, not at the first wait
        }
        Start();
    }
}

TCommEventThread::~TCommEventThread()
{
    StopWatching();
    SignalStop();
    Sleep(0);
    Terminate();
    WaitFor();
    // Released here only, whichever way the body ended.
    if (FStop && FStop != INVALID_HANDLE_VALUE)
        CloseHandle(FStop);
    if (FWait && FWait != INVALID_HANDLE_VALUE)
        CloseHandle(FWait);
}

void TCommEventThread::SignalStop()
{
    if (FStop && FStop != INVALID_HANDLE_VALUE)
        SetEvent(FStop);
}

void TCommEventThread::StopWatching()
{
    unsigned watch;
    bool lent;
    {
        std::lock_guard<std::mutex> lk(FTurnLock);
        watch = std::exchange(FWatch, 0u);
        lent = std::exchange(FLent, false);
    }
    if (watch == 0)
        return; // never watched, or already let go (the handle may be closed since)
    UnwatchInMainLoop(watch);
    if (lent)
        commlayer::LendToMainLoop(FHandle, false);
}

void TCommEventThread::LendLocked(TCustomComm *comm)
{
    const bool lend = FWatch != 0 && comm && comm->Synchronize();
    if (lend != FLent) {
        FLent = lend;
        commlayer::LendToMainLoop(FHandle, lend);
    }
}

bool TCommEventThread::Arm()
{
    FMask = 0;
    // A wait that cannot even start would leave the signal as it was and
    // turn the loop into a spin: the thread ends quietly instead.
    return WaitCommEvent(FHandle, &FMask, &FOverlapped) || GetLastError() == ERROR_IO_PENDING;
}

void TCommEventThread::ServeFromMain()
{
    std::unique_lock<std::mutex> lk(FTurnLock);
    TCustomComm *comm = FComm.load();
    if (!comm)
        return;
    if (!comm->Synchronize()) {
        // Delivered on the event thread: it watches the port again from now
        // on, and is woken for what came before it did.
        LendLocked(comm);
        commlayer::PumpInput(FHandle, true);
        // A wait that completed quietly on this thread's last turn.
        if (FTurn == TTurn::Waiting && WaitForSingleObject(FWait, 0) == WAIT_OBJECT_0)
            SetEvent(FWait);
        return;
    }
    if (FTurn != TTurn::Waiting) {
        // Between two waits: asked again once the next one is armed.
        FMissedArrival = true;
        return;
    }
    const bool drained = commlayer::PumpInput(FHandle);
    // The same order as the thread's own wait: stop first, then the event.
    const HANDLE list[2] = {FStop, FWait};
    DWORD transferred = 0;
    if (WaitForMultipleObjects(2, list, FALSE, 0) != WAIT_OBJECT_0 + 1 ||
        !GetOverlappedResult(FHandle, &FOverlapped, &transferred, FALSE)) {
        // Completed here but not ours to deliver: the thread sees to it.
        if (WaitForSingleObject(FWait, 0) == WAIT_OBJECT_0)
            SetEvent(FWait);
        return;
    }
    FTurn = TTurn::MainDelivering;
    std::exception_ptr error;
    lk.unlock();
    try {
        const FreshQueue fresh(FHandle); // the handlers count what was just read
        DoEvent(true);
    } catch (...) {
        error = std::current_exception();
    }
    lk.lock();
    FTurn = TTurn::Running;
    if (error) {
        FEnd = true; // a handler's exception ends the thread
        SetEvent(FWait);
    } else if (WaitForSingleObject(FStop, 0) != WAIT_OBJECT_0) {
        // Wait again at once, as the thread would after a hand-over: the
        // next arrival finds a wait armed, and the thread sleeps on, also
        // when the wait completes at once (a handler's count took more off
        // the device).
        bool armed;
        {
            const commlayer::WaitersLeftAsleep quiet;
            armed = Arm();
        }
        if (armed) {
            FTurn = TTurn::Waiting;
            LendLocked(FComm.load()); // a handler may have changed Synchronize
            const bool fired = WaitForSingleObject(FWait, 0) == WAIT_OBJECT_0;
            if (fired && !FLent)
                SetEvent(FWait); // the thread delivers from now on: wake it for this one
            // What came meanwhile, or stayed in the device for want of room
            // in the queue, is looked at on the next turn: the watch only
            // signals new arrivals.
            if (std::exchange(FMissedArrival, false) || !drained || (fired && FLent))
                ServeInMainLoop(FWatch);
        } else {
            FEnd = true;
            SetEvent(FWait);
        }
    }
    if (FAwaitingMain)
        FTurnChanged.notify_one();
}

void TCommEventThread::Execute()
{
    FOverlapped.hEvent = FWait;
    const HANDLE list[2] = {FStop, FWait};
    bool armed = false; // a wait is armed whose end this thread has not seen
    for (;;) {
        if (!armed) {
            // Stopped from inside its own delivery: the handle may already be
            // closed and its value reused by the next port, so touch it no more.
            if (WaitForSingleObject(FStop, 0) == WAIT_OBJECT_0 || !Arm())
                break;
            armed = true;
            {
                std::lock_guard<std::mutex> lk(FTurnLock);
                FTurn = TTurn::Waiting;
                LendLocked(FComm.load());
                // The main loop saw an arrival while no wait was armed: ask
                // it to look again now.
                if (std::exchange(FMissedArrival, false))
                    ServeInMainLoop(FWatch);
            }
        }
        const DWORD woke = WaitForMultipleObjects(2, list, FALSE, INFINITE);
        {
            std::unique_lock<std::mutex> lk(FTurnLock);
            // The main thread may be running the handlers of this event.
            FAwaitingMain = true;
            FTurnChanged.wait(lk, [this] { return FTurn != TTurn::MainDelivering; });
            FAwaitingMain = false;
            const bool waiting = FTurn == TTurn::Waiting;
            FTurn = TTurn::Running;
            if (FEnd || woke != WAIT_OBJECT_0 + 1) {
                armed = waiting && !FEnd;
                break;
            }
            if (waiting && WaitForSingleObject(FWait, 0) != WAIT_OBJECT_0) {
                // Delivered by the main thread, which has armed the next wait.
                FTurn = TTurn::Waiting;
                continue;
            }
            armed = false;
        }
        DWORD transferred = 0;
        if (!GetOverlappedResult(FHandle, &FOverlapped, &transferred, FALSE))
            break;
        TCustomComm *comm = FComm.load();
        if (comm && comm->Synchronize())
            Synchronize([this] { DoEvent(true); });
        else
            DoEvent(false);
    }
    if (!armed || WaitForSingleObject(FWait, 0) == WAIT_OBJECT_0)
        return;
    SetCommMask(FHandle, 0);
    // A wait released by the mask change may complete a moment later on
    // some platforms and write into the record; let it settle.
    WaitForSingleObject(FWait, 1000);
}

void TCommEventThread::DoEvent(bool handedOver)
{
    TCustomComm *comm = FComm.load();
    if (FMask == 0 || !comm)
        return;
    // Marks a hand-over running on the main thread, so that a Close from
    // its handler knows it must not wait for this thread.
    struct Delivery {
        TCustomComm *c;
        bool on;
        Delivery(TCustomComm *c, bool on) : c(c), on(on) { if (on) ++c->FDelivering; }
        ~Delivery() { if (on) --c->FDelivering; }
    } delivery(comm, handedOver);
    comm->HandleEvents(TDeviceEvents::FromBits(static_cast<std::uint16_t>(FMask & 0xFFFF)));
}

void Retire(TCommEventThread *t)
{
    std::lock_guard<std::mutex> g(gRetiredLock);
    gRetired->push_back(t);
}

void ReapRetired()
{
    std::vector<TCommEventThread *> done;
    {
        std::lock_guard<std::mutex> g(gRetiredLock);
        auto it = std::stable_partition(gRetired->begin(), gRetired->end(),
                                        [](TCommEventThread *t) { return !t->Finished(); });
        done.assign(it, gRetired->end());
        gRetired->erase(it, gRetired->end());
    }
    for (TCommEventThread *t : done)
        delete t;
}
