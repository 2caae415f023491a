// The Windows side of the seam. The component calls the real Win32 comm API
// here, so only our own additions need a body, and most of them have nothing
// to do: Windows resolves "\\.\COMn" itself and has no fault injection.
#include "commapi.h"

#include <mutex>

namespace commlayer {

namespace {
std::mutex gRootLock;
std::string gRoot; // kept for DeviceRoot(); Windows never looks at it
} // namespace

void SetDeviceRoot(const std::string &root)
{
    std::lock_guard<std::mutex> g(gRootLock);
    gRoot = root;
}

std::string DeviceRoot()
{
    std::lock_guard<std::mutex> g(gRootLock);
    return gRoot;
}

std::string MapDevicePath(const std::string &path)
{
    return path;
}

std::uint32_t ProbeDevice(const std::string &path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        const DWORD e = GetLastError();
        return e == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : e;
    }
    CloseHandle(h);
    return ERROR_SUCCESS;
}

// Windows opens a COM port exclusively itself; there are no lock files.
void SetLockDir(const std::string & /*dir*/) {}

std::string LockDir()
{
    return {};
}

// The event thread owns the port's only WaitCommEvent, so Send and Read
// cannot wait for a device event of their own. They poll the queue counts
// instead, one Sleep(1) at a time (a timer tick, up to ~16 ms, on Windows
// without a raised timer resolution), which still beats spinning on the
// driver. Input: true once anything is queued. Output: true when the output
// queue is empty (the driver has room; a write that still moves nothing was
// bounded by the write time-out) or has shrunk since the call began.
// ClearCommError also resets the driver's error state, as QueueCount does.
bool WaitCommIo(PortHandle h, std::uint32_t which, std::uint32_t ms)
{
    if (which > 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const DWORD start = GetTickCount();
    bool first = true;
    DWORD outAtStart = 0;
    for (;;) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(h, &errors, &stat))
            return false; // the device is gone or the handle is bad: keep its error code
        if (which == 0) {
            if (stat.cbInQue > 0)
                return true;
        } else if (stat.cbOutQue == 0 || (!first && stat.cbOutQue < outAtStart)) {
            return true;
        }
        if (first) {
            outAtStart = stat.cbOutQue;
            first = false;
        }
        if (ms != INFINITE && GetTickCount() - start >= ms) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        Sleep(1);
    }
}

// The message loop is woken through the posted hand-over on Windows.
int PollableFd(PortHandle) { return -1; }
void LendToMainLoop(PortHandle, bool) {}
bool PumpInput(PortHandle, bool) { return false; }
FreshQueue::FreshQueue(PortHandle) : FPrevious(nullptr) {}
FreshQueue::~FreshQueue() = default;
WaitersLeftAsleep::WaitersLeftAsleep() : FPrevious(false) {}
WaitersLeftAsleep::~WaitersLeftAsleep() = default;

void InjectFault(const char * /*call*/, int /*count*/) {}

void ClearFaults() {}

} // namespace commlayer
