// The Linux comm layer against pseudo-terminals: port events, data both
// ways, hang-up and close.
#include "CommTestSupport.h"

using namespace commtest;

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
