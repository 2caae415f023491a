// A thread class with a synchronize call: the thread hands a call to the main
// thread and blocks until it has run there. The main thread runs pending
// calls in CheckSynchronize (MainLoop.h) and while it waits for a thread to
// end, so destroying a thread on the main thread never deadlocks against a
// pending call.
#pragma once

#include <functional>
#include <thread>

#include "MainLoop.h"

class TThread {
public:
    TThread();
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;
    // Marks terminated and waits for the body to end (serving synchronized
    // calls when run on the main thread).
    virtual ~TThread();

    void Start();
    void Terminate() noexcept;
    bool Finished() const noexcept;
    // Waits until the body has ended; on the main thread, runs synchronized
    // calls meanwhile. Must not be called from the thread itself.
    void WaitFor();
    bool IsCurrent() const noexcept;

protected:
    virtual void Execute() = 0;
    // Runs `call` on the main thread and waits for it; an exception thrown
    // there is raised again here. On the main thread itself: runs directly.
    void Synchronize(const std::function<void()> &call);

private:
    struct State;
    State *FState;
    std::thread FThread;
};
