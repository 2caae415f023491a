// The serial component against pseudo-terminals, beyond the scenarios it
// shares with the Windows build (device_scenarios.cpp): COM names through the
// device root, what a pty keeps of the line settings, refusals injected into
// the layer, events, locks and time-outs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "DeviceEnd.h"
#include "SerialPump.h"
#include "Thread.h"
#include "XComDrv.h"
#include "pty.h"

namespace {

using Clock = std::chrono::steady_clock;

class PtyDeviceTest : public ::testing::Test {
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

TEST_F(PtyDeviceTest, ComNamesFindTheirDeviceUnderTheRoot)
{
    DeviceRootDir root;
    ASSERT_TRUE(root.Link("ttyUSB0", pty.SlavePath()));
    TXComm byName;
    byName.SetDeviceName("COM5");
    EXPECT_TRUE(TCustomComm::Probe("COM5"));
    ASSERT_TRUE(byName.Open());
    EXPECT_TRUE(byName.Opened());
    EXPECT_TRUE(byName.SendString("5"));
    EXPECT_EQ(pty.ReadExactly(1, 2000), "5");
    byName.Close();
    EXPECT_FALSE(byName.Opened());

    ASSERT_TRUE(root.MakeFile("ttyS0"));
    ASSERT_TRUE(root.MakeDir("ttyS2"));
    TXComm other;
    for (const char *name : {"COM1", "COM2", "COM3", "COM37"}) {
        SCOPED_TRACE(name); // a regular file, nothing, a folder, no mapping
        EXPECT_FALSE(TCustomComm::Probe(name));
        other.SetDeviceName(name);
        EXPECT_FALSE(other.Open());
        EXPECT_FALSE(other.Opened());
    }
}

TEST_F(PtyDeviceTest, WhatAPtyKeepsOfTheLineSettings)
{
    ASSERT_TRUE(comm.Open());
    comm.SetBaudRate(brCustom);
    ASSERT_NO_THROW(comm.SetBaudValue(31250));
    EXPECT_EQ(pty.SlaveSpeed(), 31250u) << "termios2 sets a custom rate exactly";
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

TEST_F(PtyDeviceTest, ACustomSpeedStaysCustomOnceRead)
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

TEST_F(PtyDeviceTest, RefusedSettingsRaiseTheirCodesAndStayStored)
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

TEST_F(PtyDeviceTest, WritesThatChangeNothingDoNotTouchTheDevice)
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

TEST_F(PtyDeviceTest, ChangingTheQueueSizePurgesUnreadInput)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitQueued(comm, 3));
    comm.Buffers().SetInputSize(1024);
    EXPECT_EQ(comm.QueueCount(0), 0u);
    EXPECT_EQ(comm.Buffers().InputSize(), 1024) << "the driver's queue size";
    EXPECT_EQ(comm.QueueCount(7), 0u);
}

TEST_F(PtyDeviceTest, OnCommEventSeesOnlyMonitoredEvents)
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

TEST_F(PtyDeviceTest, SendAndReadLocks)
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

TEST_F(PtyDeviceTest, AHandlerThatRaisesEndsEventDelivery)
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
    EXPECT_TRUE(WaitQueued(comm, 2)) << "what arrives is queued, with no event thread left";
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

TEST_F(PtyDeviceTest, ACountInsideAReadHandlerSeesWhatArrivesMeanwhile)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitQueued(comm, 3));
    bool first = true, counted = false;
    comm.OnRead = [&](TCustomComm *) {
        if (!std::exchange(first, false))
            return;
        // Nothing turns the main loop meanwhile: the count alone must see it.
        EXPECT_TRUE(pty.Write("def"));
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (!(counted = comm.QueueCount(0) == 3) && Clock::now() < end)
            std::this_thread::yield();
    };
    std::string text;
    ASSERT_TRUE(comm.ReadString(text));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(counted) << "bytes that arrived during the read were never counted";
    ASSERT_TRUE(comm.ReadString(text));
    EXPECT_EQ(text, "def");
}

TEST_F(PtyDeviceTest, WriteTimeOutWhenTheDeviceReadsNothing)
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
