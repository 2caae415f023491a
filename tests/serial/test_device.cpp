// The serial component against pseudo-terminals: opening, line settings seen
// from the device side, sending, reading, event delivery and device loss.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "Thread.h"
#include "XComDrv.h"
#include "SerialPump.h"
#include "pty.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

int CodeOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EDeviceError &e) {
        return e.ErrorCode();
    }
    return 0;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        comm.SetDeviceName(pty.SlavePath());
    }
    void TearDown() override { commlayer::ClearFaults(); }
    TestPty pty;
    TXComm comm;
};

} // namespace

TEST_F(DeviceTest, OpensByComNameAndByPath)
{
    DeviceRootDir root;
    ASSERT_TRUE(root.Link("ttyUSB0", pty.SlavePath()));
    TXComm byName;
    byName.SetDeviceName("COM5");
    ASSERT_TRUE(byName.Open());
    EXPECT_TRUE(byName.Opened());
    byName.Close();
    EXPECT_FALSE(byName.Opened());

    ASSERT_TRUE(comm.Open()) << "a path as the device name opens as it stands";
    comm.Close();
    ASSERT_TRUE(comm.Open()) << "reopen after close";
}

TEST_F(DeviceTest, MisuseCodesAndMissingDevices)
{
    EXPECT_EQ(CodeOf([&] { comm.Close(); }), 1);
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(CodeOf([&] { comm.Open(); }), 2);
    EXPECT_TRUE(comm.Opened()) << "a second Open leaves the open port untouched";
    EXPECT_TRUE(comm.SendString("x"));
    EXPECT_EQ(pty.ReadExactly(1, 2000), "x");

    DeviceRootDir root;
    ASSERT_TRUE(root.MakeFile("ttyS0"));
    TXComm other;
    other.SetDeviceName("COM99");
    EXPECT_FALSE(other.Open());
    EXPECT_FALSE(other.Opened());
    other.SetDeviceName("COM1"); // a regular file is no port
    EXPECT_FALSE(other.Open());
    other.SetDeviceName("COM2"); // nothing behind it
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(CodeOf([&] { other.Close(); }), 1);
}

TEST_F(DeviceTest, PortHeldByAnotherProcessCannotBeOpened)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        (void)!write(ready[1], locked ? "1" : "0", 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    EXPECT_FALSE(comm.Open()) << "busy, also for root";
    EXPECT_FALSE(comm.Opened());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(comm.Open()) << "free again once the holder is gone";
}

TEST_F(DeviceTest, DeviceSees19200EightNoneOneWithoutFlowControl)
{
    comm.SetBaudRate(br19200);
    ASSERT_TRUE(comm.Open());
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(pty.SlaveSpeed(), 19200u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO)) << "raw mode";

    comm.DataControl().SetStopBits(sb2);
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_TRUE(t.c_cflag & CSTOPB) << "a change reaches the open device at once";
    comm.SetFlowControl(fcRtsCts);
    ASSERT_TRUE(pty.SlaveTermios(&t));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(comm.RTSSettings(), (TRTSSettings{fsCTSOut, fsRTSHandshake})) << "decoded from the device";
}

TEST_F(DeviceTest, ReadingBackFromTheDevice)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(comm.BaudRate(), br9600);

    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    ASSERT_EQ(tcsetattr(pty.MasterFd(), TCSANOW, &t), 0);
    EXPECT_EQ(comm.BaudValue(), 38400u) << "the device's speed, not the stored one";
    EXPECT_EQ(comm.BaudRate(), br38400) << "found in the table";

    comm.SetBaudRate(brCustom);
    ASSERT_NO_THROW(comm.SetBaudValue(31250));
    EXPECT_EQ(pty.SlaveSpeed(), 31250u);
    EXPECT_EQ(comm.BaudRate(), brCustom);
    ASSERT_NO_THROW(comm.SetBaudRate(br19200));
    EXPECT_EQ(pty.SlaveSpeed(), 19200u);

    // A pseudo-terminal keeps neither parity nor a byte size other than 8:
    // it refuses them, and the getters report what the device holds.
    EXPECT_EQ(CodeOf([&] { comm.DataControl().SetParity(paEven); }), 3);
    EXPECT_EQ(CodeOf([&] { comm.DataControl().SetDataBits(db7); }), 3);
    EXPECT_EQ(comm.DataControl().Parity(), paNone);
    EXPECT_EQ(comm.DataControl().DataBits(), db8);
    EXPECT_EQ(comm.StoredLineSettings().Parity, paEven);

    // Device queries that fail report the stored values.
    commlayer::InjectFault("GetCommState", 1);
    EXPECT_EQ(comm.DataControl().DataBits(), db7);
    comm.Timeouts().SetReadConstant(9);
    EXPECT_EQ(comm.Timeouts().ReadConstant(), 9u);
    EXPECT_EQ(comm.Buffers().InputSize(), 2048);
}

TEST_F(DeviceTest, ACustomSpeedStaysCustomOnceRead)
{
    comm.SetBaudRate(br19200);
    ASSERT_TRUE(comm.Open());
    comm.SetBaudRate(brCustom);
    comm.SetBaudValue(31250);
    EXPECT_EQ(comm.BaudRate(), brCustom);
    termios t{};
    ASSERT_TRUE(pty.SlaveTermios(&t));
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    ASSERT_EQ(tcsetattr(pty.MasterFd(), TCSANOW, &t), 0);
    EXPECT_EQ(comm.BaudRate(), brCustom) << "reading no longer searches the table";
    EXPECT_EQ(comm.BaudValue(), 19200u);
}

TEST_F(DeviceTest, RefusedSettingsRaiseTheirCodesAndStayStored)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(CodeOf([&] { comm.DataControl().SetStopBits(sb1p5); }), 3);
    EXPECT_EQ(comm.StoredLineSettings().StopBits, sb1p5) << "nothing is rolled back";
    EXPECT_TRUE(comm.Opened());

    commlayer::InjectFault("SetupComm", 1);
    EXPECT_EQ(CodeOf([&] { comm.Buffers().SetInputSize(1024); }), 6);
    commlayer::InjectFault("SetCommTimeouts", 1);
    EXPECT_EQ(CodeOf([&] { comm.Timeouts().SetWriteConstant(5); }), 7);

    // A refusal during Open leaves the device open with its event thread.
    comm.Close();
    comm.DataControl().SetStopBits(sb1);
    commlayer::InjectFault("SetCommTimeouts", 1);
    EXPECT_EQ(CodeOf([&] { comm.Open(); }), 7);
    EXPECT_TRUE(comm.Opened());
    comm.Close();
    commlayer::InjectFault("SetupComm", 1);
    EXPECT_EQ(CodeOf([&] { comm.Open(); }), 6);
    EXPECT_TRUE(comm.Opened());
}

TEST_F(DeviceTest, WritesThatChangeNothingDoNotTouchTheDevice)
{
    comm.SetBaudRate(br19200);
    ASSERT_TRUE(comm.Open());
    // Any apply would now fail loudly.
    commlayer::InjectFault("SetCommState", 100);
    EXPECT_EQ(CodeOf([&] { comm.SetBaudRate(br19200); }), 0);
    EXPECT_EQ(CodeOf([&] { comm.SetOptions({coLeaveDTROpen}); }), 0);
    EXPECT_TRUE(comm.Options().Empty()) << "leave-DTR-open cannot change while open";
    EXPECT_EQ(CodeOf([&] { comm.SetRTSSettings({fsRTSEnabled}); }), 0) << "ignored without fcCustom";
    EXPECT_EQ(CodeOf([&] { comm.SetBaudValue(31250); }), 0) << "ignored without brCustom";
    EXPECT_EQ(CodeOf([&] { comm.SetDeviceName("COM7"); }), 0);
    EXPECT_EQ(comm.DeviceName(), pty.SlavePath()) << "no rename while open";
    EXPECT_EQ(CodeOf([&] { comm.SetBuffers(comm.Buffers()); }), 0);
    // A real change is applied at once (and here refused).
    EXPECT_EQ(CodeOf([&] { comm.DataControl().SetDataBits(db7); }), 3);
    TXComm source;
    EXPECT_EQ(CodeOf([&] { comm.SetDataControl(source.DataControl()); }), 3) << "a copy applies to an open receiver";
    commlayer::ClearFaults();
}

TEST_F(DeviceTest, ChangingTheQueueSizePurgesUnreadInput)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitQueued(comm, 3));
    comm.Buffers().SetInputSize(1024);
    EXPECT_EQ(comm.QueueCount(0), 0u);
    EXPECT_EQ(comm.Buffers().InputSize(), 1024) << "the driver's queue size";
    EXPECT_EQ(comm.QueueCount(7), 0u);
}

TEST_F(DeviceTest, SendStringPutsExactlyTheBytesOnTheWire)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_TRUE(comm.SendString("ATI0\r\n"));
    EXPECT_EQ(pty.ReadExactly(6, 2000), "ATI0\r\n");
    EXPECT_TRUE(comm.SendString(""));
    const std::string binary("\x00\xff\x0d\x80", 4);
    EXPECT_TRUE(comm.SendString(binary));
    EXPECT_EQ(pty.ReadExactly(4, 2000), binary);
    EXPECT_EQ(pty.ReadFor(50), "") << "nothing more";
}

TEST_F(DeviceTest, ReadStringTakesWhatIsQueuedWithoutWaiting)
{
    ASSERT_TRUE(comm.Open());
    std::string text = "stale";
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm.ReadString(text));
    EXPECT_TRUE(text.empty());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(400)) << "nothing queued: no wait";

    ASSERT_TRUE(pty.Write("12345"));
    ASSERT_TRUE(WaitQueued(comm, 5));
    EXPECT_TRUE(comm.ReadString(text));
    EXPECT_EQ(text, "12345");
    EXPECT_FALSE(comm.ReadString(text));

    char buf[8];
    EXPECT_EQ(comm.Read(buf, 0), 0u);
    ASSERT_TRUE(pty.Write("xy"));
    EXPECT_EQ(comm.Read(buf, 2, 2000), 2u) << "Read waits for data within its time-out";
    EXPECT_EQ(std::string(buf, 2), "xy");
    EXPECT_EQ(comm.Read(buf, 1, 50), 0u) << "time-out with nothing";
}

TEST_F(DeviceTest, OnDataRunsOnTheMainThreadWithTheQueuedCount)
{
    std::atomic<int> calls{0};
    std::thread::id where;
    std::uint32_t received = 0;
    comm.OnData = [&](TCustomComm *sender, std::uint32_t n) {
        EXPECT_EQ(sender, &comm);
        where = std::this_thread::get_id();
        received = n;
        std::string s;
        comm.ReadString(s);
        ++calls;
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("hello"));
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_GE(received, 1u);
    EXPECT_LE(received, 5u);

    // A lone event character raises OnData as well.
    PumpUntil([] { return false; }, 50);
    const int before = calls;
    ASSERT_TRUE(pty.Write("\n"));
    ASSERT_TRUE(PumpUntil([&] { return calls > before; }));
}

TEST_F(DeviceTest, OnCommEventSeesOnlyMonitoredEvents)
{
    std::vector<std::uint16_t> seen;
    comm.OnCommEvent = [&](TCustomComm *, TDeviceEvents e) { seen.push_back(e.Raw()); };
    comm.SetMonitorEvents({deChar});
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(comm.SendString("AT\r\n"));
    EXPECT_TRUE(seen.empty()) << "output-empty not monitored";
    ASSERT_TRUE(pty.Write("7"));
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.front(), TDeviceEvents{deChar}.Raw());

    seen.clear();
    comm.SetMonitorEvents({deChar, deFlag, deOutEmpty});
    ASSERT_TRUE(comm.SendString("AT\r\n"));
    ASSERT_EQ(seen.size(), 1u) << "one write request, one report, on the sending thread";
    EXPECT_EQ(seen.front(), TDeviceEvents{deOutEmpty}.Raw());
}

TEST_F(DeviceTest, SendAndReadLocks)
{
    ASSERT_TRUE(comm.Open());
    int sendCode = -1, readInSend = -1, readCode = -1, sendInRead = -1;
    comm.OnSend = [&](TCustomComm *) {
        EXPECT_TRUE(comm.DeviceLocks().Contains(dlSend));
        sendCode = CodeOf([&] { comm.SendString("x"); });
        char b;
        readInSend = CodeOf([&] { comm.Read(&b, 1, 0); });
    };
    ASSERT_TRUE(comm.SendString("A"));
    EXPECT_EQ(sendCode, 4);
    EXPECT_EQ(readInSend, 0) << "a read inside OnSend is allowed";
    EXPECT_TRUE(comm.DeviceLocks().Empty()) << "the bit is cleared afterwards";
    comm.OnSend = nullptr;

    comm.OnRead = [&](TCustomComm *) {
        char b;
        readCode = CodeOf([&] { comm.Read(&b, 1, 0); });
        sendInRead = CodeOf([&] { comm.SendString("y"); });
    };
    ASSERT_TRUE(pty.Write("z"));
    char b;
    EXPECT_EQ(comm.Read(&b, 1, 2000), 1u);
    EXPECT_EQ(readCode, 5);
    EXPECT_EQ(sendInRead, 0);

    // A handler that raises leaves Send at once, with the bit cleared.
    comm.OnRead = nullptr;
    comm.OnSend = [](TCustomComm *) { throw std::runtime_error("handler"); };
    EXPECT_THROW(comm.SendString("q"), std::runtime_error);
    EXPECT_TRUE(comm.DeviceLocks().Empty());

    // Count 0 returns at once and calls no handler.
    int handlers = 0;
    comm.OnSend = [&](TCustomComm *) { ++handlers; };
    comm.OnCommEvent = [&](TCustomComm *, TDeviceEvents) { ++handlers; };
    EXPECT_EQ(comm.Send("x", 0), 0u);
    EXPECT_EQ(handlers, 0);
}

TEST_F(DeviceTest, CloseDeliversAPendingOnDataAndDestructionDropsIt)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        EXPECT_TRUE(c->Opened()) << "delivered before the handle is closed";
        ++calls;
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("1"));
    // Not pumping: the event thread now waits in its hand-over.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 0);
    comm.Close();
    EXPECT_EQ(calls, 1);

    auto doomed = std::make_unique<TXComm>();
    int lost = 0;
    doomed->OnData = [&](TCustomComm *, std::uint32_t) { ++lost; };
    doomed->SetDeviceName(pty.SlavePath());
    ASSERT_TRUE(doomed->Open());
    ASSERT_TRUE(pty.Write("2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    doomed.reset();
    EXPECT_EQ(lost, 0);
}

TEST_F(DeviceTest, CloseFromInsideOnDataClosesAtOnce)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        ++calls;
        c->Close();
        EXPECT_FALSE(c->Opened());
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("x"));
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    EXPECT_FALSE(comm.Opened());
    comm.OnData = [&](TCustomComm *, std::uint32_t) { ++calls; };
    ASSERT_TRUE(comm.Open()) << "reopens after a close from a handler";
    ASSERT_TRUE(pty.Write("y"));
    ASSERT_TRUE(PumpUntil([&] { return calls > 1; }));
    comm.Close();
}

TEST_F(DeviceTest, AHandlerThatRaisesEndsEventDelivery)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *, std::uint32_t) {
        ++calls;
        throw std::runtime_error("bad handler");
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("a"));
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    ASSERT_TRUE(pty.Write("b"));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(calls, 1) << "no more events until reopened";
    EXPECT_TRUE(comm.Opened());
    EXPECT_TRUE(comm.SendString("still sends"));
    comm.Close();
    ASSERT_TRUE(comm.Open());
    comm.OnData = [&](TCustomComm *, std::uint32_t) { ++calls; };
    ASSERT_TRUE(pty.Write("c"));
    EXPECT_TRUE(PumpUntil([&] { return calls == 2; }));
}

TEST_F(DeviceTest, DeviceVanishingWhileOpen)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *, std::uint32_t) { ++calls; };
    ASSERT_TRUE(comm.Open());
    pty.CloseMaster();
    PumpUntil([] { return false; }, 100);
    const double cpu0 = ProcessCpuMs();
    PumpUntil([] { return false; }, 300);
    EXPECT_LT(ProcessCpuMs() - cpu0, 100.0) << "nothing spins after a hang-up";
    EXPECT_TRUE(comm.Opened());
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm.SendString("ATI0\r\n"));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
    std::string text;
    EXPECT_FALSE(comm.ReadString(text));
    comm.Close();
    EXPECT_FALSE(comm.Opened());
}

TEST_F(DeviceTest, WriteTimeOutWhenTheDeviceReadsNothing)
{
    ASSERT_TRUE(comm.Open());
    comm.Buffers().SetOutputTimeout(200);
    const std::string big(256 * 1024, 'w'); // more than a pty holds
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm.SendString(big));
    const auto took = Clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(DeviceTest, BurstArrivesCompleteAndInOrder)
{
    comm.Buffers().SetInputSize(512);
    ASSERT_TRUE(comm.Open());
    std::string sent(1 << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    std::thread writer([&] { pty.Write(sent, 30000); });
    std::string got;
    got.reserve(sent.size());
    const auto end = Clock::now() + std::chrono::seconds(30);
    std::vector<char> buf(4096);
    while (got.size() < sent.size() && Clock::now() < end) {
        const std::uint32_t n = comm.Read(buf.data(), static_cast<std::uint32_t>(buf.size()), 100);
        got.append(buf.data(), n);
    }
    writer.join();
    ASSERT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent) << "bytes lost or reordered";
}
