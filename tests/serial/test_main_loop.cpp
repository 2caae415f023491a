// Ports whose arrivals wake the main loop itself: the test thread is the
// main thread and runs a loop as an application would, asleep in poll on
// MainLoopFd and calling CheckSynchronize when it is readable.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "HandOverWatch.h"
#include "ProcessFigures.h"
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

// Until every one of these threads sleeps (or 5 s pass).
bool AwaitAsleep(const std::set<pid_t> &tids)
{
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!ThreadsAsleep(tids)) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::yield();
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

TEST_F(MainLoop, AnArrivalWakesOnlyTheMainThread)
{
    const std::set<pid_t> before = ThreadIds();
    ASSERT_TRUE(comm.Open());
    std::set<pid_t> port; // the threads the open started
    for (pid_t t : ThreadIds())
        if (!before.count(t))
            port.insert(t);
    ASSERT_FALSE(port.empty());
    ASSERT_TRUE(device.Write("first\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "first\r\n"; })) << got;
    ASSERT_TRUE(AwaitAsleep(port)) << "the port's threads never settled";
    const long switches = ThreadSwitches(port);
    std::string sent = got;
    for (int i = 0; i < 20; ++i) {
        const std::string chunk = "reply " + std::to_string(i) + "\r\n";
        sent += chunk;
        ASSERT_TRUE(device.Write(chunk));
        ASSERT_TRUE(ServeUntil([&] { return got.size() == sent.size(); })) << got;
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(ThreadSwitches(port), switches) << "the port's threads woke for arrivals the main loop delivered";
    comm.Close();
}

TEST_F(MainLoop, ABusyMainThreadFindsTheArrivalInThePortWhenItTurns)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("first\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 1; }));
    const int before = handOvers.Requests();
    ASSERT_TRUE(device.Write("while busy\r\n"));
    // Not turning its loop: the arrival stays in the port, announced.
    pollfd tty{commlayer::PollableFd(comm.Handle()), POLLIN, 0};
    ASSERT_EQ(::poll(&tty, 1, 5000), 1);
    pollfd loop{MainLoopFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&loop, 1, 0), 1);
    ASSERT_TRUE(ServeUntil([&] { return got == "first\r\nwhile busy\r\n"; })) << got;
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(handOvers.Requests(), before) << "delivered by the loop itself";
    comm.Close();
}

TEST_F(MainLoop, ACountTakenOffTheLoopIncludesWhatWaitsInThePort)
{
    ASSERT_TRUE(comm.Open());
    // Once the port is the loop's (just after the open, the device's own
    // thread may still take an arrival).
    ASSERT_TRUE(device.Write("first\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 1; }));
    got.clear();
    ASSERT_TRUE(device.Write("late\r\n"));
    pollfd tty{commlayer::PollableFd(comm.Handle()), POLLIN, 0};
    ASSERT_EQ(::poll(&tty, 1, 5000), 1);
    // As a request about to go out drains what is stale.
    EXPECT_EQ(comm.QueueCount(0), 6u);
    std::string stale;
    ASSERT_TRUE(comm.ReadString(stale));
    EXPECT_EQ(stale, "late\r\n");
    // The event of those bytes still comes, once, with nothing left to read.
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 2; }));
    Turn(0);
    EXPECT_EQ(deliveries, 2);
    EXPECT_EQ(got, "");
    comm.Close();
}

TEST_F(MainLoop, ACountInsideADeliverySeesWhatArrivesMeanwhile)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("first\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return deliveries == 1; }));
    const int before = handOvers.Requests();
    bool counted = false;
    handler = [&] {
        if (deliveries != 2)
            return;
        // The loop is busy here: only the count can take the bytes off the port.
        EXPECT_TRUE(device.Write("more"));
        const auto end = Clock::now() + std::chrono::seconds(5);
        while (!(counted = comm.QueueCount(0) == 4) && Clock::now() < end)
            std::this_thread::yield();
    };
    ASSERT_TRUE(device.Write("second\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "first\r\nsecond\r\nmore"; })) << got;
    EXPECT_TRUE(counted) << "bytes that arrived during the handler were never counted";
    EXPECT_EQ(deliveries, 3);
    EXPECT_EQ(handOvers.Requests(), before) << "what the count took is delivered by the loop itself";
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

TEST_F(MainLoop, WithoutSynchronizeTheEventThreadDeliversWithoutTheLoop)
{
    comm.SetSynchronize(false);
    std::promise<void> delivered;
    handler = [&] { delivered.set_value(); }; // before the thread starts: nothing else orders it
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("x\r\n"));
    // The loop is not turned at all.
    ASSERT_EQ(delivered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(onMain);
    comm.Close();
}

TEST_F(MainLoop, SynchronizeSwitchedWhileOpenMovesTheDeliveryBothWays)
{
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(device.Write("on main\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "on main\r\n"; })) << got;
    EXPECT_TRUE(onMain);

    // Off: the next arrival wakes the loop, which leaves it to the thread.
    comm.SetSynchronize(false);
    std::promise<void> offMain;
    handler = [&] {
        handler = nullptr;
        offMain.set_value();
    };
    ASSERT_TRUE(device.Write("off\r\n"));
    auto offDelivered = offMain.get_future();
    while (offDelivered.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        ASSERT_TRUE(Turn(5000) || offDelivered.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    EXPECT_FALSE(onMain);

    // On again: back on the main thread.
    comm.SetSynchronize(true);
    onMain = true;
    ASSERT_TRUE(device.Write("on again\r\n"));
    ASSERT_TRUE(ServeUntil([&] { return got == "on main\r\noff\r\non again\r\n"; })) << got;
    EXPECT_TRUE(onMain);
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

TEST_F(MainLoop, AWatchOutlivedByItsDescriptorDoesNotEndTheNextOneOnTheSameNumber)
{
    // A port's tty let go on a hang-up is closed while its watch is still
    // listed; the next descriptor gets the same number. Ending the old watch
    // must leave the new one alone. Pipes stand in for the ttys, so the
    // number can be chosen (dup2).
    int oldPipe[2], newPipe[2];
    ASSERT_EQ(::pipe2(oldPipe, O_CLOEXEC | O_NONBLOCK), 0);
    ASSERT_EQ(::pipe2(newPipe, O_CLOEXEC | O_NONBLOCK), 0);
    int oldServed = 0, newServed = 0;
    const unsigned oldWatch = WatchInMainLoop(oldPipe[0], [&] { ++oldServed; });
    ASSERT_NE(oldWatch, 0u);
    const int number = oldPipe[0];
    ASSERT_EQ(::dup3(newPipe[0], number, O_CLOEXEC), number) << "the old descriptor closed, its number reused";
    const unsigned newWatch = WatchInMainLoop(number, [&] { ++newServed; });
    ASSERT_NE(newWatch, 0u);
    UnwatchInMainLoop(oldWatch);
    ASSERT_EQ(::write(newPipe[1], "x", 1), 1);
    EXPECT_TRUE(Turn(5000));
    EXPECT_EQ(newServed, 1);
    EXPECT_EQ(oldServed, 0);
    UnwatchInMainLoop(newWatch);
    for (int fd : {number, oldPipe[1], newPipe[0], newPipe[1]})
        ::close(fd);
}

} // namespace
