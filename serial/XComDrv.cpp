#include "XComDrv.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "Thread.h"

const std::uint32_t BaudValues[15] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};
const char *const FlowControlNames[5] = {"None", "CTS/RTS", "DTR/DSR", "XOn/XOff", "Custom"};
const char *const ParityNames[5] = {"None", "Odd", "Even", "Mark", "Space"};
const char *const StopBitsNames[3] = {"1", "1.5", "2"};
const char *const ModemResults[8] = {"OK",    "CONNECT",     "RING", "NO CARRIER",
                                     "ERROR", "NO DIALTONE", "BUSY", "NO ANSWER"};

namespace {

// Line-settings flag word bits (the platform's DCB layout).
constexpr DWORD dcb_Binary = 0x0001;
constexpr DWORD dcb_ParityCheck = 0x0002;
constexpr DWORD dcb_OutxCtsFlow = 0x0004;
constexpr DWORD dcb_OutxDsrFlow = 0x0008;
constexpr DWORD dcb_DtrControlEnable = 0x0010;
constexpr DWORD dcb_DtrControlHandshake = 0x0020;
constexpr DWORD dcb_DsrSensivity = 0x0040;
constexpr DWORD dcb_TXContinueOnXoff = 0x0080;
constexpr DWORD dcb_OutX = 0x0100;
constexpr DWORD dcb_InX = 0x0200;
constexpr DWORD dcb_ErrorChar = 0x0400;
constexpr DWORD dcb_NullStrip = 0x0800;
constexpr DWORD dcb_RtsControlEnable = 0x1000;
constexpr DWORD dcb_RtsControlHandshake = 0x2000;
constexpr DWORD dcb_AbortOnError = 0x4000;

// Every event kind but output-empty, which Send reports itself.
constexpr DWORD EventThreadMask = 0x1FFB;

template <typename E>
bool InRange(E v, E last)
{
    return static_cast<std::int32_t>(v) >= 0 && static_cast<std::int32_t>(v) <= static_cast<std::int32_t>(last);
}

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

std::uint16_t QueueSizeLimit()
{
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExA(&vi);
#if defined(__GNUC__) && !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
    if (ok && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion >= 4)
        return 4096;
    return 8192;
}

DCB BuildLineSettings(const TLineSettings &s)
{
    DCB d;
    std::memset(&d, 0, sizeof d);
    d.DCBlength = sizeof d;
    d.BaudRate = s.BaudValue;
    DWORD f = dcb_Binary;
    if (s.Options.Contains(coParityCheck)) f |= dcb_ParityCheck;
    if (s.RTS.Contains(fsCTSOut)) f |= dcb_OutxCtsFlow;
    if (s.DTR.Contains(fsDSROut)) f |= dcb_OutxDsrFlow;
    if (s.DTR.Contains(fsDTREnabled)) f |= dcb_DtrControlEnable;
    if (s.DTR.Contains(fsDTRHandshake)) f |= dcb_DtrControlHandshake;
    if (s.Options.Contains(coLeaveDTROpen)) f |= dcb_DtrControlEnable;
    if (s.Options.Contains(coDSRSensitivity)) f |= dcb_DsrSensivity;
    if (s.Options.Contains(coTXContinueOnXOff)) f |= dcb_TXContinueOnXoff;
    if (s.XOnXOff.Contains(fsOutX)) f |= dcb_OutX;
    if (s.XOnXOff.Contains(fsInX)) f |= dcb_InX;
    if (s.Options.Contains(coErrorChar)) f |= dcb_ErrorChar;
    if (s.Options.Contains(coDiscardNull)) f |= dcb_NullStrip;
    if (s.RTS.Contains(fsRTSEnabled)) f |= dcb_RtsControlEnable;
    if (s.RTS.Contains(fsRTSHandshake)) f |= dcb_RtsControlHandshake;
    if (s.Options.Contains(coAbortOnError)) f |= dcb_AbortOnError;
    SetDcbFlags(d, f);
    d.XonLim = static_cast<WORD>(s.InputSize / 4);
    d.XoffLim = static_cast<WORD>(s.InputSize / 4);
    d.ByteSize = static_cast<BYTE>(s.DataBits + 4);
    d.Parity = static_cast<BYTE>(s.Parity);
    d.StopBits = static_cast<BYTE>(s.StopBits);
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ErrorChar;
    d.EofChar = s.EofChar;
    d.EvtChar = s.EventChar;
    return d;
}

// ---------------------------------------------------------------- groups

void TCommGroup::AssignError(const TCommGroup *source) const
{
    std::string msg = "Cannot assign a ";
    msg += source ? source->ClassName() : "nil";
    msg += " to a ";
    msg += ClassName();
    throw EConvertError(msg);
}

void TCommDataControl::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommDataControl *>(source);
    if (!src)
        AssignError(source);
    const TDataBits db = src->DataBits();
    const TParity pa = src->Parity();
    const TStopBits sb = src->StopBits();
    FDataBits = db;
    FParity = pa;
    FStopBits = sb;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TDataBits TCommDataControl::DataBits() const
{
    DCB d;
    if (FComm->DeviceState(d) && d.ByteSize >= 4 && d.ByteSize <= 8)
        return static_cast<TDataBits>(d.ByteSize - 4);
    return FDataBits;
}

void TCommDataControl::SetDataBits(TDataBits v)
{
    if (v == FDataBits || !InRange(v, db8))
        return;
    FDataBits = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TParity TCommDataControl::Parity() const
{
    DCB d;
    if (FComm->DeviceState(d) && d.Parity <= paSpace)
        return static_cast<TParity>(d.Parity);
    return FParity;
}

void TCommDataControl::SetParity(TParity v)
{
    if (v == FParity || !InRange(v, paSpace))
        return;
    FParity = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TStopBits TCommDataControl::StopBits() const
{
    DCB d;
    if (FComm->DeviceState(d) && d.StopBits <= sb2)
        return static_cast<TStopBits>(d.StopBits);
    return FStopBits;
}

void TCommDataControl::SetStopBits(TStopBits v)
{
    if (v == FStopBits || !InRange(v, sb2))
        return;
    FStopBits = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

void TCommBuffers::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommBuffers *>(source);
    if (!src)
        AssignError(source);
    // Copied as read, without the setters' clamping.
    const std::uint16_t in = src->InputSize();
    const std::uint16_t out = src->OutputSize();
    FInputSize = in;
    FOutputSize = out;
    FInputTimeout = src->FInputTimeout;
    FOutputTimeout = src->FOutputTimeout;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

namespace {
std::uint16_t ClampQueueSize(std::uint16_t s)
{
    const std::uint16_t limit = QueueSizeLimit();
    if (s > limit)
        s = limit;
    if (s < 128)
        s = 128;
    return s;
}
} // namespace

std::uint16_t TCommBuffers::InputSize() const
{
    COMMPROP p{};
    if (FComm->Opened() && GetCommProperties(FComm->FHandle, &p)) {
        const auto v = static_cast<std::uint16_t>(p.dwCurrentRxQueue & 0xFFFF);
        if (v != 0)
            return v;
    }
    return FInputSize;
}

void TCommBuffers::SetInputSize(std::uint16_t v)
{
    v = ClampQueueSize(v);
    if (v == FInputSize)
        return;
    FInputSize = v;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

std::uint16_t TCommBuffers::OutputSize() const
{
    COMMPROP p{};
    if (FComm->Opened() && GetCommProperties(FComm->FHandle, &p)) {
        const auto v = static_cast<std::uint16_t>(p.dwCurrentTxQueue & 0xFFFF);
        if (v != 0)
            return v;
    }
    return FOutputSize;
}

void TCommBuffers::SetOutputSize(std::uint16_t v)
{
    v = ClampQueueSize(v);
    if (v == FOutputSize)
        return;
    FOutputSize = v;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

void TCommEventChars::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommEventChars *>(source);
    if (!src)
        AssignError(source);
    const char xon = src->XonChar(), xoff = src->XoffChar(), eof = src->EofChar(),
               err = src->ErrorChar(), evt = src->EventChar();
    FXonChar = xon;
    FXoffChar = xoff;
    FEofChar = eof;
    FErrorChar = err;
    FEventChar = evt;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

void TCommEventChars::Set(char &field, char v)
{
    if (v == field)
        return;
    field = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

char TCommEventChars::XonChar() const
{
    DCB d;
    return FComm->DeviceState(d) ? d.XonChar : FXonChar;
}
char TCommEventChars::XoffChar() const
{
    DCB d;
    return FComm->DeviceState(d) ? d.XoffChar : FXoffChar;
}
char TCommEventChars::EofChar() const
{
    DCB d;
    return FComm->DeviceState(d) ? d.EofChar : FEofChar;
}
char TCommEventChars::ErrorChar() const
{
    DCB d;
    return FComm->DeviceState(d) ? d.ErrorChar : FErrorChar;
}
char TCommEventChars::EventChar() const
{
    DCB d;
    return FComm->DeviceState(d) ? d.EvtChar : FEventChar;
}
void TCommEventChars::SetXonChar(char v) { Set(FXonChar, v); }
void TCommEventChars::SetXoffChar(char v) { Set(FXoffChar, v); }
void TCommEventChars::SetEofChar(char v) { Set(FEofChar, v); }
void TCommEventChars::SetErrorChar(char v) { Set(FErrorChar, v); }
void TCommEventChars::SetEventChar(char v) { Set(FEventChar, v); }

void TCommTimeoutsEx::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommTimeoutsEx *>(source);
    if (!src)
        AssignError(source);
    const std::uint32_t ri = src->ReadInterval(), rm = src->ReadMultiplier(), rc = src->ReadConstant(),
                        wm = src->WriteMultiplier(), wc = src->WriteConstant();
    FReadInterval = ri;
    FReadMultiplier = rm;
    FReadConstant = rc;
    FWriteMultiplier = wm;
    FWriteConstant = wc;
    if (FComm->Opened())
        FComm->ApplyTimeouts();
}

bool TCommTimeoutsEx::Device(COMMTIMEOUTS &t) const
{
    return FComm->Opened() && GetCommTimeouts(FComm->FHandle, &t);
}

void TCommTimeoutsEx::Set(std::uint32_t &field, std::uint32_t v)
{
    if (v == field)
        return;
    field = v;
    if (FComm->Opened())
        FComm->ApplyTimeouts();
}

std::uint32_t TCommTimeoutsEx::ReadInterval() const
{
    COMMTIMEOUTS t;
    return Device(t) ? t.ReadIntervalTimeout : FReadInterval;
}
std::uint32_t TCommTimeoutsEx::ReadMultiplier() const
{
    COMMTIMEOUTS t;
    return Device(t) ? t.ReadTotalTimeoutMultiplier : FReadMultiplier;
}
std::uint32_t TCommTimeoutsEx::ReadConstant() const
{
    COMMTIMEOUTS t;
    return Device(t) ? t.ReadTotalTimeoutConstant : FReadConstant;
}
std::uint32_t TCommTimeoutsEx::WriteMultiplier() const
{
    COMMTIMEOUTS t;
    return Device(t) ? t.WriteTotalTimeoutMultiplier : FWriteMultiplier;
}
std::uint32_t TCommTimeoutsEx::WriteConstant() const
{
    COMMTIMEOUTS t;
    return Device(t) ? t.WriteTotalTimeoutConstant : FWriteConstant;
}
void TCommTimeoutsEx::SetReadInterval(std::uint32_t v) { Set(FReadInterval, v); }
void TCommTimeoutsEx::SetReadMultiplier(std::uint32_t v) { Set(FReadMultiplier, v); }
void TCommTimeoutsEx::SetReadConstant(std::uint32_t v) { Set(FReadConstant, v); }
void TCommTimeoutsEx::SetWriteMultiplier(std::uint32_t v) { Set(FWriteMultiplier, v); }
void TCommTimeoutsEx::SetWriteConstant(std::uint32_t v) { Set(FWriteConstant, v); }

// ---------------------------------------------------------------- event thread

class TCommEventThread : public TThread {
public:
    explicit TCommEventThread(TCustomComm *comm) : FComm(comm), FHandle(comm->FHandle)
    {
        FStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        FWait = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        SetCommMask(FHandle, EventThreadMask);
        if (FStop && FWait && FStop != INVALID_HANDLE_VALUE && FWait != INVALID_HANDLE_VALUE)
            Start();
    }

    ~TCommEventThread() override
    {
        SignalStop();
        Sleep(0);
        Terminate();
        WaitFor();
        // Released here only, whichever way the body ended.
        if (FStop && FStop != INVALID_HANDLE_VALUE)
            CloseHandle(FStop);
        if (FWait && FWait != INVALID_HANDLE_VALUE)
            CloseHandle(FWait);
    }

    void SignalStop()
    {
        if (FStop && FStop != INVALID_HANDLE_VALUE)
            SetEvent(FStop);
    }

    // The component is going away while this thread is stuck in its delivery.
    void Detach() { FComm.store(nullptr); }

protected:
    void Execute() override
    {
        OVERLAPPED ov;
        std::memset(&ov, 0, sizeof ov);
        ov.hEvent = FWait;
        const HANDLE list[2] = {FStop, FWait};
        bool pending = false;
        for (;;) {
            // Stopped from inside its own delivery: the handle may already be
            // closed and its value reused by the next port, so touch it no more.
            if (WaitForSingleObject(FStop, 0) == WAIT_OBJECT_0)
                break;
            FMask = 0;
            if (!WaitCommEvent(FHandle, &FMask, &ov)) {
                // A wait that cannot even start would leave the signal as it
                // was and turn this loop into a spin: end quietly instead.
                if (GetLastError() != ERROR_IO_PENDING)
                    break;
                pending = true;
            }
            if (WaitForMultipleObjects(2, list, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
                break;
            pending = false;
            DWORD transferred = 0;
            if (!GetOverlappedResult(FHandle, &ov, &transferred, FALSE))
                break;
            TCustomComm *comm = FComm.load();
            if (comm && comm->Synchronize())
                Synchronize([this] { DoEvent(true); });
            else
                DoEvent(false);
        }
        if (!pending)
            return;
        SetCommMask(FHandle, 0);
        // A wait released by the mask change may complete a moment later on
        // some platforms; the record lives on this stack, so let it settle.
        WaitForSingleObject(FWait, 1000);
    }

private:
    void DoEvent(bool handedOver)
    {
        TCustomComm *comm = FComm.load();
        if (FMask == 0 || !comm)
            return;
        // Marks a hand-over running on the main thread, so that a Close from
        // its handler knows it must not wait for this thread.
        struct Delivery {
            TCustomComm *c;
            bool on;
            Delivery(TCustomComm *c, bool on) : c(c), on(on) { if (on) ++c->FDelivering; }
            ~Delivery() { if (on) --c->FDelivering; }
        } delivery(comm, handedOver);
        comm->HandleEvents(TDeviceEvents::FromBits(static_cast<std::uint16_t>(FMask & 0xFFFF)));
    }

    std::atomic<TCustomComm *> FComm;
    HANDLE FHandle;
    HANDLE FStop = nullptr;
    HANDLE FWait = nullptr;
    DWORD FMask = 0;
};

namespace {

// Event threads stopped from inside their own delivery: they cannot be
// joined there, so they wait here until they have ended. Never destroyed at
// exit on purpose (a thread may still be blocked in a hand-over then).
std::mutex gRetiredLock;
std::vector<TCommEventThread *> *gRetired = new std::vector<TCommEventThread *>;

void Retire(TCommEventThread *t)
{
    std::lock_guard<std::mutex> g(gRetiredLock);
    gRetired->push_back(t);
}

void ReapRetired()
{
    std::vector<TCommEventThread *> done;
    {
        std::lock_guard<std::mutex> g(gRetiredLock);
        auto it = std::stable_partition(gRetired->begin(), gRetired->end(),
                                        [](TCommEventThread *t) { return !t->Finished(); });
        done.assign(it, gRetired->end());
        gRetired->erase(it, gRetired->end());
    }
    for (TCommEventThread *t : done)
        delete t;
}

} // namespace

// ---------------------------------------------------------------- component

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
    const std::string path = "\\\\.\\" + deviceName;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && h != nullptr) {
        CloseHandle(h);
        return true;
    }
    // Busy (held by another program or by our own port object) still exists.
    return GetLastError() == ERROR_ACCESS_DENIED;
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

DWORD TCustomComm::WriteChunk(const void *buffer, DWORD n)
{
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!ov.hEvent || ov.hEvent == INVALID_HANDLE_VALUE)
        return 0;
    DWORD done = 0;
    // A request that fails outright never signals: waiting for it would hang.
    if (WriteFile(FHandle, buffer, n, &done, &ov) || GetLastError() == ERROR_IO_PENDING) {
        WaitForSingleObject(ov.hEvent, INFINITE);
        if (!GetOverlappedResult(FHandle, &ov, &done, FALSE))
            done = 0;
    } else {
        done = 0;
    }
    CloseHandle(ov.hEvent);
    return done;
}

DWORD TCustomComm::ReadChunk(void *buffer, DWORD n)
{
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!ov.hEvent || ov.hEvent == INVALID_HANDLE_VALUE)
        return 0;
    DWORD done = 0;
    if (ReadFile(FHandle, buffer, n, &done, &ov) || GetLastError() == ERROR_IO_PENDING) {
        WaitForSingleObject(ov.hEvent, INFINITE);
        if (!GetOverlappedResult(FHandle, &ov, &done, FALSE))
            done = 0;
    } else {
        done = 0;
    }
    CloseHandle(ov.hEvent);
    return done;
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

// ---------------------------------------------------------------- settings

bool TCustomComm::DeviceState(DCB &dcb) const
{
    if (!Opened())
        return false;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    return GetCommState(FHandle, &dcb) != 0;
}

TLineSettings TCustomComm::StoredLineSettings() const
{
    TLineSettings s;
    s.BaudValue = FBaudValue;
    s.InputSize = FBuffers->FInputSize;
    s.DataBits = FDataControl->FDataBits;
    s.Parity = FDataControl->FParity;
    s.StopBits = FDataControl->FStopBits;
    s.XonChar = FEventChars->FXonChar;
    s.XoffChar = FEventChars->FXoffChar;
    s.ErrorChar = FEventChars->FErrorChar;
    s.EofChar = FEventChars->FEofChar;
    s.EventChar = FEventChars->FEventChar;
    s.RTS = FRTSSettings;
    s.DTR = FDTRSettings;
    s.XOnXOff = FXOnXOffSettings;
    s.Options = FOptions;
    return s;
}

bool TCustomComm::ApplyLineSettings()
{
    DCB d = BuildLineSettings(StoredLineSettings());
    if (!SetCommState(FHandle, &d))
        RaiseDeviceError(IE_SETUPDCB);
    return true;
}

bool TCustomComm::ApplyBuffers()
{
    PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (!SetupComm(FHandle, FBuffers->FInputSize, FBuffers->FOutputSize))
        RaiseDeviceError(IE_BUFFERS);
    return true;
}

bool TCustomComm::ApplyTimeouts()
{
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = FTimeouts->FReadInterval;
    t.ReadTotalTimeoutMultiplier = FTimeouts->FReadMultiplier;
    t.ReadTotalTimeoutConstant = FTimeouts->FReadConstant;
    t.WriteTotalTimeoutMultiplier = FTimeouts->FWriteMultiplier;
    t.WriteTotalTimeoutConstant = FTimeouts->FWriteConstant;
    if (!SetCommTimeouts(FHandle, &t))
        RaiseDeviceError(IE_TIMEOUTS);
    return true;
}

TBaudRate TCustomComm::BaudRate() const
{
    if (Opened() && FBaudRate != brCustom) {
        FBaudRate = brCustom;
        const std::uint32_t v = BaudValue();
        for (int i = 0; i < 15; ++i) {
            if (BaudValues[i] == v) {
                FBaudRate = static_cast<TBaudRate>(i);
                break;
            }
        }
    }
    return FBaudRate;
}

void TCustomComm::SetBaudRate(TBaudRate v)
{
    if (v == FBaudRate || !InRange(v, brCustom))
        return;
    FBaudRate = v;
    if (v == brCustom)
        return;
    FBaudValue = BaudValues[v];
    if (Opened())
        ApplyLineSettings();
}

std::uint32_t TCustomComm::BaudValue() const
{
    DCB d;
    if (DeviceState(d))
        FBaudValue = d.BaudRate;
    return FBaudValue;
}

void TCustomComm::SetBaudValue(std::uint32_t v)
{
    if (FBaudRate != brCustom || v == FBaudValue)
        return;
    FBaudValue = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetBuffers(const TCommBuffers &g)
{
    if (&g != FBuffers.get())
        FBuffers->Assign(&g);
}
void TCustomComm::SetDataControl(const TCommDataControl &g)
{
    if (&g != FDataControl.get())
        FDataControl->Assign(&g);
}
void TCustomComm::SetEventChars(const TCommEventChars &g)
{
    if (&g != FEventChars.get())
        FEventChars->Assign(&g);
}
void TCustomComm::SetTimeouts(const TCommTimeoutsEx &g)
{
    if (&g != FTimeouts.get())
        FTimeouts->Assign(&g);
}

void TCustomComm::SetDeviceName(const std::string &v)
{
    if (Opened() || v == FDeviceName)
        return;
    FDeviceName = v;
}

void TCustomComm::SyncFlowSettings(DWORD flags) const
{
    if (flags == 0 || (!Opened() && FFlowControl != fcCustom)) {
        FRTSSettings = {};
        FDTRSettings = {};
        FXOnXOffSettings = {};
        switch (FFlowControl) {
        case fcRtsCts:
            FRTSSettings = {fsCTSOut, fsRTSHandshake};
            break;
        case fcDtrDsr:
            FDTRSettings = {fsDSROut};
            FRTSSettings = {fsRTSEnabled};
            break;
        case fcSoftware:
            FXOnXOffSettings = {fsInX, fsOutX};
            break;
        default:
            break;
        }
        if (FFlowControl != fcNone)
            FDTRSettings.Include(fsDTREnabled);
        if (FOptions.Contains(coLeaveDTROpen)) {
            FDTRSettings.Include(fsDTREnabled);
            FDTRSettings.Exclude(fsDTRHandshake);
        }
    } else if (Opened()) {
        TDTRSettings dtr;
        if (flags & dcb_DtrControlHandshake) dtr.Include(fsDTRHandshake);
        if (flags & dcb_DtrControlEnable) dtr.Include(fsDTREnabled);
        if (flags & dcb_OutxDsrFlow) dtr.Include(fsDSROut);
        TRTSSettings rts;
        if (flags & dcb_RtsControlHandshake) rts.Include(fsRTSHandshake);
        if (flags & dcb_RtsControlEnable) rts.Include(fsRTSEnabled);
        if (flags & dcb_OutxCtsFlow) rts.Include(fsCTSOut);
        TXOnXOffSettings x;
        if (flags & dcb_OutX) x.Include(fsOutX);
        if (flags & dcb_InX) x.Include(fsInX);
        TCommOptions o;
        if (FOptions.Contains(coLeaveDTROpen)) o.Include(coLeaveDTROpen);
        if (flags & dcb_ParityCheck) o.Include(coParityCheck);
        if (flags & dcb_DsrSensivity) o.Include(coDSRSensitivity);
        if (flags & dcb_ErrorChar) o.Include(coErrorChar);
        if (flags & dcb_NullStrip) o.Include(coDiscardNull);
        if (flags & dcb_AbortOnError) o.Include(coAbortOnError);
        if (flags & dcb_TXContinueOnXoff) o.Include(coTXContinueOnXOff);
        FDTRSettings = dtr;
        FRTSSettings = rts;
        FXOnXOffSettings = x;
        FOptions = o;
    }
}

void TCustomComm::RefreshFlowSettings() const
{
    DCB d;
    if (DeviceState(d))
        SyncFlowSettings(DcbFlags(d));
}

TRTSSettings TCustomComm::RTSSettings() const
{
    RefreshFlowSettings();
    return FRTSSettings;
}

TDTRSettings TCustomComm::DTRSettings() const
{
    RefreshFlowSettings();
    return FDTRSettings;
}

TXOnXOffSettings TCustomComm::XOnXOffSettings() const
{
    RefreshFlowSettings();
    return FXOnXOffSettings;
}

TCommOptions TCustomComm::Options() const
{
    RefreshFlowSettings();
    return FOptions;
}

void TCustomComm::SetFlowControl(TFlowControl v)
{
    if (v == FFlowControl || !InRange(v, fcCustom))
        return;
    FFlowControl = v;
    if (v == fcCustom)
        return;
    SyncFlowSettings(0);
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetRTSSettings(TRTSSettings v)
{
    if (FFlowControl != fcCustom || v == RTSSettings())
        return;
    FRTSSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetXOnXOffSettings(TXOnXOffSettings v)
{
    if (FFlowControl != fcCustom || v == XOnXOffSettings())
        return;
    FXOnXOffSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetDTRSettings(TDTRSettings v)
{
    if (Options().Contains(coLeaveDTROpen)) {
        v.Exclude(fsDTRHandshake);
        v.Include(fsDTREnabled);
    }
    if (v.Contains(fsDTRHandshake) && v.Contains(fsDTREnabled)) {
        if (FDTRSettings.Contains(fsDTRHandshake))
            v.Exclude(fsDTRHandshake);
        else
            v.Exclude(fsDTREnabled);
    }
    if (FFlowControl != fcCustom || v == DTRSettings())
        return;
    FDTRSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetOptions(TCommOptions v)
{
    const TCommOptions current = Options();
    if (Opened()) {
        if (current.Contains(coLeaveDTROpen))
            v.Include(coLeaveDTROpen);
        else
            v.Exclude(coLeaveDTROpen);
    }
    if (v == current)
        return;
    FOptions = v;
    if (Opened()) {
        ApplyLineSettings();
    } else if (FFlowControl != fcCustom) {
        SyncFlowSettings(0);
    } else if (FOptions.Contains(coLeaveDTROpen)) {
        // Our choice for a closed custom-flow component: keep the operator's
        // custom sets, but let "leave DTR open" hold DTR enabled as it does
        // everywhere else.
        FDTRSettings.Include(fsDTREnabled);
        FDTRSettings.Exclude(fsDTRHandshake);
    }
}
