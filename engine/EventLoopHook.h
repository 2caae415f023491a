// How a front-end serves the serial port's hand-overs in its own event loop.
// The serial component hands data events to the main thread; the front-end
// only has to wake that thread and call ServeSerial there. Two ways:
//  - watch SerialLoopFd() for reading (Linux), and call ServeSerial whenever
//    it is readable: an arrival wakes the loop directly;
//  - where it is -1, or no loop can watch a descriptor: SetSerialWake with a
//    call that posts to the loop (a message, a queued call), which then
//    calls ServeSerial.
// The thread calling SerialLoopFd or SetSerialWake becomes the main thread.
#pragma once

#include <functional>

// A descriptor to watch for reading, or -1 where the platform has none.
// Created on the first call; call it before any port opens.
int SerialLoopFd();
// `wake` is called, from any thread, each time a hand-over is pending; it
// must be cheap and thread-safe. Null: no more wake-ups.
void SetSerialWake(std::function<void()> wake);
// Runs every pending hand-over on the main thread; true if anything ran.
bool ServeSerial();
