// The stand-in Vexo's command set and its units, driven from the slave side
// of its pseudo-terminal the way the program drives a COM port.
#include "SimPort.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace vexo::sim::test;
using vexo::sim::Fault;
using vexo::sim::Options;
using vexo::sim::VexoSim;

// ---------------------------------------------------------------- protocol

// Each request, asked in turn, answers "ERROR".
template <std::size_t N>
void ExpectErrors(Port &port, const char *const (&requests)[N])
{
    for (const char *r : requests) {
        SCOPED_TRACE(r);
        EXPECT_EQ(port.Ask(r), "ERROR\r\n");
    }
}

TEST(vexo_sim_protocol, VersionQueryAnswersTheConfiguredVersion)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");

    Options o = Quick();
    o.version = "03.16";
    VexoSim older(o);
    Port port2(older.DevicePath());
    EXPECT_EQ(port2.Ask("ATI0"), "Vexo v03.16\r\n");
}

TEST(vexo_sim_protocol, ReadsAnswerPowerOnValues)
{
    {
        VexoSim sim(Quick());
        Port port(sim.DevicePath());
        EXPECT_EQ(port.Ask("AT+xKPV0=?"), "4\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV4=?"), "4\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV8=?"), "1\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV9=?"), "0\r\n");
    }
    Options o = Quick();
    o.ioSpeed = 2;
    o.gatewaySpeed = 5;
    o.printerSpeed = 0;
    o.modbusAddress = 254;
    o.klv707 = 1;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    EXPECT_EQ(port.Ask("AT+xKPV0=?"), "2\r\n");
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "5\r\n");
    EXPECT_EQ(port.Ask("AT+xKPV4=?"), "0\r\n");
    EXPECT_EQ(port.Ask("AT+xKPV8=?"), "254\r\n");
    EXPECT_EQ(port.Ask("AT+xKPV9=?"), "1\r\n");
}

TEST(vexo_sim_protocol, ValidWritesAreStoredAndReadBack)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    struct Case {
        int param;
        const char *value;
        int stored;
    };
    const Case cases[] = {
        {0, "0", 0}, {0, "7", 7}, {3, "5", 5}, {3, "0", 0}, {4, "7", 7}, {4, "2", 2},
        {8, "1", 1}, {8, "254", 254}, {8, "17", 17}, {8, "007", 7}, {9, "1", 1}, {9, "0", 0},
    };
    for (const Case &c : cases) {
        const std::string p = std::to_string(c.param);
        SCOPED_TRACE("param " + p + " = " + c.value);
        EXPECT_EQ(port.Ask("AT+xKPV" + p + "=" + c.value), "OK\r\n");
        EXPECT_EQ(sim.Stored(c.param), c.stored);
        EXPECT_EQ(port.Ask("AT+xKPV" + p + "=?"), std::to_string(c.stored) + "\r\n");
    }
}

TEST(vexo_sim_protocol, InvalidValuesAnswerErrorAndLeaveTheValue)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    const char *requests[] = {
        "AT+xKPV3=8",   "AT+xKPV0=9",   "AT+xKPV4=10",  "AT+xKPV3=-1", "AT+xKPV3=+1",  "AT+xKPV3= 1",
        "AT+xKPV3=1 ",  "AT+xKPV3=",    "AT+xKPV3=1a",  "AT+xKPV3=0x1", "AT+xKPV8=0",  "AT+xKPV8=255",
        "AT+xKPV8=1,5", "AT+xKPV8=99999999999", "AT+xKPV9=2", "AT+xKPV9=01x", "AT+xKPV9=-0",
    };
    ExpectErrors(port, requests);
    EXPECT_EQ(sim.Stored(0), 4);
    EXPECT_EQ(sim.Stored(3), 7);
    EXPECT_EQ(sim.Stored(4), 4);
    EXPECT_EQ(sim.Stored(8), 1);
    EXPECT_EQ(sim.Stored(9), 0);
}

TEST(vexo_sim_protocol, UnknownCommandsAndParametersAnswerError)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    const char *requests[] = {
        "AT",          "ATI1",        "ATI0 ",        "ATZ",          "AT+xKPV1=?",   "AT+xKPV5=?",
        "AT+xKPV10=?", "AT+xKPV99=1", "AT+xKPV100=?", "AT+xKPV=?",    "AT+xKPV3",     "AT+xKPV3?",
        "AT+XKPV3=?",  "AT+xkpv3=?",  "AT+xKPV3=??",  "AT+xKPV 3=?",  "AT+xKPV-3=?",  "ATAT+xKPV3=?",
    };
    ExpectErrors(port, requests);
    // Lower-case "at" is not a command start: nothing comes back, so the
    // next reply is the first thing on the line.
    port.Send("at+xKPV3=?\r\n");
    EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");
    EXPECT_EQ(sim.Requests().back().line, "ATI0");
}

TEST(vexo_sim_protocol, LineEndsNoiseAndTheRequestLog)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r");
    EXPECT_EQ(port.ReadLine(), "7\r\n");
    port.Send("AT+xKPV0=?\n");
    EXPECT_EQ(port.ReadLine(), "4\r\n");
    port.Send(std::string("\x00\xff\x15zz AT+xKPV8=?\r\n", 18));
    EXPECT_EQ(port.ReadLine(), "1\r\n");
    // Noise answers nothing: the two replies that follow come alone.
    port.Send("no command here\r\n\r\n\n");
    // Two requests in one write: two replies, in order.
    port.Send("AT+xKPV3=2\r\nAT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadBytes(7), "OK\r\n2\r\n");
    ASSERT_TRUE(sim.Settle(2000ms));
    EXPECT_EQ(sim.BytesSent(), 3u + 3u + 3u + 7u);

    const auto log = sim.Requests();
    std::vector<std::string> lines;
    for (const auto &r : log) {
        lines.push_back(r.line);
        EXPECT_TRUE(r.inWindow);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"AT+xKPV3=?", "AT+xKPV0=?", "AT+xKPV8=?", "AT+xKPV3=2", "AT+xKPV3=?"}));
    sim.ClearRequests();
    EXPECT_TRUE(sim.Requests().empty());
}

TEST(vexo_sim_protocol, OverlongLineIsDroppedWhole)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    port.Send(std::string(400, 'x') + "ATI0\r\n");
    ASSERT_TRUE(sim.WaitForInput(port.Sent(), 2000ms));
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_EQ(sim.BytesSent(), 0u);
    EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");
}

// ---------------------------------------------------------------- units

TEST(vexo_sim_units, ParametersPresentByComputerAndVersion)
{
    struct Unit {
        bool computer;
        const char *version;
        bool has4and8;
        bool has9;
    };
    const Unit units[] = {
        {true, "03.17", true, true},   {true, "03.16", true, false}, {true, "04.02", true, true},
        {true, "03.9", true, false},   {false, "03.17", false, false}, {false, "03.16", false, false},
    };
    for (const Unit &u : units) {
        SCOPED_TRACE(std::string(u.computer ? "computer " : "no computer ") + u.version);
        Options o = Quick();
        o.computer = u.computer;
        o.version = u.version;
        VexoSim sim(o);
        Port port(sim.DevicePath());
        EXPECT_EQ(port.Ask("AT+xKPV0=?"), "4\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV3=5"), "OK\r\n");
        EXPECT_EQ(sim.Stored(3), 5);
        const std::string err = "ERROR\r\n";
        EXPECT_EQ(port.Ask("AT+xKPV4=?"), u.has4and8 ? "4\r\n" : err);
        EXPECT_EQ(port.Ask("AT+xKPV4=1"), u.has4and8 ? "OK\r\n" : err);
        EXPECT_EQ(port.Ask("AT+xKPV8=?"), u.has4and8 ? "1\r\n" : err);
        EXPECT_EQ(port.Ask("AT+xKPV8=88"), u.has4and8 ? "OK\r\n" : err);
        EXPECT_EQ(port.Ask("AT+xKPV9=?"), u.has9 ? "0\r\n" : err);
        EXPECT_EQ(port.Ask("AT+xKPV9=1"), u.has9 ? "OK\r\n" : err);
        EXPECT_EQ(sim.Stored(4), u.has4and8 ? std::optional<int>(1) : std::nullopt);
        EXPECT_EQ(sim.Stored(8), u.has4and8 ? std::optional<int>(88) : std::nullopt);
        EXPECT_EQ(sim.Stored(9), u.has9 ? std::optional<int>(1) : std::nullopt);
    }
}

TEST(vexo_sim_units, BadOptionsAreRejected)
{
    auto with = [](auto change) {
        Options o = Quick();
        change(o);
        return o;
    };
    EXPECT_THROW(VexoSim(with([](Options &o) { o.version = "3"; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.version = "v03.17"; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.version = "03."; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.gatewaySpeed = 8; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.modbusAddress = 0; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.modbusAddress = 255; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.klv707 = 2; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.splitPieces = 0; })), std::invalid_argument);
    EXPECT_THROW(VexoSim(with([](Options &o) { o.windowMs = -1; })), std::invalid_argument);
    EXPECT_EQ(vexo::sim::ParseVersion("03.17"), 3017);
    EXPECT_LT(vexo::sim::ParseVersion("03.9"), vexo::sim::ParseVersion("03.16"));
    EXPECT_EQ(vexo::sim::ParseFault("flood"), Fault::Flood);
    EXPECT_EQ(vexo::sim::ParseFault("Flood"), std::nullopt);
}

} // namespace
