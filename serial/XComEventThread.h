// Private to the component: the event thread of an open port, and the place
// where threads stopped from inside their own delivery wait to be reaped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "Thread.h"
#include "XComDrv.h"
#include "commapi.h"

class TCommEventThread : public TThread {
public:
    // Selects the port events and starts waiting for them.
    explicit TCommEventThread(TCustomComm *comm);
    // Signals stop and waits until the body has ended, serving hand-overs.
    ~TCommEventThread() override;

    void SignalStop();
    // The component is going away while this thread is stuck in its delivery.
    void Detach() { FComm.store(nullptr); }
    // Ends the main loop's watch of the port (main thread, before the handle
    // is closed).
    void StopWatching();

protected:
    void Execute() override;

private:
    void DoEvent(bool handedOver);
    // The main loop saw the port signal: when this thread waits for an event
    // that has now come, run its hand-over here at once instead of waking
    // this thread to ask for it.
    void ServeFromMain();

    // Arms the next event wait; false when it cannot even start.
    bool Arm();
    // Lends the port to the main loop while it is watched there and the
    // handlers run on the main thread; otherwise this thread reads it.
    void LendLocked(TCustomComm *comm);

    // Who runs the event thread's loop at the moment: the thread itself, or
    // nobody while a wait is armed (either side may take its completion),
    // or the main thread running the handlers of one it took.
    enum class TTurn { Running, Waiting, MainDelivering };

    std::atomic<TCustomComm *> FComm;
    commlayer::HANDLE FHandle;
    commlayer::HANDLE FStop = nullptr;
    commlayer::HANDLE FWait = nullptr;
    commlayer::DWORD FMask = 0;
    commlayer::OVERLAPPED FOverlapped{};
    unsigned FWatch = 0;
    // All below under FTurnLock.
    std::mutex FTurnLock;
    std::condition_variable FTurnChanged;
    TTurn FTurn = TTurn::Running;
    bool FAwaitingMain = false;
    bool FMissedArrival = false;
    bool FEnd = false; // the main thread's delivery ended the loop
    bool FLent = false;
};

// A thread stopped from inside its own delivery cannot be joined there: it
// is kept here and deleted by a later ReapRetired once it has ended.
void Retire(TCommEventThread *t);
void ReapRetired();
