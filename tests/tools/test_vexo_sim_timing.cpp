// The stand-in Vexo in time: its set-up window, delayed and broken replies,
// power cycles, and clients coming and going. Time is a manual clock the
// tests move; they wait for the unit to act, never for time to pass.
#include "SimPort.h"

#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vexo::sim::test;
using vexo::sim::Fault;
using vexo::sim::ManualClock;
using vexo::sim::Options;
using vexo::sim::VexoSim;

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The set-up window of a real unit: 7 s from power-on, 30 s from an ATI0.
Options Windowed()
{
    Options o;
    o.answerDelayMs = 0;
    return o;
}

// ---------------------------------------------------------------- window

TEST(vexo_sim_window, SilentOnceTheWindowHasClosed)
{
    Rig r(Windowed());
    EXPECT_TRUE(r.sim.InWindow());
    EXPECT_EQ(r.port.Ask("AT+xKPV3=?"), "7\r\n");
    r.Advance(6999ms);
    EXPECT_TRUE(r.sim.InWindow());
    EXPECT_EQ(r.port.Ask("AT+xKPV0=?"), "4\r\n");
    r.Advance(1ms);
    EXPECT_FALSE(r.sim.InWindow());
    r.port.Send("ATI0\r\n");
    r.port.Send("AT+xKPV3=1\r\n");
    r.Taken();
    EXPECT_EQ(r.sim.BytesSent(), 6u) << "an answer after the window closed";
    EXPECT_EQ(r.sim.Stored(3), 7) << "a write outside the window must not be carried out";
    // ATI0 outside the window must not have reopened it.
    EXPECT_FALSE(r.sim.InWindow());
    const auto log = r.sim.Requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(log[0].inWindow);
    EXPECT_TRUE(log[1].inWindow);
    EXPECT_FALSE(log[2].inWindow);
    EXPECT_FALSE(log[3].inWindow);
    EXPECT_EQ(log[2].line, "ATI0");
    EXPECT_EQ(log[3].when - log[0].when, 7000ms);
}

TEST(vexo_sim_window, VersionQueryExtendsFromThatMoment)
{
    Options o = Windowed();
    o.windowMs = 400;
    o.extendMs = 1000;
    Rig r(o);
    r.Advance(100ms);
    EXPECT_EQ(r.port.Ask("ATI0"), "Vexo v03.17\r\n");
    r.Advance(600ms); // past the plain window
    EXPECT_TRUE(r.sim.InWindow());
    EXPECT_EQ(r.port.Ask("AT+xKPV0=?"), "4\r\n");
    r.Advance(399ms);
    EXPECT_TRUE(r.sim.InWindow());
    r.Advance(1ms); // the extension's end: 1000 ms after the ATI0
    EXPECT_FALSE(r.sim.InWindow());
    r.port.Send("AT+xKPV0=?\r\n");
    r.Taken();
    EXPECT_EQ(r.sim.BytesSent(), 13u + 3u);
}

TEST(vexo_sim_window, DefaultExtensionOutlastsTheWindow)
{
    Rig r(Windowed());
    EXPECT_EQ(r.port.Ask("ATI0"), "Vexo v03.17\r\n");
    r.Advance(29999ms);
    EXPECT_EQ(r.port.Ask("AT+xKPV3=?"), "7\r\n");
    r.Advance(1ms);
    EXPECT_FALSE(r.sim.InWindow());
}

TEST(vexo_sim_window, NoWindowAnswersAtAnyTime)
{
    Options o = Windowed();
    o.setupWindow = false;
    Rig r(o);
    r.Advance(24h);
    EXPECT_TRUE(r.sim.InWindow());
    EXPECT_EQ(r.port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_window, SwitchedOnLateHearsNothingUntilThen)
{
    Options o = Windowed();
    o.powerOnAfterMs = 3000;
    Rig r(o);
    EXPECT_FALSE(r.sim.PoweredOn());
    EXPECT_FALSE(r.sim.InWindow());
    r.port.Send("ATI0\r\n");
    r.port.Send("AT+xKPV3=1\r\n");
    r.Taken();
    r.Advance(2999ms);
    r.port.Send("ATI0\r\n");
    r.Taken();
    EXPECT_EQ(r.sim.BytesSent(), 0u) << "a unit switched off answered";
    EXPECT_EQ(r.sim.Stored(3), 7) << "a unit switched off carried out a write";
    r.Advance(1ms);
    EXPECT_TRUE(r.sim.PoweredOn());
    EXPECT_EQ(r.port.Ask("ATI0"), "Vexo v03.17\r\n");
    // Its set-up window runs from the moment it came on.
    r.Advance(29999ms);
    EXPECT_TRUE(r.sim.InWindow());
    const auto log = r.sim.Requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_FALSE(log[0].inWindow);
    EXPECT_FALSE(log[2].inWindow);
    EXPECT_TRUE(log[3].inWindow);
}

TEST(vexo_sim_window, SwitchedOnLateWindowStartsAtPowerOn)
{
    Options o = Windowed();
    o.powerOnAfterMs = 1000;
    o.windowMs = 500;
    Rig r(o);
    r.Advance(1499ms);
    EXPECT_TRUE(r.sim.InWindow());
    r.Advance(1ms);
    EXPECT_FALSE(r.sim.InWindow()) << "the window is 500 ms from switching on, not from start";
}

TEST(vexo_sim_window, PowerCycleOpensANewWindowAndKeepsValues)
{
    Rig r(Windowed());
    EXPECT_EQ(r.port.Ask("AT+xKPV8=42"), "OK\r\n");
    r.Advance(7000ms);
    r.port.Send("AT+xKPV8=?\r\n");
    r.Taken();
    EXPECT_EQ(r.sim.BytesSent(), 4u);
    r.sim.PowerCycle();
    EXPECT_TRUE(r.sim.InWindow());
    EXPECT_EQ(r.port.Ask("AT+xKPV8=?"), "42\r\n");
    r.Advance(6999ms);
    EXPECT_TRUE(r.sim.InWindow());
    r.Advance(1ms);
    EXPECT_FALSE(r.sim.InWindow());
}

TEST(vexo_sim_window, PowerCycleDropsAHalfReceivedLine)
{
    Rig r(Quick());
    r.port.Send("AT+xKPV");
    r.Taken();
    r.sim.PowerCycle();
    r.port.Send("3=?\r\n");
    r.Taken();
    EXPECT_TRUE(r.sim.Requests().empty());
    EXPECT_EQ(r.sim.BytesSent(), 0u);
    EXPECT_EQ(r.port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_window, PowerCycleLosesAReplyNotYetSent)
{
    Options o = Faulty(Fault::Late);
    o.lateMs = 400;
    Rig r(o);
    r.port.Send("ATI0\r\n");
    r.Taken();
    r.sim.PowerCycle();
    r.Advance(1000ms);
    EXPECT_EQ(r.sim.BytesSent(), 0u);
    // The next reply is the first thing on the line.
    r.port.Send("AT+xKPV3=?\r\n");
    r.Taken();
    r.Advance(400ms);
    EXPECT_EQ(r.port.ReadLine(), "7\r\n");
}

// ---------------------------------------------------------------- faults

TEST(vexo_sim_faults, SilentCarriesOutButNeverAnswers)
{
    Rig r(Faulty(Fault::Silent));
    r.port.Send("AT+xKPV3=2\r\n");
    r.port.Send("ATI0\r\n");
    r.Taken();
    r.Advance(24h);
    EXPECT_EQ(r.sim.Stored(3), 2);
    EXPECT_EQ(r.sim.Requests().size(), 2u);
    EXPECT_EQ(r.sim.BytesSent(), 0u);
}

TEST(vexo_sim_faults, GarbageReplacesTheReply)
{
    Rig r(Faulty(Fault::Garbage));
    r.port.Send("ATI0\r\n");
    const std::string got = r.port.ReadBytes(13);
    EXPECT_EQ(got.size(), 13u); // as long as "Vexo v03.17" CR LF
    EXPECT_TRUE(AllHigh(got));
    ASSERT_TRUE(r.sim.Settle(2000ms));
    EXPECT_EQ(r.sim.BytesSent(), 13u);
    r.port.Send("AT+xKPV3=1\r\n");
    const std::string got2 = r.port.ReadBytes(4);
    EXPECT_EQ(got2.size(), 4u);
    EXPECT_TRUE(AllHigh(got2));
    EXPECT_EQ(r.sim.Stored(3), 1);
}

TEST(vexo_sim_faults, SplitArrivesInPiecesButWhole)
{
    Options o = Faulty(Fault::Split);
    o.splitPieces = 3;
    o.splitGapMs = 50;
    Rig r(o);
    r.port.Send("ATI0\r\n");
    r.Taken();
    EXPECT_EQ(r.port.ReadBytes(4), "Vexo");
    r.Advance(49ms);
    EXPECT_EQ(r.sim.BytesSent(), 4u) << "a piece before its gap";
    r.Advance(1ms);
    EXPECT_EQ(r.port.ReadBytes(4), " v03");
    r.Advance(50ms);
    EXPECT_EQ(r.port.ReadLine(), ".17\r\n");
    r.Advance(1h);
    EXPECT_EQ(r.sim.BytesSent(), 13u);
    // A reply shorter than the piece count still comes whole.
    o.splitPieces = 8;
    Rig r2(o);
    r2.port.Send("AT+xKPV3=?\r\n");
    r2.Taken();
    r2.Advance(1h);
    EXPECT_EQ(r2.port.ReadLine(), "7\r\n");
}

TEST(vexo_sim_faults, LateArrivesAfterTheDelay)
{
    Options o = Faulty(Fault::Late);
    o.lateMs = 700;
    Rig r(o);
    r.port.Send("AT+xKPV3=?\r\n");
    r.Taken();
    r.Advance(699ms);
    EXPECT_EQ(r.sim.BytesSent(), 0u) << "a reply within the program's reply window";
    r.Advance(1ms);
    EXPECT_EQ(r.port.ReadLine(), "7\r\n");
}

TEST(vexo_sim_faults, EchoRepeatsTheRequestFirst)
{
    VexoSim sim(Faulty(Fault::Echo));
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    const std::string expected = "AT+xKPV3=?\r\n7\r\n";
    EXPECT_EQ(port.ReadBytes(expected.size()), expected);
    port.Send("AT+xKPV4=3\r\n");
    const std::string expected2 = "AT+xKPV4=3\r\nOK\r\n";
    EXPECT_EQ(port.ReadBytes(expected2.size()), expected2);
}

TEST(vexo_sim_faults, FloodSendsExactlyTheSetAmount)
{
    Options o = Faulty(Fault::Flood);
    o.floodBytes = 300000;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    std::string got = port.ReadBytes(300000, 10000ms);
    EXPECT_EQ(got.size(), 300000u);
    EXPECT_TRUE(AllHigh(got));
    ASSERT_TRUE(sim.Settle(2000ms));
    EXPECT_EQ(sim.BytesSent(), 300000u);
    // The unit still listens after a flood.
    port.Send("AT+xKPV3=1\r\n");
    got = port.ReadBytes(300000, 10000ms);
    EXPECT_EQ(got.size(), 300000u);
    EXPECT_EQ(sim.Stored(3), 1);
}

TEST(vexo_sim_faults, StopsWhileAFloodIsStuck)
{
    Options o = Faulty(Fault::Flood); // 1 MB, far more than the tty holds
    VexoSim sim(o);
    {
        Port port(sim.DevicePath());
        port.Send("ATI0\r\n");
        ASSERT_TRUE(sim.WaitForInput(port.Sent(), 2000ms));
    }
    EXPECT_GT(sim.BytesSent(), 0u);
    EXPECT_LT(sim.BytesSent(), o.floodBytes);
    sim.Stop(); // must return although the line is full
    sim.Stop();
    EXPECT_EQ(sim.LineSpeed(), 0);
    EXPECT_FALSE(sim.Settle(100ms)) << "a stopped unit does not settle";
}

// ---------------------------------------------------------------- client

// A late-replying unit on a manual clock, with no client on the line.
Options LateOn(std::shared_ptr<ManualClock> clock, int lateMs)
{
    Options o = Faulty(Fault::Late);
    o.lateMs = lateMs;
    o.clock = std::move(clock);
    return o;
}

// Sends `request` from a port closed straight after, then lets the late
// reply fall due and go out onto the line with nobody listening.
void ReplyWhileClosed(VexoSim &sim, ManualClock &clock, const std::string &request, int lateMs)
{
    {
        Port port(sim.DevicePath());
        port.Send(request + "\r\n");
        ASSERT_TRUE(sim.WaitForInput(port.Sent(), 2000ms));
    }
    clock.Advance(std::chrono::milliseconds(lateMs));
    ASSERT_TRUE(sim.Settle(2000ms));
}

TEST(vexo_sim_client, ReopeningThePortKeepsTheUnitWorking)
{
    VexoSim sim(Quick());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Port port(sim.DevicePath());
        ASSERT_TRUE(port.ok());
        EXPECT_EQ(port.Ask("AT+xKPV8=" + std::to_string(10 + round)), "OK\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV8=?"), std::to_string(10 + round) + "\r\n");
    }
    // Closed while a reply was on its way: the next client flushes it and
    // carries on.
    auto clock = std::make_shared<ManualClock>();
    VexoSim late(LateOn(clock, 200));
    ReplyWhileClosed(late, *clock, "ATI0", 200);
    ASSERT_EQ(late.BytesSent(), 13u);
    Port port(late.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    ASSERT_TRUE(late.WaitForInput(6 + port.Sent(), 2000ms));
    clock->Advance(200ms);
    EXPECT_EQ(port.ReadLine(), "7\r\n");
}

TEST(vexo_sim_client, TheLineStaysUpWhileNoClientHasItOpen)
{
    // A reply falling due while the program has the port closed still goes
    // out and waits in the line as stale input, which the program has to
    // purge when it opens the port again.
    auto clock = std::make_shared<ManualClock>();
    VexoSim sim(LateOn(clock, 150));
    ReplyWhileClosed(sim, *clock, "AT+xKPV3=?", 150);
    EXPECT_EQ(sim.BytesSent(), 3u);
    Port port(sim.DevicePath(), B19200, /*flush=*/false);
    EXPECT_EQ(port.ReadLine(1000ms), "7\r\n");
}

TEST(vexo_sim_client, IdleWithoutAClientUsesNoCpu)
{
    VexoSim sim(Quick());
    {
        Port port(sim.DevicePath());
        EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");
    }
    ASSERT_TRUE(sim.Settle(2000ms));
    // A spinning service thread shows only over some span of real time.
    const double before = CpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(CpuSeconds() - before, 0.1) << "the service thread spins";
}

TEST(vexo_sim_client, LineSpeedIsReadBackFromTheSlave)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    EXPECT_EQ(sim.LineSpeed(), 19200);
    port.SetSpeed(B9600);
    EXPECT_EQ(sim.LineSpeed(), 9600);
    // By default the unit answers at any speed.
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_client, StrictSpeedIgnoresAWrongSpeed)
{
    Options o = Quick();
    o.requireLineSpeed = true;
    VexoSim sim(o);
    Port port(sim.DevicePath(), B9600);
    port.Send("AT+xKPV3=?\r\n");
    ASSERT_TRUE(sim.WaitForInput(port.Sent(), 2000ms));
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_EQ(sim.BytesSent(), 0u);
    port.SetSpeed(B19200);
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

} // namespace
