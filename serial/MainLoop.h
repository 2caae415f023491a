// The main loop's side of the threads' hand-over: the application connects
// the wake-up hook, or on Linux MainLoopFd, to its event loop and calls
// CheckSynchronize when woken; TThread (Thread.h) hands calls to it.
#pragma once

#include <functional>

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
