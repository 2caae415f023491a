// The serial component's own additions to its platform seam, in its own
// types: nothing here names the Win32 API, so the component's public header
// can include it. The seam itself (the Win32 comm API the component is
// written against) is the private commapi.h.
#pragma once

#include <cstdint>
#include <string>

namespace commlayer {

// An open port or event object of the seam: the platform's own HANDLE on
// Windows, a small number of our layer elsewhere.
using PortHandle = void *;

// The value of a handle that is not open (INVALID_HANDLE_VALUE).
inline PortHandle NoPort() noexcept
{
    return reinterpret_cast<PortHandle>(static_cast<std::intptr_t>(-1));
}

// Where COM names point: "COMn" (n = 1..100) maps through a fixed table to a
// device under this root (default "/dev"). Tests point it at a folder of links.
void SetDeviceRoot(const std::string &root);
std::string DeviceRoot();

// The OS path that CreateFileA opens for a given path ("\\.\COM5" ->
// "/dev/ttyUSB0"; "\\./dev/pts/3" and "/dev/pts/3" -> "/dev/pts/3"). Empty
// when a COM number has no device in the table. On Windows: the path itself.
std::string MapDevicePath(const std::string &path);

// Looks at a port without taking it: opens `path` (as CreateFileA would)
// without changing the line in any way and closes it again. The platform's
// error code: 0 (ERROR_SUCCESS) when it opened, 5 (ERROR_ACCESS_DENIED)
// when the device exists but is busy or refused, another code when there
// is no such port.
std::uint32_t ProbeDevice(const std::string &path);

// Where the UUCP lock files ("LCK..ttyUSB0") live while a port is held
// (default "/run/lock"). A folder we cannot write to is skipped quietly.
// Tests point it at a folder of their own. No effect on Windows.
void SetLockDir(const std::string &dir);
std::string LockDir();

// Block until the device has input queued (which = 0) or room for output
// (which = 1), or `ms` milliseconds pass (0xFFFFFFFF: no limit). Lets Send
// and Read wait on the device instead of spinning. True when the condition
// holds; false with the last error ERROR_TIMEOUT when the time ran out,
// with another code when the device cannot be waited on (gone, closed).
bool WaitCommIo(PortHandle h, std::uint32_t which, std::uint32_t ms);

// For a main loop that watches ports itself (Linux): the descriptor whose
// readiness means input or a hang-up on the device, -1 when there is none
// (Windows, a closed handle, a device already let go).
int PollableFd(PortHandle h);

// While lent, a main loop watches the device and reads new input itself
// (PumpInput): a thread waiting inline for a port event no longer watches
// for input, so an arrival wakes the main loop alone. A caller that blocks
// for input still has it read for it at once. No effect on Windows.
void LendToMainLoop(PortHandle h, bool lent);

// Moves what the device holds into the receive queue now, on the calling
// thread, latching the receive events as the device's own watcher would,
// so a pending WaitCommEvent may complete here. Unless `wakeWaiters`, a
// thread waiting inline for that completion is left asleep: the caller acts
// on the event first, then wakes it with SetEvent. Never blocks. False when
// the handle is not an open device, or when the receive queue filled up
// before the device was read dry; true otherwise. No effect on Windows.
bool PumpInput(PortHandle h, bool wakeWaiters = false);

// While one lives, a port event that the calling thread's calls complete
// (a WaitCommEvent that finds one latched) does not wake a thread waiting
// inline for it: the caller has it delivered itself, as PumpInput does. No
// effect on Windows.
class WaitersLeftAsleep {
public:
    WaitersLeftAsleep();
    ~WaitersLeftAsleep();
    WaitersLeftAsleep(const WaitersLeftAsleep &) = delete;
    WaitersLeftAsleep &operator=(const WaitersLeftAsleep &) = delete;

private:
    bool FPrevious;
};

// While one lives, the calling thread's counts of `h` (ClearCommError) that
// come within 0.2 ms of it reading the device dry (PumpInput) take the
// receive queue as it is, as a driver's queue on Windows trails the line by
// a few character times; later ones read the device first, so a handler
// that counts until more has come sees it. No effect on Windows.
class FreshQueue {
public:
    explicit FreshQueue(PortHandle h);
    ~FreshQueue();
    FreshQueue(const FreshQueue &) = delete;
    FreshQueue &operator=(const FreshQueue &) = delete;

private:
    PortHandle FPrevious;
};

// Fault injection for tests: the next `count` calls of the named layer call
// ("SetCommState", "SetupComm", "SetCommTimeouts", "GetCommState", ...) fail
// with ERROR_GEN_FAILURE. ClearFaults() drops all. No effect on Windows.
void InjectFault(const char *call, int count = 1);
void ClearFaults();

} // namespace commlayer
