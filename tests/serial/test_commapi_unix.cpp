// The Linux comm layer against pseudo-terminals: names, opening, line
// settings seen from the device side, events, data, hang-up and close.
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
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;

HANDLE Open(const std::string &path, DWORD flags = kOpenFlags)
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

DCB Dcb(DWORD baud)
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

void SetTimeouts(HANDLE h, DWORD ri, DWORD rm, DWORD rc, DWORD wm = 0, DWORD wc = 0)
{
    COMMTIMEOUTS t{ri, rm, rc, wm, wc};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
}

DWORD InQueue(HANDLE h)
{
    DWORD errors = 123;
    COMSTAT st{};
    if (!ClearCommError(h, &errors, &st))
        return 0xFFFFFFFFu;
    return st.cbInQue;
}

// Waits until the layer has queued at least n bytes (bounded).
bool WaitQueued(HANDLE h, DWORD n, int ms = 3000)
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

std::string ReadAll(HANDLE h, std::size_t n, int ms = 3000)
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

double ProcessCpuMs()
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

} // namespace

// ---------------------------------------------------------------- names

TEST(commapiNames, ComNumbersMapThroughTheTableUnderTheRoot)
{
    std::string old = commlayer::DeviceRoot();
    commlayer::SetDeviceRoot("/dev");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM1"), "/dev/ttyS0");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM4"), "/dev/ttyS3");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM5"), "/dev/ttyUSB0");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM20"), "/dev/ttyUSB15");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM21"), "/dev/ttyACM0");
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM36"), "/dev/ttyACM15");
    // Windows device names ignore case
    EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\com2"), "/dev/ttyS1");
    {
        DeviceRootDir root;
        EXPECT_EQ(commlayer::DeviceRoot(), root.Path());
        EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM6"), root.Path() + "/ttyUSB1");
        EXPECT_EQ(commlayer::MapDevicePath("\\\\.\\COM22"), root.Path() + "/ttyACM1");
    }
    EXPECT_EQ(commlayer::DeviceRoot(), "/dev");
    commlayer::SetDeviceRoot(old);
}

TEST(commapiNames, NumbersOutsideTheTableAndMalformedNamesMapToNothing)
{
    for (const char *name : {"\\\\.\\COM37", "\\\\.\\COM100", "\\\\.\\COM0", "\\\\.\\COM01", "\\\\.\\COM101",
                             "\\\\.\\COM", "\\\\.\\COM1x", "\\\\.\\COM-1", "\\\\.\\LPT1", "\\\\.\\COM1000", "", "ttyS0"})
        EXPECT_EQ(commlayer::MapDevicePath(name), "") << name;
}

TEST(commapiNames, AbsolutePathsStandWithOrWithoutThePrefix)
{
    EXPECT_EQ(commlayer::MapDevicePath("\\\\./dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(commlayer::MapDevicePath("/dev/pts/3"), "/dev/pts/3");
    DeviceRootDir root; // the root does not apply to absolute paths
    EXPECT_EQ(commlayer::MapDevicePath("/dev/ttyS0"), "/dev/ttyS0");
}

// ---------------------------------------------------------------- opening

TEST(commapiOpen, ByComNameThroughTheDeviceRoot)
{
    TestPty pty;
    DeviceRootDir root;
    ASSERT_TRUE(root.Link("ttyUSB0", pty.SlavePath()));
    Port p(Open("\\\\.\\COM5"));
    ASSERT_TRUE(p.Valid()) << GetLastError();
    Ov ov;
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(p.h, "COM5", 4, &done, &ov.o));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(pty.ReadExactly(4, 2000), "COM5");
    // a neighbouring number has no link
    EXPECT_EQ(Open("\\\\.\\COM6"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(commapiOpen, ByAbsolutePathWithAndWithoutPrefix)
{
    TestPty pty;
    for (const std::string &path : {pty.SlavePath(), "\\\\." + pty.SlavePath()}) {
        Port p(Open(path, FILE_ATTRIBUTE_NORMAL)); // also without the overlapped flag
        ASSERT_TRUE(p.Valid()) << path << " error " << GetLastError();
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(p.h, "ok", 2, &done, nullptr));
        EXPECT_EQ(pty.ReadExactly(2, 2000), "ok") << path;
    }
}

TEST(commapiOpen, ASecondOpenIsRefusedEvenForRootUntilTheFirstCloses)
{
    TestPty pty;
    DeviceRootDir root;
    ASSERT_TRUE(root.Link("ttyACM0", pty.SlavePath()));
    Port first(Open(pty.SlavePath()));
    ASSERT_TRUE(first.Valid());

    SetLastError(0);
    EXPECT_EQ(Open(pty.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // the same device under another name is the same device
    EXPECT_EQ(Open("\\\\.\\COM21"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    // the tty is marked exclusive while open and released on close
    int probe = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (probe >= 0) { // root passes TIOCEXCL; others get EBUSY here
        int excl = -1;
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &excl), 0);
        EXPECT_EQ(excl, 1);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    ASSERT_TRUE(first.Close());
    if (probe >= 0) {
        int excl = -1;
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &excl), 0);
        EXPECT_EQ(excl, 0);
        ::close(probe);
    }
    Port again(Open("\\\\.\\COM21"));
    EXPECT_TRUE(again.Valid()) << GetLastError();
}

TEST(commapiOpen, MissingNamesFilesAndFoldersAreNotFound)
{
    DeviceRootDir root;
    ASSERT_TRUE(root.MakeFile("ttyS0", "not a port"));
    ASSERT_TRUE(root.MakeDir("ttyS1"));
    ASSERT_TRUE(root.Link("ttyS2", root.Path() + "/nowhere"));
    struct Case {
        std::string path;
        const char *what;
    } cases[] = {
        {"\\\\.\\COM1", "regular file"},
        {"\\\\.\\COM2", "directory"},
        {"\\\\.\\COM3", "dangling link"},
        {"\\\\.\\COM4", "no node"},
        {"\\\\.\\COM37", "no table entry"},
        {"\\\\.\\COM01", "leading zero"},
        {root.Path() + "/ttyS0", "regular file by path"},
        {"/nonexistent/dev/ttyX", "missing path"},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path), INVALID_HANDLE_VALUE) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << c.what;
    }
    // a refused regular file is not left locked
    int fd = ::open((root.Path() + "/ttyS0").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST(commapiOpen, QuickProbeOpensAndClosesRepeatedly)
{
    TestPty pty;
    for (int i = 0; i < 25; ++i) {
        HANDLE h = Open(pty.SlavePath(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "round " << i << " error " << GetLastError();
        ASSERT_TRUE(CloseHandle(h)) << "round " << i;
    }
}

TEST(commapiOpen, OpenSetsRawModeAndDropsStaleInput)
{
    TestPty pty;
    termios before{};
    ASSERT_TRUE(pty.SlaveTermios(&before));
    ASSERT_TRUE(before.c_lflag & ICANON) << "a fresh pty should start cooked";
    ASSERT_TRUE(pty.Write("stale bytes"));

    Port p(Open(pty.SlavePath()));
    ASSERT_TRUE(p.Valid());
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // only what comes after the open is delivered, CR and LF untouched
    ASSERT_TRUE(pty.Write("fresh\r\n"));
    EXPECT_EQ(ReadAll(p.h, 7), "fresh\r\n");
    Sleep(30);
    EXPECT_EQ(InQueue(p.h), 0u);
}

// ---------------------------------------------------------------- line settings

TEST_F(commapiPort, Raw8N1At19200IsWhatTheDeviceHolds)
{
    DCB d = Dcb(19200);
    ASSERT_TRUE(SetCommState(h, &d));
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(pty.SlaveSpeed(), 19200u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | INPCK));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.DCBlength, 28u);
    EXPECT_EQ(r.BaudRate, 19200u);
    EXPECT_EQ(r.fBinary, 1u);
    EXPECT_EQ(r.ByteSize, 8);
    EXPECT_EQ(r.Parity, NOPARITY);
    EXPECT_EQ(r.StopBits, ONESTOPBIT);
    EXPECT_EQ(r.fOutxCtsFlow, 0u);
    EXPECT_EQ(r.fOutX, 0u);
    EXPECT_EQ(r.fInX, 0u);
    // what termios cannot hold comes back as set
    EXPECT_EQ(r.EvtChar, 10);
    EXPECT_EQ(r.XonLim, 512);
    EXPECT_EQ(r.XoffLim, 512);
    EXPECT_EQ(r.XonChar, 17);
    EXPECT_EQ(r.XoffChar, 19);
    EXPECT_EQ(DcbFlags(r) & 0x0001u, 1u);

    d.BaudRate = 115200;
    ASSERT_TRUE(SetCommState(h, &d));
    EXPECT_EQ(pty.SlaveSpeed(), 115200u);
}

TEST_F(commapiPort, CustomSpeedUsesAnExactRateAndStandardRatesRestoreBothDirections)
{
    DCB d = Dcb(31250);
    ASSERT_TRUE(SetCommState(h, &d)) << GetLastError();
    EXPECT_EQ(pty.SlaveSpeed(), 31250u);
    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.BaudRate, 31250u);

    d.BaudRate = 9600;
    ASSERT_TRUE(SetCommState(h, &d));
    EXPECT_EQ(pty.SlaveSpeed(), 9600u);
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600)) << "input speed left at the custom rate";
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.BaudRate, 9600u);
}

TEST_F(commapiPort, UnsupportedFormatsAreRefusedAndChangeNothing)
{
    DCB good = Dcb(38400);
    ASSERT_TRUE(SetCommState(h, &good));

    auto refused = [&](DCB d, const char *what) {
        SetLastError(0);
        EXPECT_FALSE(SetCommState(h, &d)) << what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << what;
    };
    DCB d = Dcb(9600);
    d.StopBits = ONE5STOPBITS;
    refused(d, "1.5 stop bits");
    d = Dcb(9600);
    d.ByteSize = 4;
    refused(d, "4 data bits");
    d.ByteSize = 9;
    refused(d, "9 data bits");
    d = Dcb(9600);
    d.Parity = 5;
    refused(d, "parity 5");
    d = Dcb(9600);
    d.StopBits = 3;
    refused(d, "stop bits 3");
    d = Dcb(0);
    refused(d, "speed 0");
    d = Dcb(9600);
    d.XoffChar = d.XonChar;
    refused(d, "equal XON and XOFF characters");

    EXPECT_EQ(pty.SlaveSpeed(), 38400u);
    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.BaudRate, 38400u);
    EXPECT_EQ(r.StopBits, ONESTOPBIT);

    // a length other than 28 is tolerated, as on Windows
    d = Dcb(57600);
    d.DCBlength = 0;
    EXPECT_TRUE(SetCommState(h, &d));
    EXPECT_EQ(pty.SlaveSpeed(), 57600u);
}

TEST_F(commapiPort, FormatReadBackFollowsTheDeviceNotTheRequest)
{
    for (BYTE parity : {ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY}) {
        DCB d = Dcb(9600);
        d.ByteSize = 7;
        d.Parity = parity;
        d.StopBits = TWOSTOPBITS;
        ASSERT_TRUE(SetCommState(h, &d));
        termios t{};
        ASSERT_TRUE(pty.SlaveTermios(&t));
        DCB r{};
        ASSERT_TRUE(GetCommState(h, &r));

        // the stop bits survive on a pty; parity and size may not
        EXPECT_TRUE(t.c_cflag & CSTOPB);
        EXPECT_EQ(r.StopBits, TWOSTOPBITS);
        const bool devParity = (t.c_cflag & PARENB) != 0;
        if (!devParity)
            EXPECT_EQ(r.Parity, NOPARITY) << "parity " << int(parity) << " reported but the device dropped it";
        else
            EXPECT_EQ(r.Parity, parity);
        const int devBits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 0;
        EXPECT_EQ(r.ByteSize, devBits);
    }
    DCB d = Dcb(9600);
    d.fParity = 1;
    ASSERT_TRUE(SetCommState(h, &d));
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_TRUE(t.c_iflag & INPCK);
    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.fParity, 1u);
    EXPECT_EQ(r.StopBits, ONESTOPBIT);
}

TEST_F(commapiPort, FlowControlReachesTheDeviceAndReadsBack)
{
    DCB d = Dcb(19200);
    d.fOutxCtsFlow = 1;
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    d.fOutxDsrFlow = 1; // no termios equivalent: kept, not refused
    ASSERT_TRUE(SetCommState(h, &d));
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.fOutxCtsFlow, 1u);
    EXPECT_EQ(r.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(r.fOutxDsrFlow, 1u);

    // RTS handshake alone also needs the hardware flow flag
    d = Dcb(19200);
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.fOutxCtsFlow, 0u);
    EXPECT_EQ(r.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));

    d = Dcb(19200);
    d.fOutX = 1;
    d.fInX = 1;
    d.XonChar = 0x01;
    d.XoffChar = 0x02;
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x01);
    EXPECT_EQ(t.c_cc[VSTOP], 0x02);
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.fOutX, 1u);
    EXPECT_EQ(r.fInX, 1u);
    EXPECT_EQ(r.XonChar, 0x01);
    EXPECT_EQ(r.XoffChar, 0x02);
    EXPECT_EQ(r.fOutxCtsFlow, 0u);
    EXPECT_EQ(r.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

    d = Dcb(19200);
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
}

TEST_F(commapiPort, SettingsChangedUnderneathAreReportedAsTheDeviceHoldsThem)
{
    DCB d = Dcb(19200);
    d.fOutxCtsFlow = 1;
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(h, &d));
    // someone else (here: the device side) changes the tty
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    t.c_cflag &= ~CRTSCTS;
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    ASSERT_EQ(tcsetattr(pty.MasterFd(), TCSANOW, &t), 0);

    DCB r{};
    ASSERT_TRUE(GetCommState(h, &r));
    EXPECT_EQ(r.BaudRate, 4800u);
    EXPECT_EQ(r.fOutxCtsFlow, 0u);
    EXPECT_NE(r.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(r.EvtChar, 10) << "what termios cannot hold stays as set";
}

// ---------------------------------------------------------------- port events

TEST_F(commapiPort, WaitCommEventCompletesOnDataAndDoesNotRefireForUnreadBytes)
{
    DCB d = Dcb(19200); // event character LF
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR | EV_RXFLAG));
    DWORD m = 0;
    ASSERT_TRUE(GetCommMask(h, &m));
    EXPECT_EQ(m, EV_RXCHAR | EV_RXFLAG);

    Ov ov;
    DWORD mask = 0xFFFF;
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(ov.Signalled()) << "a request must clear its event when it starts";
    DWORD n = 0;
    EXPECT_FALSE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(ov.Signalled(3000));
    EXPECT_TRUE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    EXPECT_EQ(mask, EV_RXCHAR);

    // the bytes stay unread: a new wait must not fire for them again
    ASSERT_TRUE(WaitQueued(h, 3));
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(ov.Signalled(150));

    // the event character, LF by default here
    ASSERT_TRUE(pty.Write("x\n"));
    ASSERT_TRUE(ov.Signalled(3000));
    DWORD seen = mask;
    if (!(seen & EV_RXFLAG)) { // the two bytes may come in two reads
        if (!WaitCommEvent(h, &mask, &ov.o)) {
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        }
        ASSERT_TRUE(ov.Signalled(3000));
        seen |= mask;
    }
    EXPECT_EQ(seen, EV_RXCHAR | EV_RXFLAG);
    EXPECT_EQ(ReadAll(h, 5), "abcx\n");
}

TEST_F(commapiPort, EventsLatchedWhileNobodyWaitsCompleteTheNextWaitAtOnce)
{
    DCB d = Dcb(19200);
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR | EV_RXFLAG));
    ASSERT_TRUE(pty.Write("ping\n"));
    ASSERT_TRUE(WaitQueued(h, 5));
    Sleep(20);
    Ov ov;
    DWORD mask = 0;
    ASSERT_TRUE(WaitCommEvent(h, &mask, &ov.o));
    EXPECT_EQ(mask, EV_RXCHAR | EV_RXFLAG);
    EXPECT_TRUE(ov.Signalled()) << "an immediate completion still sets the event";
    DWORD n = 77;
    EXPECT_TRUE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    // consumed: the next one waits
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(SetCommMask(h, 0));
    EXPECT_TRUE(ov.Signalled(1000));
}

TEST_F(commapiPort, TheMaskFiltersAndTheEventCharacterIsTheOneLastSet)
{
    DCB d = Dcb(19200);
    d.EvtChar = '#';
    ASSERT_TRUE(SetCommState(h, &d));
    ASSERT_TRUE(SetCommMask(h, EV_RXFLAG));
    Ov ov;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_TRUE(pty.Write("plain\n"));
    ASSERT_TRUE(WaitQueued(h, 6));
    EXPECT_FALSE(ov.Signalled(150)) << "no event character yet";
    ASSERT_TRUE(pty.Write("#"));
    ASSERT_TRUE(ov.Signalled(3000));
    DWORD n = 0;
    EXPECT_TRUE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    EXPECT_EQ(mask, EV_RXFLAG);
}

TEST_F(commapiPort, SetCommMaskZeroReleasesAPendingWait)
{
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
    Ov ov;
    DWORD mask = 0xABCD;
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    // only one wait at a time
    DWORD other = 0;
    Ov ov2;
    EXPECT_FALSE(WaitCommEvent(h, &other, &ov2.o));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(SetCommMask(h, 0));
    ASSERT_TRUE(ov.Signalled(1000));
    DWORD n = 5;
    EXPECT_TRUE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    EXPECT_EQ(mask, 0u);

    // with no events selected a wait ends at once instead of hanging
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    EXPECT_TRUE(ov.Signalled());
    EXPECT_FALSE(GetOverlappedResult(h, &ov.o, &n, FALSE));
}

TEST_F(commapiPort, BlockingWaitWithoutRecordReturnsOnData)
{
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
    std::atomic<int> result{-1};
    DWORD mask = 0;
    std::thread waiter([&] { result = WaitCommEvent(h, &mask, nullptr); });
    Sleep(50);
    EXPECT_EQ(result.load(), -1);
    ASSERT_TRUE(pty.Write("z"));
    waiter.join();
    EXPECT_EQ(result.load(), TRUE);
    EXPECT_EQ(mask, EV_RXCHAR);
}

// ---------------------------------------------------------------- data

TEST_F(commapiPort, BytesTravelExactlyBothWays)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));

    Ov ov;
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, all.data(), 256, &done, &ov.o));
    EXPECT_EQ(done, 256u);
    EXPECT_TRUE(ov.Signalled());
    DWORD n = 0;
    EXPECT_TRUE(GetOverlappedResult(h, &ov.o, &n, FALSE));
    EXPECT_EQ(n, 256u);
    EXPECT_EQ(pty.ReadExactly(256, 3000), all);

    ASSERT_TRUE(pty.Write(all));
    ASSERT_TRUE(WaitQueued(h, 256));
    EXPECT_EQ(InQueue(h), 256u);
    SetTimeouts(h, 1, 0, 1, 0, 1); // the component's values
    std::string got(300, '\0');
    Ov rov;
    ASSERT_TRUE(ReadFile(h, got.data(), 100, &done, &rov.o));
    EXPECT_EQ(done, 100u);
    EXPECT_TRUE(rov.Signalled());
    EXPECT_EQ(InQueue(h), 156u);
    DWORD rest = 0;
    ASSERT_TRUE(ReadFile(h, got.data() + 100, 200, &rest, &rov.o));
    EXPECT_EQ(rest, 156u);
    got.resize(256);
    EXPECT_EQ(got, all);
    EXPECT_EQ(InQueue(h), 0u);
}

TEST_F(commapiPort, ReadTimeoutsFollowTheWindowsRules)
{
    char buf[16];
    DWORD done = 99;
    Ov ov;
    // return at once
    SetTimeouts(h, 0xFFFFFFFFu, 0, 0);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(ov.Signalled());

    // the component's values: an empty queue gives 0 bytes quickly
    SetTimeouts(h, 1, 0, 1);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    EXPECT_EQ(done, 0u);

    // total time-out only
    SetTimeouts(h, 0, 0, 30);
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    EXPECT_EQ(done, 0u);

    // interval only: a short burst ends the read although fewer came
    SetTimeouts(h, 30, 0, 0);
    std::thread sender([&] {
        Sleep(30);
        pty.Write("abc");
    });
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    sender.join();
    EXPECT_EQ(std::string(buf, done), "abc");

    // all zero: wait until every byte asked for has come
    SetTimeouts(h, 0, 0, 0);
    std::thread slow([&] {
        pty.Write("12");
        Sleep(60);
        pty.Write("345");
    });
    ASSERT_TRUE(ReadFile(h, buf, 5, &done, &ov.o));
    slow.join();
    EXPECT_EQ(std::string(buf, done), "12345");

    // "first byte or time-out"
    COMMTIMEOUTS t{0xFFFFFFFFu, 0xFFFFFFFFu, 40, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    EXPECT_EQ(done, 0u);
    std::thread one([&] {
        Sleep(20);
        pty.Write("Q");
    });
    t.ReadTotalTimeoutConstant = 5000;
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &done, &ov.o));
    one.join();
    EXPECT_EQ(std::string(buf, done), "Q");
}

TEST_F(commapiPort, AMegabyteBurstArrivesCompleteAndInOrderThroughASmallQueue)
{
    ASSERT_TRUE(SetupComm(h, 512, 512));
    COMMPROP prop{};
    ASSERT_TRUE(GetCommProperties(h, &prop));
    EXPECT_EQ(prop.dwCurrentRxQueue, 512u);
    SetTimeouts(h, 1, 0, 1, 0, 1);

    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 131 + (i >> 11)) & 0xFF);
    std::atomic<bool> sent{false};
    std::thread writer([&] { sent = pty.Write(data, 60000); });

    std::string got;
    got.reserve(data.size());
    DWORD maxQueued = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::vector<char> buf(700);
    while (got.size() < data.size() && std::chrono::steady_clock::now() < deadline) {
        if (!commlayer::WaitCommIo(h, 0, 200))
            continue;
        maxQueued = std::max(maxQueued, InQueue(h));
        Ov ov;
        DWORD n = 0;
        ASSERT_TRUE(ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, &ov.o));
        got.append(buf.data(), n);
    }
    writer.join();
    EXPECT_TRUE(sent.load());
    ASSERT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "bytes lost or reordered";
    EXPECT_LE(maxQueued, 512u) << "the queue grew past its size";
}

TEST_F(commapiPort, AWriteThatFindsNoRoomEndsAtItsTimeout)
{
    // nobody reads the master: the pty fills up
    SetTimeouts(h, 1, 0, 1, 0, 100);
    std::string block(1 << 20, 'w');
    Ov ov;
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &done, &ov.o));
    EXPECT_GT(done, 0u);
    EXPECT_LT(done, block.size());
    EXPECT_TRUE(ov.Signalled());
    EXPECT_FALSE(commlayer::WaitCommIo(h, 1, 20)) << "no room, so no POLLOUT";
    // draining makes room again
    EXPECT_EQ(pty.ReadExactly(done, 10000).size(), done);
    EXPECT_TRUE(commlayer::WaitCommIo(h, 1, 2000));
}

TEST_F(commapiPort, WaitCommIoWaitsForInputAndRoom)
{
    EXPECT_FALSE(commlayer::WaitCommIo(h, 0, 30));
    EXPECT_TRUE(commlayer::WaitCommIo(h, 1, 1000));
    std::thread sender([&] {
        Sleep(30);
        pty.Write("!");
    });
    EXPECT_TRUE(commlayer::WaitCommIo(h, 0, 5000));
    sender.join();
    EXPECT_FALSE(commlayer::WaitCommIo(h, 2, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(commapiPort, PurgeAndQueueSizes)
{
    ASSERT_TRUE(pty.Write("old data"));
    ASSERT_TRUE(WaitQueued(h, 8));
    ASSERT_TRUE(PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(InQueue(h), 0u);
    ASSERT_TRUE(pty.Write("new"));
    EXPECT_EQ(ReadAll(h, 3), "new");

    SetLastError(0);
    EXPECT_FALSE(SetupComm(h, 0, 2048));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetupComm(h, 65537, 2048));
    EXPECT_FALSE(SetupComm(h, 2048, 65537));
    COMMPROP p{};
    ASSERT_TRUE(GetCommProperties(h, &p));
    EXPECT_EQ(p.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(p.dwCurrentRxQueue, 4096u) << "default input queue";
    ASSERT_TRUE(SetupComm(h, 2048, 1024));
    ASSERT_TRUE(GetCommProperties(h, &p));
    EXPECT_EQ(p.dwCurrentRxQueue, 2048u);
    EXPECT_EQ(p.dwCurrentTxQueue, 1024u);
    EXPECT_NE(p.dwMaxBaud, 0u);

    DWORD errors = 5;
    COMSTAT st{};
    st.cbOutQue = 99;
    ASSERT_TRUE(ClearCommError(h, &errors, &st));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(st.cbOutQue, 0u);

    COMMTIMEOUTS t{1, 2, 3, 4, 5}, r{};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    ASSERT_TRUE(GetCommTimeouts(h, &r));
    EXPECT_EQ(std::memcmp(&t, &r, sizeof t), 0);
    EXPECT_FALSE(PurgeComm(h, 0x10));
}

TEST_F(commapiPort, ShrinkingTheQueueKeepsWhatIsQueuedAndStopsTakingMore)
{
    std::string first(300, 'a'), second(200, 'b');
    ASSERT_TRUE(pty.Write(first));
    ASSERT_TRUE(WaitQueued(h, 300));
    ASSERT_TRUE(SetupComm(h, 128, 128));
    ASSERT_TRUE(pty.Write(second));
    Sleep(50);
    EXPECT_EQ(InQueue(h), 300u) << "nothing lost, nothing taken beyond the size";
    EXPECT_EQ(ReadAll(h, 500), first + second);
}

TEST_F(commapiPort, AQueueFillingPast80PercentRaisesRx80Full)
{
    ASSERT_TRUE(SetupComm(h, 128, 128));
    ASSERT_TRUE(SetCommMask(h, EV_RX80FULL));
    Ov ov;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_TRUE(pty.Write(std::string(50, 'x')));
    ASSERT_TRUE(WaitQueued(h, 50));
    EXPECT_FALSE(ov.Signalled(50)) << "50 of 128 is not 80 %";
    ASSERT_TRUE(pty.Write(std::string(60, 'y')));
    ASSERT_TRUE(ov.Signalled(3000));
    EXPECT_EQ(mask, EV_RX80FULL);
}

// ---------------------------------------------------------------- hang-up and close

TEST_F(commapiPort, HangUpEndsThePendingWaitAndLaterCallsFailWithoutSpinning)
{
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR | EV_RXFLAG));
    Ov ov;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);

    pty.CloseMaster();
    ASSERT_TRUE(ov.Signalled(3000)) << "a pending wait must end when the device goes";
    DWORD n = 0;
    EXPECT_FALSE(GetOverlappedResult(h, &ov.o, &n, FALSE));

    char buf[8];
    DWORD done = 0;
    Ov rov;
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &done, &rov.o));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(rov.Signalled()) << "a failed read still sets its event";
    EXPECT_FALSE(WriteFile(h, "x", 1, &done, &rov.o));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(rov.Signalled());
    DWORD errors = 0;
    COMSTAT st{};
    EXPECT_FALSE(ClearCommError(h, &errors, &st));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(commlayer::WaitCommIo(h, 0, 5000));
    EXPECT_FALSE(commlayer::WaitCommIo(h, 1, 5000));
    // a waiting loop that asks again is answered at once
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov.o));
    EXPECT_TRUE(ov.Signalled());
    EXPECT_FALSE(GetOverlappedResult(h, &ov.o, &n, FALSE));

    // the wait thread must not spin on the hung-up tty
    double cpu0 = ProcessCpuMs();
    Sleep(300);
    double used = ProcessCpuMs() - cpu0;
    EXPECT_LT(used, 100.0) << "CPU used while idle after hang-up";

    EXPECT_TRUE(port->Close());
}

TEST_F(commapiPort, CloseWithAPendingWaitEndsItAndLeavesTheCallersMemoryAlone)
{
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
    auto ov = std::make_unique<Ov>();
    auto mask = std::make_unique<DWORD>(0);
    ASSERT_FALSE(WaitCommEvent(h, mask.get(), &ov->o));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(port->Close());
    EXPECT_TRUE(ov->Signalled()) << "a waiter on the event would hang";

    *mask = 0xDEADBEEF;
    ov->o.Internal = 0x5A5A;
    ResetEvent(ov->ev);
    pty.Write("late data\n");
    Sleep(100);
    EXPECT_EQ(*mask, 0xDEADBEEFu);
    EXPECT_EQ(ov->o.Internal, 0x5A5Au);
    EXPECT_FALSE(ov->Signalled());
}

TEST_F(commapiPort, CloseReleasesCallsBlockedInOtherThreads)
{
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
    SetTimeouts(h, 0, 0, 0); // reads wait for ever
    std::atomic<int> waitResult{-1}, readResult{-1};
    DWORD mask = 0;
    std::thread waiter([&] { waitResult = WaitCommEvent(h, &mask, nullptr); });
    Sleep(30); // one wait at a time: let the first register
    std::thread reader([&] {
        char buf[4];
        DWORD done = 0;
        readResult = ReadFile(h, buf, sizeof buf, &done, nullptr);
    });
    Sleep(50);
    EXPECT_EQ(waitResult.load(), -1);
    EXPECT_EQ(readResult.load(), -1);
    ASSERT_TRUE(port->Close());
    waiter.join();
    reader.join();
    EXPECT_EQ(waitResult.load(), FALSE);
    EXPECT_EQ(readResult.load(), FALSE);
}

TEST_F(commapiPort, ClosedAndForeignHandlesFailCleanly)
{
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(ev, nullptr);
    DCB d{};
    SetLastError(0);
    EXPECT_FALSE(GetCommState(ev, &d)) << "an event is not a port";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(h)) << "a port is not an event";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);

    ASSERT_TRUE(port->Close());
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetCommState(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    for (HANDLE bad : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0x7FFF1234)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_TRUE(CloseHandle(ev));
    EXPECT_FALSE(CloseHandle(ev));
}

// ---------------------------------------------------------------- event objects

TEST(commapiEvents, ManualAndAutoReset)
{
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE autoEv = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(manual, nullptr);
    ASSERT_NE(autoEv, nullptr);
    EXPECT_NE(manual, autoEv);

    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "manual reset stays set";
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);

    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_OBJECT_0) << "initially set";
    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_TIMEOUT) << "auto reset clears on a satisfied wait";

    std::thread setter([&] {
        Sleep(30);
        SetEvent(autoEv);
    });
    EXPECT_EQ(WaitForSingleObject(autoEv, INFINITE), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_TIMEOUT);

    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_TRUE(CloseHandle(autoEv));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(manual));
}

TEST(commapiEvents, WaitForMultipleObjectsReportsTheLowestSignalledEntry)
{
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE list[2] = {stop, wake};
    EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 10), WAIT_TIMEOUT);
    SetEvent(wake);
    EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 0), WAIT_OBJECT_0 + 1);
    SetEvent(stop);
    EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 0), WAIT_OBJECT_0) << "the stop signal wins";
    ResetEvent(stop);
    ResetEvent(wake);

    std::thread setter([&] {
        Sleep(30);
        SetEvent(wake);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();

    // all of them
    EXPECT_EQ(WaitForMultipleObjects(2, list, TRUE, 10), WAIT_TIMEOUT);
    SetEvent(stop);
    EXPECT_EQ(WaitForMultipleObjects(2, list, TRUE, 0), WAIT_OBJECT_0);

    // refusals
    EXPECT_EQ(WaitForMultipleObjects(0, list, FALSE, 0), WAIT_FAILED);
    std::vector<HANDLE> many(65, stop);
    EXPECT_EQ(WaitForMultipleObjects(65, many.data(), FALSE, 0), WAIT_FAILED);
    HANDLE withBad[2] = {stop, reinterpret_cast<HANDLE>(0x7FFF4321)};
    EXPECT_EQ(WaitForMultipleObjects(2, withBad, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(stop);
    CloseHandle(wake);
}

TEST(commapiEvents, LastErrorBelongsToEachThread)
{
    SetLastError(1234);
    DWORD other = 0;
    std::thread t([&] {
        SetLastError(42);
        CloseHandle(reinterpret_cast<HANDLE>(0x7FFF0001));
        other = GetLastError();
    });
    t.join();
    EXPECT_EQ(other, ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), 1234u);
}

// ---------------------------------------------------------------- clock and version

TEST(commapiMisc, ClockAndVersion)
{
    LARGE_INTEGER f{}, c1{}, c2{};
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000LL);
    ASSERT_TRUE(QueryPerformanceCounter(&c1));
    DWORD t1 = GetTickCount();
    Sleep(20);
    ASSERT_TRUE(QueryPerformanceCounter(&c2));
    DWORD t2 = GetTickCount();
    EXPECT_GE(c2.QuadPart - c1.QuadPart, 20000000LL) << "Sleep(20) slept at least 20 ms";
    EXPECT_GE(t2 - t1, 19u);

    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_GE(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwOSVersionInfoSize, sizeof v);
}

// ---------------------------------------------------------------- fault injection

TEST_F(commapiPort, InjectedFaultsFailTheNamedCallsTheGivenNumberOfTimes)
{
    DCB d = Dcb(19200);
    commlayer::InjectFault("SetCommState", 2);
    EXPECT_FALSE(SetCommState(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(SetCommState(h, &d));
    EXPECT_TRUE(SetCommState(h, &d)) << "the third call is healthy again";
    EXPECT_EQ(pty.SlaveSpeed(), 19200u);

    COMMTIMEOUTS t{};
    COMMPROP p{};
    DWORD errors = 0;
    COMSTAT st{};
    struct Case {
        const char *name;
        std::function<BOOL()> call;
    } cases[] = {
        {"GetCommState", [&] { return GetCommState(h, &d); }},
        {"SetupComm", [&] { return SetupComm(h, 2048, 2048); }},
        {"SetCommTimeouts", [&] { return SetCommTimeouts(h, &t); }},
        {"GetCommTimeouts", [&] { return GetCommTimeouts(h, &t); }},
        {"GetCommProperties", [&] { return GetCommProperties(h, &p); }},
        {"ClearCommError", [&] { return ClearCommError(h, &errors, &st); }},
        {"PurgeComm", [&] { return PurgeComm(h, PURGE_RXCLEAR); }},
        {"SetCommMask", [&] { return SetCommMask(h, EV_RXCHAR); }},
    };
    for (const auto &c : cases) {
        commlayer::InjectFault(c.name);
        SetLastError(0);
        EXPECT_FALSE(c.call()) << c.name;
        EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE) << c.name;
        EXPECT_TRUE(c.call()) << c.name << " after the fault";
    }

    // read and write faults still complete their overlapped record
    Ov ov;
    DWORD done = 7;
    commlayer::InjectFault("WriteFile");
    EXPECT_FALSE(WriteFile(h, "abc", 3, &done, &ov.o));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(ov.Signalled());
    EXPECT_FALSE(GetOverlappedResult(h, &ov.o, &done, FALSE));
    EXPECT_EQ(pty.ReadFor(50), "") << "a failed write sent nothing";
    ASSERT_TRUE(pty.Write("in"));
    ASSERT_TRUE(WaitQueued(h, 2));
    char buf[4];
    commlayer::InjectFault("ReadFile");
    EXPECT_FALSE(ReadFile(h, buf, 2, &done, &ov.o));
    EXPECT_TRUE(ov.Signalled());
    EXPECT_EQ(InQueue(h), 2u) << "a failed read takes nothing";
    SetTimeouts(h, 1, 0, 1);
    EXPECT_TRUE(ReadFile(h, buf, 2, &done, &ov.o));
    EXPECT_EQ(std::string(buf, done), "in");

    commlayer::InjectFault("CreateFileA");
    TestPty other;
    EXPECT_EQ(Open(other.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    Port ok(Open(other.SlavePath()));
    EXPECT_TRUE(ok.Valid());

    commlayer::InjectFault("SetupComm", 5);
    commlayer::InjectFault("GetCommState", 5);
    commlayer::ClearFaults();
    EXPECT_TRUE(SetupComm(h, 2048, 2048));
    EXPECT_TRUE(GetCommState(h, &d));
}
