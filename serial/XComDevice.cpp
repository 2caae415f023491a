// The component's device operations: opening and probing by name, closing,
// sending and reading with time-outs, and the delivery of port events.
// Its settings (the properties, the records built from them) are
// XComDrv.cpp's; of the settings groups this file reads only the buffers'
// stored output size and time-outs.
#include "XComDrv.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "XComEventThread.h"
#include "commapi.h"

using namespace commlayer;

namespace {

struct Clock {
    bool hasCounter = false;
    long double frequency = 0;
    Clock()
    {
        LARGE_INTEGER f;
        if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) {
            hasCounter = true;
            frequency = static_cast<long double>(f.QuadPart);
        }
    }
};
const Clock gClock;

} // namespace

std::uint32_t MsClock()
{
    LARGE_INTEGER c;
    if (gClock.hasCounter && QueryPerformanceCounter(&c)) {
        const long double ms = static_cast<long double>(c.QuadPart) / gClock.frequency * 1000.0L;
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::llround(ms)));
    }
    return GetTickCount();
}

TCustomComm::TCustomComm(void * /*owner*/)
    : FBuffers(std::make_unique<TCommBuffers>(this)),
      FDataControl(std::make_unique<TCommDataControl>(this)),
      FEventChars(std::make_unique<TCommEventChars>(this)),
      FTimeouts(std::make_unique<TCommTimeoutsEx>(this))
{
}

TCustomComm::~TCustomComm()
{
    FDestroying = true;
    if (Opened()) {
        StopEventThread();
        CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }
    ReapRetired();
}

bool TCustomComm::InDelivery() const
{
    return FDelivering > 0 || (FEventThread && FEventThread->IsCurrent());
}

void TCustomComm::StopEventThread()
{
    TCommEventThread *t = FEventThread;
    FEventThread = nullptr;
    if (!t)
        return;
    if (InDelivery() || t->IsCurrent()) {
        // Closing from inside a delivery: the thread cannot end while it waits
        // for this very handler, so stop it now and reap it once it has.
        t->StopWatching();
        t->SignalStop();
        t->Detach();
        Retire(t);
        return;
    }
    delete t; // serves pending hand-overs while it waits
}

bool TCustomComm::Open()
{
    if (Opened())
        RaiseDeviceError(IE_OPENED);
    ReapRetired();
    FLocks = 0;
    if (FDeviceName.find('\0') != std::string::npos)
        return false;
    const std::string path = "\\\\.\\" + FDeviceName;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr)
        return false;
    FHandle = h;
    FEventThread = new TCommEventThread(this);
    ApplyLineSettings();
    ApplyBuffers();
    ApplyTimeouts();
    return true;
}

bool TCustomComm::Probe(const std::string &deviceName)
{
    if (deviceName.find('\0') != std::string::npos)
        return false;
    // Opened and closed again at once, without touching the line; busy
    // (held by another program or by our own port object) still exists.
    const DWORD e = commlayer::ProbeDevice("\\\\.\\" + deviceName);
    return e == ERROR_SUCCESS || e == ERROR_ACCESS_DENIED;
}

void TCustomComm::Close()
{
    if (!Opened())
        RaiseDeviceError(IE_NOTOPEN);
    StopEventThread();
    CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    ReapRetired();
}

TDeviceLocks TCustomComm::DeviceLocks() const
{
    if (!Opened())
        return TDeviceLocks{dlSend, dlRead};
    return TDeviceLocks::FromBits(FLocks);
}

std::uint32_t TCustomComm::QueueCount(int which) const
{
    if (!Opened())
        RaiseDeviceError(IE_NOTOPEN);
    DWORD errors = 0;
    COMSTAT stat;
    std::memset(&stat, 0, sizeof stat);
    // When the status call fails the counts are unknown: report 0 so that
    // Send and Read reach their time-out checks.
    if (!ClearCommError(FHandle, &errors, &stat))
        return 0;
    if (which == 0)
        return stat.cbInQue;
    if (which == 1)
        return stat.cbOutQue;
    return 0;
}

namespace {
// One overlapped request, waited for to its end; the bytes it moved.
template <typename Start>
DWORD RunOverlapped(HANDLE h, Start start)
{
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!ov.hEvent || ov.hEvent == INVALID_HANDLE_VALUE)
        return 0;
    DWORD done = 0;
    // A request that fails outright never signals: waiting for it would hang.
    if (start(&done, &ov) || GetLastError() == ERROR_IO_PENDING) {
        WaitForSingleObject(ov.hEvent, INFINITE);
        if (!GetOverlappedResult(h, &ov, &done, FALSE))
            done = 0;
    } else {
        done = 0;
    }
    CloseHandle(ov.hEvent);
    return done;
}
} // namespace

std::uint32_t TCustomComm::WriteChunk(const void *buffer, std::uint32_t n)
{
    return RunOverlapped(FHandle, [&](DWORD *done, OVERLAPPED *ov) { return WriteFile(FHandle, buffer, n, done, ov); });
}

std::uint32_t TCustomComm::ReadChunk(void *buffer, std::uint32_t n)
{
    return RunOverlapped(FHandle, [&](DWORD *done, OVERLAPPED *ov) { return ReadFile(FHandle, buffer, n, done, ov); });
}

namespace {
struct LockBit {
    std::uint8_t &locks;
    std::uint8_t bit;
    LockBit(std::uint8_t &l, std::uint8_t b) : locks(l), bit(b) { locks |= bit; }
    ~LockBit() { locks = static_cast<std::uint8_t>(locks & ~bit); }
};

// Waiting on the device for the time left, instead of polling it; false when
// the device cannot be waited on at all (then waiting longer is pointless).
bool WaitTimeLeft(HANDLE h, DWORD which, std::uint32_t start, std::uint32_t timeout)
{
    const std::uint32_t elapsed = MsClock() - start;
    const std::uint32_t left = elapsed >= timeout ? 1 : timeout - elapsed + 1;
    if (commlayer::WaitCommIo(h, which, left))
        return true;
    const DWORD e = GetLastError();
    return e == ERROR_TIMEOUT || e == WAIT_TIMEOUT;
}
} // namespace

std::uint32_t TCustomComm::Send(const void *buffer, std::uint32_t count, std::uint32_t timeout)
{
    std::uint32_t result = 0;
    if (!Opened())
        RaiseDeviceError(IE_NOTOPEN);
    if (DeviceLocks().Contains(dlSend))
        RaiseDeviceError(IE_LOCKSEND);
    if (count == 0)
        return 0;
    auto *p = static_cast<const unsigned char *>(buffer);
    const std::uint32_t start = MsClock();
    while (count > 0) {
        // Unsigned on purpose: a driver queue longer than OutputSize wraps to
        // a large value and lets the remainder through.
        const std::uint32_t free = static_cast<std::uint32_t>(FBuffers->FOutputSize) - QueueCount(1);
        if (free > 0) {
            const DWORD n = std::min(free, count);
            const DWORD written = WriteChunk(p, n);
            HandleEvents(TDeviceEvents{deOutEmpty});
            if (written > 0) {
                result += written;
                count -= written;
                p += written;
                LockBit lock(FLocks, 1u << dlSend);
                if (OnSend)
                    OnSend(this);
                continue;
            }
        }
        if (MsClock() - start > timeout)
            break;
        if (!WaitTimeLeft(FHandle, 1, start, timeout))
            break;
    }
    return result;
}

std::uint32_t TCustomComm::Send(const void *buffer, std::uint32_t count)
{
    return Send(buffer, count, FBuffers->FOutputTimeout);
}

bool TCustomComm::SendString(const std::string &text)
{
    const auto len = static_cast<std::uint32_t>(text.size());
    return Send(text.data(), len, FBuffers->FOutputTimeout) == len;
}

std::uint32_t TCustomComm::Read(void *buffer, std::uint32_t count, std::uint32_t timeout)
{
    std::uint32_t result = 0;
    if (!Opened())
        RaiseDeviceError(IE_NOTOPEN);
    if (DeviceLocks().Contains(dlRead))
        RaiseDeviceError(IE_LOCKREAD);
    if (count == 0)
        return 0;
    auto *p = static_cast<unsigned char *>(buffer);
    const std::uint32_t start = MsClock();
    while (count > 0) {
        const std::uint32_t avail = QueueCount(0);
        if (avail > 0) {
            const DWORD got = ReadChunk(p, std::min(avail, count));
            if (got > 0) {
                result += got;
                count -= got;
                p += got;
                LockBit lock(FLocks, 1u << dlRead);
                if (OnRead)
                    OnRead(this);
                continue;
            }
        }
        if (MsClock() - start > timeout)
            break;
        if (!WaitTimeLeft(FHandle, 0, start, timeout))
            break;
    }
    return result;
}

std::uint32_t TCustomComm::Read(void *buffer, std::uint32_t count)
{
    return Read(buffer, count, FBuffers->FInputTimeout);
}

bool TCustomComm::ReadString(std::string &text)
{
    const std::uint32_t k = QueueCount(0);
    text.assign(k, '\0');
    const std::uint32_t got = Read(text.data(), k, FBuffers->FInputTimeout);
    text.resize(got);
    return got > 0;
}

void TCustomComm::HandleEvents(TDeviceEvents events)
{
    if (!Opened() || FDestroying)
        return;
    DoCommEvent(events);
}

void TCustomComm::DoCommEvent(TDeviceEvents events)
{
    if (events.Contains(deChar) || events.Contains(deFlag))
        DoData(QueueCount(0));
    const TDeviceEvents seen = events * FMonitorEvents;
    if (OnCommEvent && !seen.Empty())
        OnCommEvent(this, seen);
}

void TCustomComm::DoData(std::uint32_t received)
{
    if (OnData)
        OnData(this, received);
}
