// Notices that ports may have come or gone. Every notice is only a hint:
// it is debounced, and the owner enumerates again and acts on the
// difference. Nothing runs between notices: Linux listens to the kernel's
// uevents and watches the device folder with inotify, both through the
// program's main loop (Thread.h, WatchInMainLoop); Windows registers a
// hidden window for the port interface and receives WM_DEVICECHANGE.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct TPortMonitorOptions {
    std::string devRoot;  // empty: the serial component's device root
    int quietMs = 300;    // a change is reported this long after the last notice...
    int longestMs = 1500; // ...or this long after the first of a burst that goes on
    // Linux: -2 opens the kernel's uevent socket; -1 none; any other is a
    // descriptor of the caller's (a test's) that carries uevent datagrams.
    int ueventFd = -2;
};

class TPortMonitor {
public:
    // `changed` runs on the main thread, once per debounced burst of notices.
    // On Linux the main loop must watch MainLoopFd (else nothing is noticed).
    explicit TPortMonitor(std::function<void()> changed, TPortMonitorOptions options = {});
    ~TPortMonitor();
    TPortMonitor(const TPortMonitor &) = delete;
    TPortMonitor &operator=(const TPortMonitor &) = delete;

    // What it listens to: "uevent", "inotify", "uevent+inotify", "devicechange", "" for nothing.
    std::string Sources() const;
    // `changed` runs once more in `ms`, without a notice (a look that must
    // be repeated for a while, such as who took a port just plugged in).
    void Remind(int ms);

    struct State;

private:
    std::unique_ptr<State> F;
};

// The debounce rule, apart from any clock: tests drive it with their own.
class TDebounce {
public:
    TDebounce(std::int64_t quietMs, std::int64_t longestMs) : FQuiet(quietMs), FLongest(longestMs) {}
    // A notice at `now`; returns when the change is due.
    std::int64_t Notice(std::int64_t now);
    // True once, when a pending change is due at `now`.
    bool Fire(std::int64_t now);
    bool Pending() const { return FFirst >= 0; }
    std::int64_t DueAt() const;

private:
    std::int64_t FQuiet, FLongest;
    std::int64_t FFirst = -1, FLast = -1;
};

// A kernel uevent datagram about a tty or a USB serial device coming or going.
bool IsPortUevent(const char *data, std::size_t size);
// A name in the device folder that may be a serial port ("ttyUSB0", "rfcomm0").
bool IsPortNodeName(std::string_view name);
