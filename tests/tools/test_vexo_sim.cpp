// The stand-in Vexo, driven from the slave side of its pseudo-terminal the way
// the program drives a COM port: exclusive open, raw 19200 8N1, request lines
// with CR LF, replies read with a time-out.
#include "VexoSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vexo::sim::Fault;
using vexo::sim::Options;
using vexo::sim::VexoSim;

// The program's end of the line.
class Port {
public:
    explicit Port(const std::string &path, speed_t speed = B19200, bool flush = true)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            ADD_FAILURE() << "open " << path << ": " << std::strerror(errno);
            return;
        }
        EXPECT_EQ(::ioctl(fd_, TIOCEXCL), 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
        SetSpeed(speed);
        if (flush)
            ::tcflush(fd_, TCIOFLUSH);
    }
    ~Port()
    {
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
    }
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    bool ok() const { return fd_ >= 0; }

    void SetSpeed(speed_t speed)
    {
        termios t{};
        ASSERT_EQ(::tcgetattr(fd_, &t), 0);
        ::cfmakeraw(&t);
        t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ASSERT_EQ(::tcsetattr(fd_, TCSANOW, &t), 0);
    }

    void Send(const std::string &bytes)
    {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `done(buffer)` holds or `limit` passes; each read that
    // returned data is one element of `pieces` when given.
    template <typename Done>
    std::string ReadUntil(Done done, std::chrono::milliseconds limit, std::vector<std::string> *pieces = nullptr)
    {
        std::string got;
        const auto end = Clock::now() + limit;
        while (!done(got)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buf[65536];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
                if (pieces)
                    pieces->emplace_back(buf, static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                ADD_FAILURE() << "read: " << std::strerror(errno);
                break;
            } else if (n == 0) {
                ADD_FAILURE() << "hang-up on the slave";
                break;
            }
        }
        return got;
    }

    // Everything that arrives within `span`.
    std::string ReadFor(std::chrono::milliseconds span)
    {
        return ReadUntil([](const std::string &) { return false; }, span);
    }

    std::string ReadLine(std::chrono::milliseconds limit = 2000ms)
    {
        return ReadUntil([](const std::string &s) { return s.size() >= 2 && s.ends_with("\r\n"); }, limit);
    }

    // One request and its reply; a straggler would show up in the next one.
    std::string Ask(const std::string &request)
    {
        Send(request + "\r\n");
        return ReadLine();
    }

private:
    int fd_ = -1;
};

Options Quick()
{
    Options o;
    o.answerDelayMs = 1;
    o.setupWindow = false;
    return o;
}

bool AllHigh(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// ---------------------------------------------------------------- protocol

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
    for (const char *r : requests) {
        SCOPED_TRACE(r);
        EXPECT_EQ(port.Ask(r), "ERROR\r\n");
    }
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
    for (const char *r : requests) {
        SCOPED_TRACE(r);
        EXPECT_EQ(port.Ask(r), "ERROR\r\n");
    }
    // Lower-case "at" is not a command start: nothing comes back.
    port.Send("at+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadFor(200ms), "");
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
    port.Send("no command here\r\n\r\n\n");
    EXPECT_EQ(port.ReadFor(200ms), "");
    // Two requests in one write: two replies, in order.
    port.Send("AT+xKPV3=2\r\nAT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadUntil([](const std::string &s) { return s.size() >= 7; }, 2000ms), "OK\r\n2\r\n");

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
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_TRUE(sim.Requests().empty());
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

// ---------------------------------------------------------------- window

Options Windowed(int windowMs, int extendMs = 30000)
{
    Options o;
    o.answerDelayMs = 1;
    o.windowMs = windowMs;
    o.extendMs = extendMs;
    return o;
}

TEST(vexo_sim_window, SilentOnceTheWindowHasClosed)
{
    VexoSim sim(Windowed(300));
    Port port(sim.DevicePath());
    EXPECT_TRUE(sim.InWindow());
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(sim.InWindow());
    port.Send("ATI0\r\n");
    EXPECT_EQ(port.ReadFor(300ms), "");
    port.Send("AT+xKPV3=1\r\n");
    EXPECT_EQ(port.ReadFor(300ms), "");
    EXPECT_EQ(sim.Stored(3), 7) << "a write outside the window must not be carried out";
    // ATI0 outside the window must not have reopened it.
    EXPECT_FALSE(sim.InWindow());
    const auto log = sim.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].inWindow);
    EXPECT_FALSE(log[1].inWindow);
    EXPECT_FALSE(log[2].inWindow);
    EXPECT_EQ(log[1].line, "ATI0");
}

TEST(vexo_sim_window, VersionQueryExtendsFromThatMoment)
{
    VexoSim sim(Windowed(400, 1000));
    Port port(sim.DevicePath());
    const auto asked = Clock::now();
    EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");
    std::this_thread::sleep_until(asked + 700ms); // past the plain window
    EXPECT_TRUE(sim.InWindow());
    EXPECT_EQ(port.Ask("AT+xKPV0=?"), "4\r\n");
    std::this_thread::sleep_until(asked + 1400ms); // past the extension
    EXPECT_FALSE(sim.InWindow());
    port.Send("AT+xKPV0=?\r\n");
    EXPECT_EQ(port.ReadFor(300ms), "");
}

TEST(vexo_sim_window, DefaultExtensionOutlastsTheWindow)
{
    VexoSim sim(Windowed(300));
    Port port(sim.DevicePath());
    EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.17\r\n");
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_window, NoWindowAnswersAtAnyTime)
{
    Options o = Windowed(0);
    o.setupWindow = false;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(sim.InWindow());
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_window, PowerCycleOpensANewWindowAndKeepsValues)
{
    VexoSim sim(Windowed(300));
    Port port(sim.DevicePath());
    EXPECT_EQ(port.Ask("AT+xKPV8=42"), "OK\r\n");
    std::this_thread::sleep_for(450ms);
    port.Send("AT+xKPV8=?\r\n");
    EXPECT_EQ(port.ReadFor(200ms), "");
    sim.PowerCycle();
    EXPECT_TRUE(sim.InWindow());
    EXPECT_EQ(port.Ask("AT+xKPV8=?"), "42\r\n");
    std::this_thread::sleep_for(450ms);
    EXPECT_FALSE(sim.InWindow());
}

TEST(vexo_sim_window, PowerCycleDropsAHalfReceivedLine)
{
    VexoSim sim(Quick());
    Port port(sim.DevicePath());
    port.Send("AT+xKPV");
    std::this_thread::sleep_for(100ms); // let the unit take in the first half
    sim.PowerCycle();
    port.Send("3=?\r\n");
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_window, PowerCycleLosesAReplyNotYetSent)
{
    Options o = Quick();
    o.fault = Fault::Late;
    o.lateMs = 400;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    port.Send("ATI0\r\n");
    std::this_thread::sleep_for(100ms);
    sim.PowerCycle();
    EXPECT_EQ(port.ReadFor(800ms), "");
    EXPECT_EQ(sim.BytesSent(), 0u);
}

// ---------------------------------------------------------------- faults

Options Faulty(Fault f)
{
    Options o = Quick();
    o.fault = f;
    o.seed = 1234;
    return o;
}

TEST(vexo_sim_faults, SilentCarriesOutButNeverAnswers)
{
    VexoSim sim(Faulty(Fault::Silent));
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=2\r\n");
    port.Send("ATI0\r\n");
    EXPECT_EQ(port.ReadFor(400ms), "");
    EXPECT_EQ(sim.Stored(3), 2);
    EXPECT_EQ(sim.Requests().size(), 2u);
    EXPECT_EQ(sim.BytesSent(), 0u);
}

TEST(vexo_sim_faults, GarbageReplacesTheReply)
{
    VexoSim sim(Faulty(Fault::Garbage));
    Port port(sim.DevicePath());
    port.Send("ATI0\r\n");
    const std::string got = port.ReadUntil([](const std::string &s) { return s.size() >= 13; }, 2000ms);
    EXPECT_EQ(got.size(), 13u); // as long as "Vexo v03.17" CR LF
    EXPECT_TRUE(AllHigh(got));
    EXPECT_EQ(port.ReadFor(200ms), "");
    port.Send("AT+xKPV3=1\r\n");
    const std::string got2 = port.ReadUntil([](const std::string &s) { return s.size() >= 4; }, 2000ms);
    EXPECT_EQ(got2.size(), 4u);
    EXPECT_TRUE(AllHigh(got2));
    EXPECT_EQ(sim.Stored(3), 1);
}

TEST(vexo_sim_faults, SplitArrivesInPiecesButWhole)
{
    Options o = Faulty(Fault::Split);
    o.splitPieces = 3;
    o.splitGapMs = 50;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    port.Send("ATI0\r\n");
    std::vector<std::string> pieces;
    const std::string got =
        port.ReadUntil([](const std::string &s) { return s.ends_with("\r\n"); }, 2000ms, &pieces);
    EXPECT_EQ(got, "Vexo v03.17\r\n");
    EXPECT_GE(pieces.size(), 2u);
    EXPECT_LE(pieces.size(), 3u);
    EXPECT_EQ(port.ReadFor(200ms), "");
    // A reply shorter than the piece count still comes whole.
    o.splitPieces = 8;
    VexoSim sim2(o);
    Port port2(sim2.DevicePath());
    EXPECT_EQ(port2.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_faults, LateArrivesAfterTheDelay)
{
    Options o = Faulty(Fault::Late);
    o.lateMs = 700;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadFor(400ms), "") << "nothing within the program's reply window";
    EXPECT_EQ(port.ReadLine(3000ms), "7\r\n");
}

TEST(vexo_sim_faults, EchoRepeatsTheRequestFirst)
{
    VexoSim sim(Faulty(Fault::Echo));
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    const std::string expected = "AT+xKPV3=?\r\n7\r\n";
    EXPECT_EQ(port.ReadUntil([&](const std::string &s) { return s.size() >= expected.size(); }, 2000ms), expected);
    port.Send("AT+xKPV4=3\r\n");
    const std::string expected2 = "AT+xKPV4=3\r\nOK\r\n";
    EXPECT_EQ(port.ReadUntil([&](const std::string &s) { return s.size() >= expected2.size(); }, 2000ms), expected2);
}

TEST(vexo_sim_faults, FloodSendsExactlyTheSetAmount)
{
    Options o = Faulty(Fault::Flood);
    o.floodBytes = 300000;
    VexoSim sim(o);
    Port port(sim.DevicePath());
    port.Send("AT+xKPV3=?\r\n");
    std::string got = port.ReadUntil([](const std::string &s) { return s.size() >= 300000; }, 10000ms);
    got += port.ReadFor(200ms);
    EXPECT_EQ(got.size(), 300000u);
    EXPECT_TRUE(AllHigh(got));
    EXPECT_EQ(sim.BytesSent(), 300000u);
    // The unit still listens after a flood.
    port.Send("AT+xKPV3=1\r\n");
    got = port.ReadUntil([](const std::string &s) { return s.size() >= 300000; }, 10000ms);
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
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_LT(sim.BytesSent(), o.floodBytes);
    sim.Stop(); // must return although the line is full
    sim.Stop();
    EXPECT_EQ(sim.LineSpeed(), 0);
}

// ---------------------------------------------------------------- client

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
    Options o = Faulty(Fault::Late);
    o.lateMs = 200;
    VexoSim late(o);
    {
        Port port(late.DevicePath());
        port.Send("ATI0\r\n");
    }
    std::this_thread::sleep_for(400ms);
    Port port(late.DevicePath());
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

TEST(vexo_sim_client, TheLineStaysUpWhileNoClientHasItOpen)
{
    // A reply falling due while the program has the port closed still goes
    // out and waits in the line as stale input, which the program has to
    // purge when it opens the port again.
    Options o = Faulty(Fault::Late);
    o.lateMs = 150;
    VexoSim sim(o);
    {
        Port port(sim.DevicePath());
        port.Send("AT+xKPV3=?\r\n");
    }
    std::this_thread::sleep_for(400ms);
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
    std::this_thread::sleep_for(50ms);
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
    EXPECT_EQ(port.ReadFor(300ms), "");
    EXPECT_TRUE(sim.Requests().empty());
    port.SetSpeed(B19200);
    EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
}

// ---------------------------------------------------------------- executable

class Child {
public:
    explicit Child(std::vector<std::string> args)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char *> argv;
            std::string exe = VEXO_SIM_EXE;
            argv.push_back(exe.data());
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Child()
    {
        CloseStdin();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            ::close(stdout_);
    }

    // Output up to the first newline (or end of output).
    std::string FirstLine()
    {
        std::string s;
        const auto end = Clock::now() + 5s;
        while (Clock::now() < end) {
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (::read(stdout_, &c, 1) != 1 || c == '\n')
                break;
            s.push_back(c);
        }
        return s;
    }

    std::string AllOutput()
    {
        std::string s;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(stdout_, buf, sizeof buf)) > 0)
            s.append(buf, static_cast<std::size_t>(n));
        return s;
    }

    void Write(const std::string &s) { ASSERT_EQ(::write(stdin_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    void CloseStdin()
    {
        if (stdin_ >= 0)
            ::close(stdin_);
        stdin_ = -1;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

    // Exit status, or nullopt if it is still running after `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        } while (Clock::now() < end);
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
};

std::string TempDir()
{
    char tmpl[] = "/tmp/vexo_sim_test_XXXXXX";
    const char *d = ::mkdtemp(tmpl);
    return d ? d : "/tmp";
}

TEST(vexo_sim_cli, HelpAndBadOptions)
{
    {
        Child c({"--help"});
        const std::string out = c.AllOutput();
        EXPECT_EQ(c.Wait(5s), 0);
        for (const char *flag : {"--no-window", "--version", "--no-computer", "--fault", "--delay", "--late",
                                 "--flood", "--link", "--no-stdin"})
            EXPECT_NE(out.find(flag), std::string::npos) << flag;
    }
    for (std::vector<std::string> bad : {std::vector<std::string>{"--bogus"}, {"--fault", "loud"}, {"--delay", "x"},
                                         {"--version", "3"}, {"--delay"}, {"--address", "300"}}) {
        SCOPED_TRACE(bad[0]);
        Child c(bad);
        EXPECT_EQ(c.AllOutput(), "") << "no device path on a usage error";
        const auto rc = c.Wait(5s);
        ASSERT_TRUE(rc.has_value());
        EXPECT_NE(*rc, 0);
    }
}

TEST(vexo_sim_cli, ServesTheDeviceAndTheLinkUntilStdinEnds)
{
    const std::string dir = TempDir();
    const std::string link = dir + "/vexo";
    Child c({"--no-window", "--version", "03.16", "--no-computer", "--link", link});
    const std::string dev = c.FirstLine();
    struct stat st {};
    ASSERT_EQ(::stat(dev.c_str(), &st), 0) << dev;
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), dev);
    {
        Port port(link);
        EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.16\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV8=?"), "ERROR\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
    }
    c.CloseStdin();
    EXPECT_EQ(c.Wait(5s), 0);
    struct stat lst {};
    EXPECT_NE(::lstat(link.c_str(), &lst), 0) << "link left behind";
    ::rmdir(dir.c_str());
}

TEST(vexo_sim_cli, PowerCycleByStdinAndByHangupSignal)
{
    Child c({"--window", "300", "--fault", "echo"});
    const std::string dev = c.FirstLine();
    Port port(dev);
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadUntil([](const std::string &s) { return s.size() >= 15; }, 2000ms), "AT+xKPV3=?\r\n7\r\n");
    std::this_thread::sleep_for(400ms);
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadFor(200ms), "");

    c.Write("power\n");
    std::this_thread::sleep_for(100ms);
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadUntil([](const std::string &s) { return s.size() >= 15; }, 2000ms), "AT+xKPV3=?\r\n7\r\n");

    std::this_thread::sleep_for(400ms);
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadFor(200ms), "");
    c.Signal(SIGHUP);
    std::this_thread::sleep_for(100ms);
    port.Send("AT+xKPV3=?\r\n");
    EXPECT_EQ(port.ReadUntil([](const std::string &s) { return s.size() >= 15; }, 2000ms), "AT+xKPV3=?\r\n7\r\n");

    c.Signal(SIGTERM);
    EXPECT_EQ(c.Wait(5s), 0);
}

TEST(vexo_sim_cli, NoStdinOutlivesEndOfInput)
{
    Child c({"--no-stdin", "--no-window", "--delay", "1"});
    const std::string dev = c.FirstLine();
    c.CloseStdin();
    EXPECT_EQ(c.Wait(300ms), std::nullopt) << "ended at end of input";
    {
        Port port(dev);
        EXPECT_EQ(port.Ask("AT+xKPV0=?"), "4\r\n");
    }
    c.Signal(SIGINT);
    EXPECT_EQ(c.Wait(5s), 0);
}

} // namespace
