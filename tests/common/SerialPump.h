// Waiting in serial tests without an event loop: the test thread is the main
// thread and runs the event thread's hand-overs itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "Thread.h"
#include "XComDrv.h"

// Runs hand-overs on this (main) thread until `done` holds or `ms` pass.
inline bool PumpUntil(const std::function<bool()> &done, int ms = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        CheckSynchronize();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    CheckSynchronize();
    return done();
}

// Until at least `n` bytes are queued on the open component.
inline bool WaitQueued(TCustomComm &c, std::uint32_t n, int ms = 3000)
{
    return PumpUntil([&] { return c.QueueCount(0) >= n; }, ms);
}
