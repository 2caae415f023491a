// The event thread: one per open port, it waits for port events and hands
// them to the component (on the main thread when Synchronize is set).
#include "XComEventThread.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

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
    if (FStop && FWait && FStop != INVALID_HANDLE_VALUE && FWait != INVALID_HANDLE_VALUE)
        Start();
}

TCommEventThread::~TCommEventThread()
{
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

void TCommEventThread::Execute()
{
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = FWait;
    const HANDLE list[2] = {FStop, FWait};
    bool pending = false;
    for (;;) {
        // Stopped from inside its own delivery: the handle may already be
        // closed and its value reused by the next port, so touch it no more.
        if (WaitForSingleObject(FStop, 0) == WAIT_OBJECT_0)
            break;
        FMask = 0;
        if (!WaitCommEvent(FHandle, &FMask, &ov)) {
            // A wait that cannot even start would leave the signal as it
            // was and turn this loop into a spin: end quietly instead.
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            pending = true;
        }
        if (WaitForMultipleObjects(2, list, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        pending = false;
        DWORD transferred = 0;
        if (!GetOverlappedResult(FHandle, &ov, &transferred, FALSE))
            break;
        TCustomComm *comm = FComm.load();
        if (comm && comm->Synchronize())
            Synchronize([this] { DoEvent(true); });
        else
            DoEvent(false);
    }
    if (!pending)
        return;
    SetCommMask(FHandle, 0);
    // A wait released by the mask change may complete a moment later on
    // some platforms; the record lives on this stack, so let it settle.
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
