// The platform seam of the serial component: the part of the Win32 comm API
// that the component is written against. On Windows this is the real
// <windows.h>; elsewhere it is our own layer (commapi_unix.cpp) with the same
// names, types and semantics, so the component code is the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX // the component uses std::min and std::max
#endif
#include <windows.h>
#else

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using LONG = std::int32_t;
using HANDLE = void *;
using LPCSTR = const char *;
using LPVOID = void *;
using LPCVOID = const void *;
using LPDWORD = DWORD *;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Handles of our layer are small numbers, never pointers, so a stale or
// foreign handle is refused instead of dereferenced.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_READY 21u
#define ERROR_BAD_COMMAND 22u
#define ERROR_GEN_FAILURE 31u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_TIMEOUT 1460u

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u
#define EV_PERR 0x0200u
#define EV_RX80FULL 0x0400u
#define EV_EVENT1 0x0800u
#define EV_EVENT2 0x1000u

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define DTR_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1
#define RTS_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_TOGGLE 3

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

// Same layout as the Win32 record: 28 bytes, the flag word at offset 8.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct COMMPROP {
    WORD wPacketLength;
    WORD wPacketVersion;
    DWORD dwServiceMask;
    DWORD dwReserved1;
    DWORD dwMaxTxQueue;
    DWORD dwMaxRxQueue;
    DWORD dwMaxBaud;
    DWORD dwProvSubType;
    DWORD dwProvCapabilities;
    DWORD dwSettableParams;
    DWORD dwSettableBaud;
    WORD wSettableData;
    WORD wSettableStopParity;
    DWORD dwCurrentTxQueue;
    DWORD dwCurrentRxQueue;
    DWORD dwProvSpec1;
    DWORD dwProvSpec2;
    wchar_t wcProvChar[1];
};

struct COMSTAT {
    DWORD fFlags; // the Win32 bit field of hold reasons; never set here
    DWORD cbInQue;
    DWORD cbOutQue;
};

struct OVERLAPPED {
    std::uintptr_t Internal;
    std::uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

struct LARGE_INTEGER {
    std::int64_t QuadPart;
};

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPVOID security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE h);
DWORD GetLastError();
void SetLastError(DWORD code);

BOOL GetCommState(HANDLE h, DCB *dcb);
BOOL SetCommState(HANDLE h, DCB *dcb);
BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue);
BOOL PurgeComm(HANDLE h, DWORD flags);
BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS *t);
BOOL SetCommTimeouts(HANDLE h, COMMTIMEOUTS *t);
BOOL GetCommProperties(HANDLE h, COMMPROP *p);
BOOL ClearCommError(HANDLE h, LPDWORD errors, COMSTAT *stat);
BOOL SetCommMask(HANDLE h, DWORD mask);
BOOL GetCommMask(HANDLE h, LPDWORD mask);
BOOL WaitCommEvent(HANDLE h, LPDWORD mask, OVERLAPPED *ov);
BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD done, OVERLAPPED *ov);
BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD done, OVERLAPPED *ov);
BOOL GetOverlappedResult(HANDLE h, OVERLAPPED *ov, LPDWORD done, BOOL wait);

HANDLE CreateEventA(LPVOID security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);
DWORD WaitForSingleObject(HANDLE h, DWORD ms);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD ms);
void Sleep(DWORD ms);

BOOL QueryPerformanceFrequency(LARGE_INTEGER *f);
BOOL QueryPerformanceCounter(LARGE_INTEGER *c);
DWORD GetTickCount();
BOOL GetVersionExA(OSVERSIONINFOA *info);

#endif // _WIN32

static_assert(sizeof(DCB) == 28, "DCB must keep the platform's 28-byte layout");

// The DCB flag word as one number (Win32 declares it as bit fields).
inline DWORD DcbFlags(const DCB &dcb)
{
    DWORD w;
    std::memcpy(&w, reinterpret_cast<const unsigned char *>(&dcb) + 8, sizeof w);
    return w;
}
inline void SetDcbFlags(DCB &dcb, DWORD w)
{
    std::memcpy(reinterpret_cast<unsigned char *>(&dcb) + 8, &w, sizeof w);
}

// Our own additions to the seam, on every platform.
namespace commlayer {

// Where COM names point: "COMn" (n = 1..100) maps through a fixed table to a
// device under this root (default "/dev"). Tests point it at a folder of links.
void SetDeviceRoot(const std::string &root);
std::string DeviceRoot();

// The OS path that CreateFileA opens for a given path ("\\.\COM5" ->
// "/dev/ttyUSB0"; "\\./dev/pts/3" and "/dev/pts/3" -> "/dev/pts/3"). Empty
// when a COM number has no device in the table. On Windows: the path itself.
std::string MapDevicePath(const std::string &path);

// Looks at a port without taking it: opens `path` (as CreateFileA would)
// without changing the line in any way and closes it again. ERROR_SUCCESS
// when it opened, ERROR_ACCESS_DENIED when the device exists but is busy or
// refused, another code when there is no such port.
DWORD ProbeDevice(const std::string &path);

// Where the UUCP lock files ("LCK..ttyUSB0") live while a port is held
// (default "/run/lock"). A folder we cannot write to is skipped quietly.
// Tests point it at a folder of their own. No effect on Windows.
void SetLockDir(const std::string &dir);
std::string LockDir();

// Block until the device has input queued (which = 0) or room for output
// (which = 1), or `ms` milliseconds pass. Lets Send and Read wait on the
// device instead of spinning. TRUE when the condition holds; FALSE with
// ERROR_TIMEOUT when the time ran out, with another code when the device
// cannot be waited on (gone, closed).
BOOL WaitCommIo(HANDLE h, DWORD which, DWORD ms);

// For a main loop that watches ports itself (Linux): the descriptor whose
// readiness means input or a hang-up on the device, -1 when there is none
// (Windows, a closed handle, a device already let go).
int PollableFd(HANDLE h);

// While lent, a main loop watches the device and reads new input itself
// (PumpInput): a thread waiting inline for a port event no longer watches
// for input, so an arrival wakes the main loop alone. A caller that blocks
// for input still has it read for it at once. No effect on Windows.
void LendToMainLoop(HANDLE h, bool lent);

// Moves what the device holds into the receive queue now, on the calling
// thread, latching the receive events as the device's own watcher would,
// so a pending WaitCommEvent may complete here. Unless `wakeWaiters`, a
// thread waiting inline for that completion is left asleep: the caller acts
// on the event first, then wakes it with SetEvent. Never blocks. FALSE when
// the handle is not an open device, or when the receive queue filled up
// before the device was read dry; TRUE otherwise. No effect on Windows.
BOOL PumpInput(HANDLE h, bool wakeWaiters = false);

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

// Fault injection for tests: the next `count` calls of the named layer call
// ("SetCommState", "SetupComm", "SetCommTimeouts", "GetCommState", ...) fail
// with ERROR_GEN_FAILURE. ClearFaults() drops all. No effect on Windows.
void InjectFault(const char *call, int count = 1);
void ClearFaults();

} // namespace commlayer
