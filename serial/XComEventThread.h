// Private to the component: the event thread of an open port, and the place
// where threads stopped from inside their own delivery wait to be reaped.
#pragma once

#include <atomic>

#include "Thread.h"
#include "XComDrv.h"

class TCommEventThread : public TThread {
public:
    // Selects the port events and starts waiting for them.
    explicit TCommEventThread(TCustomComm *comm);
    // Signals stop and waits until the body has ended, serving hand-overs.
    ~TCommEventThread() override;

    void SignalStop();
    // The component is going away while this thread is stuck in its delivery.
    void Detach() { FComm.store(nullptr); }

protected:
    void Execute() override;

private:
    void DoEvent(bool handedOver);

    std::atomic<TCustomComm *> FComm;
    HANDLE FHandle;
    HANDLE FStop = nullptr;
    HANDLE FWait = nullptr;
    DWORD FMask = 0;
};

// A thread stopped from inside its own delivery cannot be joined there: it
// is kept here and deleted by a later ReapRetired once it has ended.
void Retire(TCommEventThread *t);
void ReapRetired();
