// The platform seam of the serial component: the part of the Win32 comm API
// that the component is written against. On Windows this is the real
// <windows.h>; elsewhere it is our own layer (commapi_unix_*.cpp) with the
// same names, types and semantics, in the namespace commlayer, so the
// component code is the same everywhere and nothing of it is global.
// Private to the component and its tests: a source that uses the seam says
// `using namespace commlayer;` (on Windows that namespace holds only our
// additions and aliases of the types, and the names are the real ones).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "commlayer.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX // the component uses std::min and std::max
#endif
#include <windows.h>

namespace commlayer {
// The types by which the component's own headers name the seam.
using ::BOOL;
using ::BYTE;
using ::COMMTIMEOUTS;
using ::DCB;
using ::DWORD;
using ::HANDLE;
using ::OVERLAPPED;
using ::WORD;
} // namespace commlayer
#else

namespace commlayer {

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

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Handles of our layer are small numbers, never pointers, so a stale or
// foreign handle is refused instead of dereferenced.
inline const HANDLE INVALID_HANDLE_VALUE = NoPort();

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3u;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

inline constexpr DWORD ERROR_SUCCESS = 0u;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2u;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5u;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6u;
inline constexpr DWORD ERROR_NOT_READY = 21u;
inline constexpr DWORD ERROR_BAD_COMMAND = 22u;
inline constexpr DWORD ERROR_GEN_FAILURE = 31u;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87u;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995u;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996u;
inline constexpr DWORD ERROR_IO_PENDING = 997u;
inline constexpr DWORD ERROR_TIMEOUT = 1460u;

inline constexpr DWORD PURGE_TXABORT = 0x0001u;
inline constexpr DWORD PURGE_RXABORT = 0x0002u;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004u;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008u;

inline constexpr DWORD EV_RXCHAR = 0x0001u;
inline constexpr DWORD EV_RXFLAG = 0x0002u;
inline constexpr DWORD EV_TXEMPTY = 0x0004u;
inline constexpr DWORD EV_CTS = 0x0008u;
inline constexpr DWORD EV_DSR = 0x0010u;
inline constexpr DWORD EV_RLSD = 0x0020u;
inline constexpr DWORD EV_BREAK = 0x0040u;
inline constexpr DWORD EV_ERR = 0x0080u;
inline constexpr DWORD EV_RING = 0x0100u;
inline constexpr DWORD EV_PERR = 0x0200u;
inline constexpr DWORD EV_RX80FULL = 0x0400u;
inline constexpr DWORD EV_EVENT1 = 0x0800u;
inline constexpr DWORD EV_EVENT2 = 0x1000u;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_TOGGLE = 3;

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0u;
inline constexpr DWORD WAIT_TIMEOUT = 258u;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

inline constexpr DWORD VER_PLATFORM_WIN32s = 0u;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1u;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2u;

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

} // namespace commlayer
#endif // _WIN32

namespace commlayer {

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

} // namespace commlayer
