// The Linux comm layer against pseudo-terminals: names, opening, line
// settings seen from the device side, event objects, the clock and fault
// injection.
#include "CommTestSupport.h"

using namespace commtest;

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

// ---------------------------------------------------------------- probe

TEST(commapiProbe, TellsPresentBusyAndAbsentWithoutTouchingTheLine)
{
    TestPty pty;
    DeviceRootDir root;
    ASSERT_TRUE(root.Link("ttyUSB3", pty.SlavePath()));
    ASSERT_TRUE(root.MakeFile("ttyUSB4"));
    termios before{};
    ASSERT_TRUE(pty.SlaveTermios(&before));
    ASSERT_TRUE(before.c_lflag & ICANON) << "a fresh pty starts cooked";
    ASSERT_TRUE(pty.Write("queued\n"));
    // Our own view of the input queue; a cooked tty is readable once a
    // whole line is there.
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    pollfd line{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&line, 1, 3000), 1);
    int queued = -1;
    EXPECT_EQ(::ioctl(fd, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 7);

    EXPECT_EQ(commlayer::ProbeDevice("\\\\.\\COM8"), ERROR_SUCCESS);
    EXPECT_EQ(commlayer::ProbeDevice(pty.SlavePath()), ERROR_SUCCESS);
    EXPECT_EQ(commlayer::ProbeDevice("\\\\.\\COM9"), ERROR_FILE_NOT_FOUND) << "a regular file";
    EXPECT_EQ(commlayer::ProbeDevice("\\\\.\\COM10"), ERROR_FILE_NOT_FOUND) << "no node";
    EXPECT_EQ(commlayer::ProbeDevice("\\\\.\\COM99"), ERROR_FILE_NOT_FOUND) << "no table entry";

    termios after{};
    ASSERT_TRUE(pty.SlaveTermios(&after));
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "the line stays cooked";
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    queued = -1;
    EXPECT_EQ(::ioctl(fd, FIONREAD, &queued), 0);
    ::close(fd);
    EXPECT_EQ(queued, 7) << "the queued line is still there";

    Port p(Open(pty.SlavePath()));
    ASSERT_TRUE(p.Valid());
    const DWORD held = commlayer::ProbeDevice(pty.SlavePath());
    EXPECT_TRUE(held == ERROR_SUCCESS || held == ERROR_ACCESS_DENIED) << "a held port exists: " << held;
}
