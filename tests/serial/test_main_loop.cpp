// Ports whose arrivals wake the main loop itself: the test thread is the
// main thread and runs a loop as an application would, asleep in poll on
// MainLoopFd and calling CheckSynchronize when it is readable.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "HandOverWatch.h"
#include "SerialPump.h"
#include "Thread.h"
#include "XComDrv.h"
#include "pty.h"

namespace {

using Clock = std::chrono::steady_clock;

// One loop turn: asleep until the descriptor is readable or `ms` pass, then
// whatever it signalled is served. True when it was readable.
bool Turn(int ms)
{
    pollfd p{MainLoopFd(), POLLIN, 0};
    const bool readable = ::poll(&p, 1, ms) > 0;
    CheckSynchronize();
    return readable;
}

bool ServeUntil(const std::function<bool()> &done, int ms = 5000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return false;
        Turn(static_cast<int>(left));
    }
    return true;
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        ASSERT_GE(MainLoopFd(), 0); // before any port opens, as the program does
        comm.SetDeviceName(device.SlavePath());
        comm.OnData = [this](TCustomComm *, std::uint32_t) {
            ++deliveries;
            onMain = onMain && IsMainThread();
            std::string s;
            comm.ReadString(s);
            got += s;
            if (handler)
                handler();
        };
    }

    TestPty device;
    TXComm comm;
    HandOverWatch handOvers; // counts the event thread's requests
    std::function<void()> handler;
    std::string got;
    int deliveries = 0;
    bool onMain = true;
};

TEST_F(MainLoop, AnArrivalWakesTheMainLoopWhichDeliversItItself)
{
    ASSERT_TRUE(comm.Open());
    std::string sent;
    for (int i = 0; i < 50; ++i) {
        const std::string chunk = "reply " + std::to_string(i) + "\r\n";
        sent += chunk;
        ASSERT_TRUE(device.Write(chunk));
        ASSERT_TRUE(ServeUntil([&] { return got.size() == sent.size(); })) << got;
    }
    EXPECT_EQ(got, sent) << "every byte once, in order";
    EXPECT_TRUE(onMain);
    // A loop asleep in poll is woken by the arrival itself; the event thread
    // asks for a hand-over only when the main thread is slower than it by
    // milliseconds.
    EXPECT_LT(handOvers.Requests(), deliveries) << "no arrival was delivered by the main loop itself";
    comm.Close();
}

TEST_F(MainLoop, NoDeliveryRunsInsideAnotherAndNothingWaitingIsLost)
{
    ASSERT_TRUE(comm.Open());
    int depth = 0, deepest = 0;
    bool nestedTurnWoken = false;
    handler = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (deliveries == 1) {
            // More comes while this handler runs a loop of its own (as a
            // modal box does): the loop is woken, but the event waits.
            EXPECT_TRUE(device.Write("second\r\n"));
            nestedTurnWoken = Turn(5000);
        }
        --depth;
    };
    ASSERT_TRUE(device.Write("first\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "first\r\nsecond\r\n"; })) << got;
    EXPECT_TRUE(nestedTurnWoken);
    EXPECT_EQ(deepest, 1);
    comm.Close();
}

TEST_F(MainLoop, ABusyMainThreadLeavesTheArrivalToTheEventThread)
{
    ASSERT_TRUE(comm.Open());
    const int before = handOvers.Requests();
    ASSERT_TRUE(device.Write("while busy\r\n"));
    // Not serving its loop: the event thread reads the arrival itself and
    // asks for the hand-over, which the next turn runs.
    ASSERT_TRUE(handOvers.AwaitBeyond(before));
    EXPECT_EQ(deliveries, 0);
    ASSERT_TRUE(ServeUntil([&] { return got == "while busy\r\n"; })) << got;
    EXPECT_EQ(deliveries, 1);
    comm.Close();
}

TEST_F(MainLoop, ClosingInsideADirectDeliveryAndOpeningAgain)
{
    ASSERT_TRUE(comm.Open());
    handler = [&] {
        if (deliveries == 1)
            comm.Close();
    };
    ASSERT_TRUE(device.Write("one\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 1; }));
    EXPECT_FALSE(comm.Opened());
    ASSERT_TRUE(comm.Open()) << "the port is free again";
    ASSERT_TRUE(device.Write("two\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "one\r\ntwo\r\n"; })) << got;
    comm.Close();
}

TEST_F(MainLoop, AHandlersExceptionEndsTheEventsUntilTheNextOpen)
{
    ASSERT_TRUE(comm.Open());
    handler = [&] {
        if (deliveries == 1)
            throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(device.Write("one\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 1; }));
    // Nothing delivers the next arrival, whether it waits in the tty or the
    // ending thread took it into the queue.
    const int fd = commlayer::PollableFd(comm.Handle());
    ASSERT_TRUE(device.Write("two\r\n"));
    ASSERT_TRUE(PumpUntil([&] {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 || comm.QueueCount(0) > 0;
    }));
    Turn(0);
    EXPECT_EQ(deliveries, 1);
    comm.Close();
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("three\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 2; }));
    EXPECT_EQ(got, "one\r\nthree\r\n") << "a new open flushed the old line";
    comm.Close();
}

TEST_F(MainLoop, WithoutSynchronizeTheEventThreadDelivers)
{
    comm.SetSynchronize(false);
    ASSERT_TRUE(comm.Open());
    std::atomic<bool> done{false};
    handler = [&] { done = true; };
    ASSERT_TRUE(device.Write("x\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return done.load(); }));
    EXPECT_FALSE(onMain);
    comm.Close();
}

TEST_F(MainLoop, AVanishedDeviceLeavesTheLoopQuiet)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("last\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "last\r\n"; }));
    const int fd = commlayer::PollableFd(comm.Handle());
    device.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return ::fcntl(fd, F_GETFD) == -1; })) << "the hung-up tty is let go";
    // Whoever noticed the hang-up first, nothing keeps the loop awake now.
    int readable = 0;
    while (Turn(0) && readable < 100)
        ++readable;
    EXPECT_LE(readable, 1) << "the loop spins on a hung-up port";
    EXPECT_TRUE(comm.Opened());
    EXPECT_FALSE(comm.SendString("AT\r\n"));
    comm.Close();
}

TEST_F(MainLoop, AWatchOutlivedByItsDescriptorDoesNotEndAnotherPortsWatch)
{
    // The first port hangs up and lets its tty go; the second may get the
    // same descriptor number; closing the first must leave the second's
    // watch alone.
    TestPty other;
    ASSERT_TRUE(comm.Open());
    const int oldFd = commlayer::PollableFd(comm.Handle());
    ASSERT_GE(oldFd, 0);
    device.CloseMaster();
    const int filler = ::open("/dev/null", O_RDONLY | O_CLOEXEC); // takes the master's number
    ASSERT_TRUE(PumpUntil([&] { return ::fcntl(oldFd, F_GETFD) == -1; })) << "the hung-up tty is let go";
    TXComm second;
    second.SetDeviceName(other.SlavePath());
    std::string secondGot;
    int secondDeliveries = 0;
    second.OnData = [&](TCustomComm *, std::uint32_t) {
        ++secondDeliveries;
        std::string s;
        second.ReadString(s);
        secondGot += s;
    };
    ASSERT_TRUE(second.Open());
    ASSERT_EQ(commlayer::PollableFd(second.Handle()), oldFd) << "the lowest free number is taken again";
    comm.Close();
    const int before = handOvers.Requests();
    std::string sent;
    for (int i = 0; i < 20; ++i) {
        sent += "line " + std::to_string(i) + "\r\n";
        ASSERT_TRUE(other.Write("line " + std::to_string(i) + "\r\n"));
        ASSERT_TRUE(ServeUntil([&] { return secondGot == sent; })) << secondGot;
    }
    EXPECT_LT(handOvers.Requests() - before, secondDeliveries) << "the second port is no longer watched";
    second.Close();
    ::close(filler);
}

} // namespace
