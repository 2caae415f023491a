// The serial component's threads under stress, many times over: the event
// thread's hand-over to the main thread, Close and destruction while a
// hand-over is pending or a delivery runs, and Close from inside a handler.
// Written to be run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "../serial/HandOverWatch.h"
#include "SerialPump.h"
#include "Thread.h"
#include "XComDrv.h"
#include "commapi.h"
#include "pty.h"

using namespace commlayer; // the seam's Win32 names

namespace {


class SerialFaults : public ::testing::Test {
protected:
    void SetUp() override { SetMainThread(); }
    void TearDown() override { CheckSynchronize(); }
    HandOverWatch handOvers;
    TestPty pty;
};

} // namespace

TEST_F(SerialFaults, CloseOrDestroyWhileAHandOverIsPending)
{
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        auto comm = std::make_unique<TXComm>();
        comm->SetDeviceName(pty.SlavePath());
        std::atomic<int> delivered{0};
        std::string got;
        comm->OnData = [&](TCustomComm *c, std::uint32_t) {
            std::string text;
            c->ReadString(text);
            got += text;
            delivered.fetch_add(1);
        };
        ASSERT_TRUE(comm->Open());
        const int seen = handOvers.Requests();
        ASSERT_TRUE(pty.Write("x"));
        ASSERT_TRUE(handOvers.AwaitBeyond(seen)) << "the event thread asks for its hand-over";
        if (i % 2 == 0) {
            comm->Close(); // serves the pending hand-over before it closes
            EXPECT_FALSE(comm->Opened());
            EXPECT_EQ(delivered.load(), 1);
            EXPECT_EQ(got, "x") << "the byte that came before the close is delivered";
        } else {
            comm.reset(); // the handler's owner is going: nothing delivered
            EXPECT_EQ(delivered.load(), 0);
        }
        comm.reset();
        pty.ReadFor(0);
    }
}

TEST_F(SerialFaults, CloseFromInsideTheHandlerAndReopen)
{
    TXComm comm;
    comm.SetDeviceName(pty.SlavePath());
    int calls = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        ++calls;
        c->Close();
    };
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(comm.Open());
        ASSERT_TRUE(pty.Write("y"));
        ASSERT_TRUE(PumpUntil([&] { return calls == i + 1; }));
        EXPECT_FALSE(comm.Opened());
    }
    // Threads stopped from their own delivery are reaped by a later Open or
    // Close once they have ended, or by the destructor.
    comm.OnData = nullptr;
    ASSERT_TRUE(comm.Open());
    comm.Close();
}

TEST_F(SerialFaults, DeliveriesOnTheEventThreadWhileTheOwnerClosesOrGoes)
{
    // Without the hand-over the handler runs on the event thread itself,
    // while the main thread closes or destroys the component.
    const std::string burst(512, 'b');
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        auto comm = std::make_unique<TXComm>();
        comm->SetDeviceName(pty.SlavePath());
        comm->SetSynchronize(false);
        std::atomic<int> delivered{0};
        std::atomic<std::size_t> bytes{0};
        comm->OnData = [&](TCustomComm *c, std::uint32_t) {
            std::string text;
            c->ReadString(text);
            bytes.fetch_add(text.size());
            delivered.fetch_add(1);
        };
        ASSERT_TRUE(comm->Open());
        ASSERT_TRUE(pty.Write(burst));
        EXPECT_TRUE(PumpUntil([&] { return delivered.load() > 0; }, 5000));
        if (i % 2 == 0)
            comm->Close();
        comm.reset();
        EXPECT_LE(bytes.load(), burst.size());
        pty.ReadFor(0);
    }
}

TEST_F(SerialFaults, SendingWhileAFloodIsHandedOver)
{
    TXComm comm;
    comm.SetDeviceName(pty.SlavePath());
    std::size_t received = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        std::string text;
        c->ReadString(text);
        received += text.size();
    };
    ASSERT_TRUE(comm.Open());
    const std::string flood(256 * 1024, 'f');
    std::atomic<bool> written{false};
    std::thread device([&] {
        pty.Write(flood, 30000);
        written = true;
    });
    int sent = 0;
    const bool done = PumpUntil([&] {
        if (comm.SendString("AT+xKPV0=?\r\n"))
            ++sent;
        pty.ReadFor(0);
        return written.load() && received == flood.size();
    }, 30000);
    device.join();
    EXPECT_TRUE(done) << received << " of " << flood.size() << " bytes";
    EXPECT_EQ(received, flood.size()) << "bytes lost in the hand-overs";
    EXPECT_GT(sent, 0);
    comm.Close();
}

TEST_F(SerialFaults, ExitingWithAPortStillOpenEndsTheProcessQuietly)
{
    // A program may end with a port open (exit from a handler, an object
    // nobody destroyed): the port's threads still run while the process
    // ends, and must find the component's tables as they were.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const testing::Matcher<const std::string &> nothingSaid{std::string()};
    EXPECT_EXIT(
        {
            // The bare device: its wait thread watches the tty.
            HANDLE h = CreateFileA(pty.SlavePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
            std::exit(h == INVALID_HANDLE_VALUE ? 2 : 0);
        },
        testing::ExitedWithCode(0), nothingSaid);
    EXPECT_EXIT(
        {
            // The component, its event thread waiting for a hand-over that
            // the main thread never serves.
            auto *comm = new TXComm;
            comm->SetDeviceName(pty.SlavePath());
            comm->OnData = [](TCustomComm *, std::uint32_t) {};
            if (!comm->Open())
                std::exit(2);
            const int seen = handOvers.Requests();
            if (!pty.Write("x") || !handOvers.AwaitBeyond(seen))
                std::exit(3);
            std::exit(0);
        },
        testing::ExitedWithCode(0), nothingSaid);
}
