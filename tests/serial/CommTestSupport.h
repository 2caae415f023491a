// Helpers of the Linux comm layer tests (test_commapi_*.cpp).
#pragma once

#include "commapi.h"
#include "pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

// The tests drive the layer by the Win32 names it emulates.
using namespace commlayer;

namespace commtest {

inline constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;

inline HANDLE Open(const std::string &path, DWORD flags = kOpenFlags)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
}

// Closes the handle at the end of a test unless the test did.
struct Port {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Port(HANDLE handle) : h(handle) {}
    ~Port()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool Valid() const { return h != INVALID_HANDLE_VALUE; }
    BOOL Close()
    {
        BOOL r = CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
        return r;
    }
};

// An overlapped record with its own manual-reset event, as the component makes them.
struct Ov {
    OVERLAPPED o{};
    HANDLE ev;
    Ov() : ev(CreateEventA(nullptr, TRUE, TRUE, nullptr)) { o.hEvent = ev; }
    ~Ov() { CloseHandle(ev); }
    Ov(const Ov &) = delete;
    Ov &operator=(const Ov &) = delete;
    bool Signalled(DWORD ms = 0) const { return WaitForSingleObject(ev, ms) == WAIT_OBJECT_0; }
};

inline DCB Dcb(DWORD baud)
{
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = baud;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.XonLim = 512;
    d.XoffLim = 512;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 17;
    d.XoffChar = 19;
    d.EvtChar = 10;
    return d;
}

inline void SetTimeouts(HANDLE h, DWORD ri, DWORD rm, DWORD rc, DWORD wm = 0, DWORD wc = 0)
{
    COMMTIMEOUTS t{ri, rm, rc, wm, wc};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
}

inline DWORD InQueue(HANDLE h)
{
    DWORD errors = 123;
    COMSTAT st{};
    if (!ClearCommError(h, &errors, &st))
        return 0xFFFFFFFFu;
    return st.cbInQue;
}

// Waits until the layer has queued at least n bytes (bounded).
inline bool WaitQueued(HANDLE h, DWORD n, int ms = 3000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        DWORD q = InQueue(h);
        if (q != 0xFFFFFFFFu && q >= n)
            return true;
        commlayer::WaitCommIo(h, 0, 20);
        Sleep(1);
    }
    return false;
}

inline std::string ReadAll(HANDLE h, std::size_t n, int ms = 3000)
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::vector<char> buf(4096);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
        if (!commlayer::WaitCommIo(h, 0, 50))
            continue;
        Ov ov;
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min(buf.size(), n - out.size()));
        if (!ReadFile(h, buf.data(), want, &got, &ov.o))
            break;
        out.append(buf.data(), got);
    }
    return out;
}

inline double ProcessCpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        commlayer::ClearFaults();
        port = std::make_unique<Port>(Open(pty.SlavePath()));
        ASSERT_TRUE(port->Valid()) << "error " << GetLastError();
        h = port->h;
    }
    void TearDown() override { commlayer::ClearFaults(); }

    TestPty pty;
    std::unique_ptr<Port> port;
    HANDLE h = INVALID_HANDLE_VALUE;
};

// Suites start with "commapi" so that `ctest -R commapi` selects them.
using commapiPort = CommTest;

} // namespace commtest
