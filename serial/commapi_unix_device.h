// Private to the Linux comm layer: the handle table, event objects and the
// open device with its receive queue and wait thread, shared by the files
// commapi_unix_*.cpp.
#pragma once

#include "commapi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace commlayer::detail {

using Clock = std::chrono::steady_clock;

constexpr DWORD kMaxDword = 0xFFFFFFFFu;
constexpr DWORD kDefaultInQueue = 4096;
constexpr DWORD kMaxQueue = 65536;
constexpr DWORD kErrorTimeout = 1460; // Windows' ERROR_TIMEOUT

// OVERLAPPED.Internal: 0 = done, kStatusPending = still running, anything
// else = failed with (value & 0xFFFF) as the error code.
constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::uintptr_t kStatusFailed = 0xC0000000u;

// Sets the calling thread's last error and returns FALSE.
BOOL Fail(DWORD code);
// True when a fault was injected for `call` (and uses it up).
bool FaultHit(const char *call);

int PollMs(std::optional<Clock::time_point> deadline);
std::optional<Clock::time_point> DeadlineAfter(DWORD ms);

// ---------------------------------------------------------------- queue

// Ring buffer with a logical capacity that may be lowered below what it
// holds (SetupComm discards nothing); Room() is 0 until it drains.
class ByteQueue {
public:
    explicit ByteQueue(std::size_t capacity) : buf_(capacity), cap_(capacity) {}

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return cap_; }
    std::size_t Room() const { return size_ < cap_ ? cap_ - size_ : 0; }
    void Push(const unsigned char *p, std::size_t n);
    std::size_t Pop(unsigned char *out, std::size_t n);
    void Clear() { head_ = size_ = 0; }
    void SetCapacity(std::size_t cap);

private:
    void Relayout(std::size_t storage);

    std::vector<unsigned char> buf_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::size_t cap_;
};

// ---------------------------------------------------------------- objects

struct Event {
    bool manualReset = true;
    bool signalled = false;
};

struct Device;

struct Object {
    std::shared_ptr<Event> event;
    std::shared_ptr<Device> device;
};

// One lock for the handle table and every event's state; one condvar wakes
// all waiters (they re-check their own objects). Lock order: a device's
// mutex may be held while taking HandleLock(), never the other way round.
std::mutex &HandleLock();
std::condition_variable &EventChanged();
HANDLE AddHandleLocked(Object obj);
// The object behind `h`, removed from the table; false when there is none.
bool TakeHandle(HANDLE h, Object &obj);
std::shared_ptr<Device> FindDevice(HANDLE h);
void SignalEvent(HANDLE h);
// Set while PumpInput runs (or a WaitersLeftAsleep lives): events set then
// do not wake the threads that wait for them inline (the caller acts first).
extern thread_local bool tLeaveInlineWaitersAsleep;
// The handle whose queue the calling thread takes as it is (FreshQueue), and
// when PumpInput last read a device dry on this thread.
extern thread_local HANDLE tFreshQueue;
extern thread_local Clock::time_point tReadDryAt;
constexpr auto kFreshFor = std::chrono::microseconds(200);
void UnsignalEvent(HANDLE h);
// The device whose pending WaitCommEvent completes the event `ev`, so that a
// thread waiting for `ev` can watch the tty itself (see Device::WaitInline).
void NotePendingWait(HANDLE ev, const std::shared_ptr<Device> &dev);
void ForgetPendingWait(HANDLE ev);

// ---------------------------------------------------------------- device

struct PendingWait {
    DWORD *mask = nullptr;
    OVERLAPPED *ov = nullptr;
};

struct Device {
    // -1 once the device hung up and was let go, so that the node is free
    // again at once; only the wait thread (or ShutDownDevice after it has
    // ended) changes it, and only under `mu` while no call is in flight.
    int fd = -1;
    int wakeFd = -1; // tells the wait thread to look at its state again
    int stopFd = -1; // written once at close, never drained
    std::string lockFile; // our UUCP lock file, empty when none was taken
    bool pty = false;     // a pseudo-terminal: its output queue always reads 0
    std::thread thread;

    std::mutex mu;
    std::condition_variable cv; // queue, death, completion and close changes
    bool closing = false;
    bool dead = false;
    int inFlight = 0;
    ByteQueue rx{kDefaultInQueue};
    bool rxPaused = false;       // the wait thread stopped asking for POLLIN
    bool threadWatching = false; // the wait thread asks the tty for input
    // A thread waits for port events inline (WaitInline): the wait thread
    // leaves input to it and watches only for a hang-up, until a caller
    // that blocks for input needs it again (EnsureWatchedLocked).
    bool standDown = false;
    int inlineWaiters = 0;
    bool lentToMainLoop = false; // see commlayer::LendToMainLoop
    int inputWaiters = 0;        // callers blocked until input comes
    std::vector<unsigned char> readBuf = std::vector<unsigned char>(16384);
    DWORD outQueue = 0;
    DWORD mask = 0;
    DWORD latched = 0;
    std::optional<PendingWait> pending;
    std::uint64_t completions = 0; // pending waits completed so far
    DCB dcb{};
    COMMTIMEOUTS timeouts{};

    void Wake() const;
    void WakeIfPausedLocked();
    // Writes the result into the caller's records; only under `mu`.
    void CompletePendingLocked(bool ok, DWORD value);
    void LatchLocked(DWORD events);
    void MarkDeadLocked();
    void OnBytesLocked(const unsigned char *p, std::size_t n);
    // Moves what the tty holds into the queue (as much as fits). Reading
    // under `mu` keeps the bytes in order whichever thread reads. True when
    // the read filled all the room asked for, so more may be waiting.
    bool ReadTtyLocked();
    // Reads until the tty is dry or the queue full; false when it stopped
    // for want of room.
    bool DrainTtyLocked();
    // Before a caller blocks for input: someone must be watching the tty.
    void EnsureWatchedLocked();
    // The wait thread is the one to read the tty now.
    bool WaitThreadReadsLocked() const;
    // A thread about to wait for the completion of this device's pending
    // WaitCommEvent watches the tty itself, so an arrival wakes it directly
    // instead of going through the wait thread. Returns after one wake-up
    // (data, hang-up, or `wakeFd` written by SignalEvent); false when it
    // cannot wait so (then wait as usual).
    bool WaitInline(int wakeFd);
    // Gives the tty back: our exclusive flag, flock and lock file go, the fd
    // is closed. Under `mu`, with no call in flight.
    void ReleaseFdLocked();
    void WaitLoop();
};

// Marks a caller blocked until input comes (under the device's lock): the
// wait thread watches the tty for it, even on a device lent to a main loop.
struct InputWaiter {
    explicit InputWaiter(Device &d) : d(d)
    {
        ++d.inputWaiters;
        d.EnsureWatchedLocked();
    }
    ~InputWaiter() { --d.inputWaiters; }
    InputWaiter(const InputWaiter &) = delete;
    InputWaiter &operator=(const InputWaiter &) = delete;
    Device &d;
};

// Stops the wait thread, waits for calls in flight and lets the tty go.
void ShutDownDevice(const std::shared_ptr<Device> &dev);

// A call on a device: holds its lock and keeps the fd open until the call
// has left (CloseHandle and a hang-up both wait for it).
class DeviceCall {
public:
    const std::shared_ptr<Device> &Shared() const { return dev_; }
    explicit DeviceCall(HANDLE h);
    ~DeviceCall();
    DeviceCall(const DeviceCall &) = delete;
    DeviceCall &operator=(const DeviceCall &) = delete;

    explicit operator bool() const { return dev_ != nullptr; }
    Device *operator->() const { return dev_.get(); }
    Device &operator*() const { return *dev_; }

    std::unique_lock<std::mutex> lk;

private:
    std::shared_ptr<Device> dev_;
};

// ---------------------------------------------------------------- ports

// Opens and checks a tty for our exclusive use: refused (ERROR_ACCESS_DENIED)
// while another open file description holds it, with or without a lock;
// then takes TIOCEXCL, flock and a UUCP lock file. Returns the fd or -1 with
// the last error set; `lockFile` receives the lock file taken (or "").
int OpenExclusive(const std::string &path, std::string &lockFile);
// Undoes what OpenExclusive took, closes `fd`.
void ReleaseExclusive(int fd, std::string &lockFile);

} // namespace commlayer::detail
