// A thread class with a synchronize call: the thread hands a call to the main
// thread and blocks until it has run there. The main thread runs pending
// calls in CheckSynchronize (the application connects the wake-up hook, or
// on Linux MainLoopFd, to its event loop) and while it waits for a thread to
// end, so destroying a thread on the main thread never deadlocks against a
// pending call.
#pragma once

#include <functional>
#include <thread>

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

// Main-thread side. The main thread is the one that started the program,
// unless SetMainThread says otherwise.
void SetMainThread() noexcept;
bool IsMainThread() noexcept;
// Runs every pending synchronized call and serves the watched sources that
// signalled; true if anything ran. Main thread only.
bool CheckSynchronize();
// Called from the waiting thread each time a call becomes pending. Must be
// cheap and thread-safe (e.g. post an event to the GUI loop).
void SetWakeMainThread(std::function<void()> wake);

// Linux: a descriptor for the application's event loop to watch for
// reading; whenever it is readable, call CheckSynchronize. It signals both
// pending calls and arrivals on the watched sources below, so the main
// thread is woken by an arrival itself and can serve it at once instead of
// waiting for another thread to hand it over. Created on the first call;
// -1 where the platform has none (then use the wake-up hook). Main thread.
int MainLoopFd();

// A descriptor the main loop watches for the caller, edge-triggered: after
// each new readiness of `fd` (input, hang-up) CheckSynchronize calls
// `serve` once, on the main thread. Returns 0, and watches nothing, unless
// MainLoopFd has been asked for. The watch ends by itself when `fd` is
// closed. Thread-safe; `serve` runs on the main thread only.
unsigned WatchInMainLoop(int fd, std::function<void()> serve);
void UnwatchInMainLoop(unsigned id);
// Has the main loop call the source's `serve` soon, as if its descriptor had
// signalled. Any thread; an unknown id is ignored.
void ServeInMainLoop(unsigned id);
