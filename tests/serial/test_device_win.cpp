// The serial component on Windows, against real COM ports of the platform:
// under Wine these are pseudo-terminals behind dosdevices links, and the
// device side of each is a host program (tests/wine/pty_peer.c) that this
// test asks over TCP to send, receive, report the line settings, or vanish.
#include <gtest/gtest.h>

// First: it brings in <windows.h> lean (no old winsock) and without the
// min/max macros.
#include "Thread.h"
#include "XComDrv.h"
#include "SerialPump.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ToHex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string FromHex(const std::string &hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The line settings as the device side sees them.
struct DeviceLine {
    unsigned speed = 0;
    int dataBits = 0;
    int parity = -1; // 0 none, 1 odd, 2 even
    bool twoStopBits = false, rtsCts = false, ixon = false, ixoff = false, canonical = false, echo = false;
};

// The connection to the pty peer; one per process, named by VEXO_PTY_PEER.
class Peer {
public:
    static Peer &Get()
    {
        static Peer peer;
        return peer;
    }
    bool Connected() const { return FSocket != INVALID_SOCKET; }
    const std::string &Problem() const { return FProblem; }

    // Sends one request without waiting for its reply.
    bool Post(const std::string &request)
    {
        std::string line = request + "\n";
        const char *p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const int n = ::send(FSocket, p, static_cast<int>(std::min<std::size_t>(left, 65536)), 0);
            if (n <= 0)
                return false;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return true;
    }
    // The next reply line, without its end.
    std::string Reply()
    {
        for (;;) {
            const auto nl = FBuffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = FBuffer.substr(0, nl);
                FBuffer.erase(0, nl + 1);
                return line;
            }
            char buf[65536];
            const int n = ::recv(FSocket, buf, sizeof buf, 0);
            if (n <= 0)
                return "err connection lost";
            FBuffer.append(buf, static_cast<std::size_t>(n));
        }
    }
    std::string Ask(const std::string &request) { return Post(request) ? Reply() : "err send failed"; }
    bool Ok(const std::string &request) { return Ask(request).rfind("ok", 0) == 0; }

    std::vector<std::string> Ports()
    {
        std::istringstream in(Ask("ports"));
        std::string word;
        std::vector<std::string> names;
        in >> word;
        while (in >> word)
            names.push_back(word);
        return names;
    }
    bool Write(const std::string &port, const std::string &bytes) { return Ok("write " + port + " " + ToHex(bytes)); }
    // What the program sent within `ms`; returns early once `n` bytes came (n > 0).
    std::string Read(const std::string &port, std::size_t n, int ms)
    {
        const std::string r = Ask("read " + port + " " + std::to_string(n) + " " + std::to_string(ms));
        return r.rfind("ok ", 0) == 0 ? FromHex(r.substr(3)) : std::string();
    }
    bool Line(const std::string &port, DeviceLine &l)
    {
        std::istringstream in(Ask("line " + port));
        std::string ok;
        int stop = 0, rtscts = 0, ixon = 0, ixoff = 0, icanon = 0, echo = 0;
        in >> ok >> l.speed >> l.dataBits >> l.parity >> stop >> rtscts >> ixon >> ixoff >> icanon >> echo;
        l.twoStopBits = stop;
        l.rtsCts = rtscts;
        l.ixon = ixon;
        l.ixoff = ixoff;
        l.canonical = icanon;
        l.echo = echo;
        return ok == "ok" && !in.fail();
    }

private:
    Peer()
    {
        const char *where = std::getenv("VEXO_PTY_PEER");
        if (!where || !*where) {
            FProblem = "VEXO_PTY_PEER is not set: run this program through run-wine.sh --ports (ctest does)";
            return;
        }
        WSADATA wsa;
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
            FProblem = "WSAStartup failed";
            return;
        }
        const std::string text = where;
        const auto colon = text.rfind(':');
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (colon == std::string::npos ||
            getaddrinfo(text.substr(0, colon).c_str(), text.substr(colon + 1).c_str(), &hints, &found) != 0) {
            FProblem = "bad VEXO_PTY_PEER: " + text;
            return;
        }
        SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        if (s != INVALID_SOCKET && ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0)
            FSocket = s;
        else if (s != INVALID_SOCKET)
            closesocket(s);
        freeaddrinfo(found);
        if (!Connected())
            FProblem = "cannot reach the pty peer at " + text;
    }
    SOCKET FSocket = INVALID_SOCKET;
    std::string FBuffer;
    std::string FProblem;
};

double ProcessCpuMs()
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    auto ms = [](const FILETIME &f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
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

class WinDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        ASSERT_TRUE(peer.Connected()) << peer.Problem();
        ASSERT_TRUE(peer.Ok("reset")) << "fresh pseudo-terminals for every test";
        ports = peer.Ports();
        ASSERT_GE(ports.size(), 2u) << "the runner serves two COM names";
        port = ports[0];
        comm.SetDeviceName(port);
    }
    Peer &peer = Peer::Get();
    std::vector<std::string> ports;
    std::string port;
    TXComm comm;
};

} // namespace

TEST_F(WinDeviceTest, OpensAndReopensByComName)
{
    ASSERT_TRUE(comm.Open()) << "\\\\.\\" << port;
    EXPECT_TRUE(comm.Opened());
    comm.Close();
    EXPECT_FALSE(comm.Opened());
    ASSERT_TRUE(comm.Open()) << "reopen after close";
    ASSERT_TRUE(comm.SendString("1"));
    EXPECT_EQ(peer.Read(port, 1, 2000), "1") << "the reopened handle reaches the device";

    TXComm second;
    second.SetDeviceName(ports[1]);
    ASSERT_TRUE(second.Open());
    ASSERT_TRUE(second.SendString("2"));
    EXPECT_EQ(peer.Read(ports[1], 1, 2000), "2");
    EXPECT_EQ(peer.Read(port, 0, 50), "") << "each port on its own line";
}

TEST_F(WinDeviceTest, MissingNamesAndMisuseCodes)
{
    EXPECT_EQ(CodeOf([&] { comm.Close(); }), 1);
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(CodeOf([&] { comm.Open(); }), 2);
    EXPECT_TRUE(comm.Opened()) << "a second Open leaves the open port untouched";
    EXPECT_TRUE(comm.SendString("x"));
    EXPECT_EQ(peer.Read(port, 1, 2000), "x");

    TXComm other;
    other.SetDeviceName("COM99"); // no device behind it
    EXPECT_FALSE(other.Open());
    EXPECT_FALSE(other.Opened());
    other.SetDeviceName("NOPORT");
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(CodeOf([&] { other.Close(); }), 1);
}

TEST_F(WinDeviceTest, AnOpenPortIsNotOpenedTwice)
{
    ASSERT_TRUE(comm.Open());
    const std::string path = "\\\\.\\" + port;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        GTEST_SKIP() << "this platform (Wine) opens a COM port a second time; Windows refuses with "
                        "error 5, which makes a held port count as present";
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    TXComm second;
    second.SetDeviceName(port);
    EXPECT_FALSE(second.Open());
}

TEST_F(WinDeviceTest, DeviceSees19200EightNoneOneRawWithoutFlowControl)
{
    comm.SetBaudRate(br19200);
    ASSERT_TRUE(comm.Open());
    DeviceLine l;
    ASSERT_TRUE(peer.Line(port, l));
    EXPECT_EQ(l.speed, 19200u);
    EXPECT_EQ(l.dataBits, 8);
    EXPECT_EQ(l.parity, 0);
    EXPECT_FALSE(l.twoStopBits);
    EXPECT_FALSE(l.rtsCts);
    EXPECT_FALSE(l.ixon);
    EXPECT_FALSE(l.ixoff);
    EXPECT_FALSE(l.canonical) << "raw mode";
    EXPECT_FALSE(l.echo);

    comm.DataControl().SetStopBits(sb2);
    ASSERT_TRUE(peer.Line(port, l));
    EXPECT_TRUE(l.twoStopBits) << "a change reaches the open device at once";
    comm.SetFlowControl(fcRtsCts);
    ASSERT_TRUE(peer.Line(port, l));
    EXPECT_TRUE(l.rtsCts);
    EXPECT_TRUE(comm.RTSSettings().Contains(fsCTSOut)) << "decoded from the device";
    comm.SetFlowControl(fcSoftware);
    ASSERT_TRUE(peer.Line(port, l));
    EXPECT_FALSE(l.rtsCts);
    EXPECT_TRUE(l.ixon);
    EXPECT_TRUE(l.ixoff);
}

TEST_F(WinDeviceTest, SpeedsReadBackFromTheDevice)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(comm.BaudRate(), br9600);
    ASSERT_TRUE(peer.Ok("speed " + port + " 38400"));
    EXPECT_EQ(comm.BaudValue(), 38400u) << "the device's speed, not the stored one";
    EXPECT_EQ(comm.BaudRate(), br38400) << "found in the table";

    ASSERT_TRUE(peer.Ok("speed " + port + " 115200"));
    EXPECT_EQ(comm.BaudRate(), br115200) << "read afresh each time";
    ASSERT_NO_THROW(comm.SetBaudRate(br19200));
    DeviceLine l;
    ASSERT_TRUE(peer.Line(port, l));
    EXPECT_EQ(l.speed, 19200u) << "the stored rate differed from the device's, so it was applied";
}

TEST_F(WinDeviceTest, ACustomSpeedReachesTheDevice)
{
    ASSERT_TRUE(comm.Open());
    comm.SetBaudRate(brCustom);
    ASSERT_NO_THROW(comm.SetBaudValue(31250));
    DeviceLine l;
    ASSERT_TRUE(peer.Line(port, l));
    if (l.speed == 38400u)
        GTEST_SKIP() << "Wine 8 sets a rate outside its table as 38400 bit/s plus a serial-driver "
                        "divisor (TIOCSSERIAL), which a pseudo-terminal does not have";
    EXPECT_EQ(l.speed, 31250u);
    EXPECT_EQ(comm.BaudRate(), brCustom);
    EXPECT_EQ(comm.BaudValue(), 31250u);
}

TEST_F(WinDeviceTest, ARefusedLineSettingRaisesCode3AndTheDeviceStaysOpen)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_EQ(CodeOf([&] { comm.DataControl().SetDataBits(db4); }), 3) << "no driver takes 4 data bits";
    EXPECT_EQ(comm.StoredLineSettings().DataBits, db4) << "nothing is rolled back";
    EXPECT_TRUE(comm.Opened());
    EXPECT_TRUE(comm.SendString("ok"));
    EXPECT_EQ(peer.Read(port, 2, 2000), "ok");

    comm.Close();
    EXPECT_EQ(CodeOf([&] { comm.Open(); }), 3) << "Open applies the stored settings";
    EXPECT_TRUE(comm.Opened()) << "and leaves the device open with its event thread";
}

TEST_F(WinDeviceTest, SendStringPutsExactlyTheBytesOnTheWire)
{
    ASSERT_TRUE(comm.Open());
    EXPECT_TRUE(comm.SendString("ATI0\r\n"));
    EXPECT_EQ(peer.Read(port, 6, 2000), "ATI0\r\n");
    EXPECT_TRUE(comm.SendString(""));
    const std::string binary("\x00\xff\x0d\x80\x0a", 5);
    EXPECT_TRUE(comm.SendString(binary));
    EXPECT_EQ(peer.Read(port, 5, 2000), binary);
    EXPECT_EQ(peer.Read(port, 0, 50), "") << "nothing more";
}

TEST_F(WinDeviceTest, ReadStringTakesWhatIsQueuedWithoutWaiting)
{
    ASSERT_TRUE(comm.Open());
    std::string text = "stale";
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm.ReadString(text));
    EXPECT_TRUE(text.empty());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(400)) << "nothing queued: no wait";

    ASSERT_TRUE(peer.Write(port, "12345"));
    ASSERT_TRUE(WaitQueued(comm, 5));
    EXPECT_TRUE(comm.ReadString(text));
    EXPECT_EQ(text, "12345");
    EXPECT_FALSE(comm.ReadString(text));

    char buf[8];
    EXPECT_EQ(comm.Read(buf, 0), 0u);
    ASSERT_TRUE(peer.Write(port, "xy"));
    EXPECT_EQ(comm.Read(buf, 2, 2000), 2u) << "Read waits for data within its time-out";
    EXPECT_EQ(std::string(buf, 2), "xy");
    EXPECT_EQ(comm.Read(buf, 1, 50), 0u) << "time-out with nothing";
}

TEST_F(WinDeviceTest, OnDataRunsOnTheMainThreadWithTheQueuedCount)
{
    std::atomic<int> calls{0};
    std::thread::id where;
    std::uint32_t received = 0;
    std::string got;
    comm.OnData = [&](TCustomComm *sender, std::uint32_t n) {
        EXPECT_EQ(sender, &comm);
        where = std::this_thread::get_id();
        received = n;
        // Take everything, as the application's handler does: a queue left
        // unread is reported again at once on some platforms.
        std::string s;
        while (comm.ReadString(s))
            got += s;
        ++calls;
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(peer.Write(port, "hello"));
    ASSERT_TRUE(PumpUntil([&] { return got.size() >= 5; }));
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(where, std::this_thread::get_id());
    EXPECT_GE(received, 1u);
    EXPECT_LE(received, 5u);

    // A lone event character raises OnData as well.
    PumpUntil([] { return false; }, 50);
    const int before = calls;
    ASSERT_TRUE(peer.Write(port, "\n"));
    ASSERT_TRUE(PumpUntil([&] { return calls > before; }));
    EXPECT_EQ(got, "hello\n");
}

TEST_F(WinDeviceTest, CloseDeliversAPendingOnDataAndDestructionDropsIt)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        EXPECT_TRUE(c->Opened()) << "delivered before the handle is closed";
        ++calls;
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(peer.Write(port, "1"));
    // Not pumping: the event thread now waits in its hand-over.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 0);
    const auto t0 = Clock::now();
    comm.Close();
    EXPECT_EQ(calls, 1);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5)) << "the pending event wait was released";

    auto doomed = std::make_unique<TXComm>();
    int lost = 0;
    doomed->OnData = [&](TCustomComm *, std::uint32_t) { ++lost; };
    doomed->SetDeviceName(ports[1]);
    ASSERT_TRUE(doomed->Open());
    ASSERT_TRUE(peer.Write(ports[1], "2"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    doomed.reset();
    EXPECT_EQ(lost, 0);
}

// Win32 hands the next CreateFileA the handle value just closed: the event
// thread that the handler's Close retired must not touch that value again,
// or it cuts off the reopened port's own event wait.
TEST_F(WinDeviceTest, CloseFromInsideOnDataAndReopen)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        ++calls;
        c->Close();
        EXPECT_FALSE(c->Opened());
    };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(peer.Write(port, "x"));
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    EXPECT_FALSE(comm.Opened());
    std::string seen;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        std::string s;
        while (c->ReadString(s))
            seen += s;
        ++calls;
    };
    ASSERT_TRUE(comm.Open()) << "reopens after a close from a handler";
    ASSERT_TRUE(peer.Write(port, "y"));
    ASSERT_TRUE(PumpUntil([&] { return calls > 1; })) << "the new event thread delivers";
    EXPECT_EQ(seen, "y") << "the byte that was queued at the close went with the old handle";
    comm.Close();
}

TEST_F(WinDeviceTest, DeviceVanishingWhileOpen)
{
    int calls = 0;
    comm.OnData = [&](TCustomComm *, std::uint32_t) { ++calls; };
    ASSERT_TRUE(comm.Open());
    ASSERT_TRUE(peer.Ok("hangup " + port));
    PumpUntil([] { return false; }, 100);
    const double cpu0 = ProcessCpuMs();
    PumpUntil([] { return false; }, 300);
    EXPECT_LT(ProcessCpuMs() - cpu0, 100.0) << "nothing spins after the device has gone";
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(comm.Opened());
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm.SendString("ATI0\r\n"));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
    std::string text;
    EXPECT_FALSE(comm.ReadString(text));
    comm.Close();
    EXPECT_FALSE(comm.Opened());
}

TEST_F(WinDeviceTest, BurstsArriveCompleteAndInOrderBothWays)
{
    comm.Buffers().SetInputSize(512);
    ASSERT_TRUE(comm.Open());
    std::string sent(64 * 1024, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);

    // In: the peer writes while this thread reads; its reply comes when all is out.
    ASSERT_TRUE(peer.Post("write " + port + " " + ToHex(sent)));
    std::string got;
    std::vector<char> buf(4096);
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (got.size() < sent.size() && Clock::now() < end) {
        const std::uint32_t n = comm.Read(buf.data(), static_cast<std::uint32_t>(buf.size()), 100);
        got.append(buf.data(), n);
    }
    EXPECT_EQ(peer.Reply(), "ok");
    ASSERT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent) << "bytes lost or reordered on the way in";

    // Out: more than a pty holds, so some writes time out part-way and the
    // rest must follow without a byte twice or missing.
    comm.Buffers().SetOutputTimeout(10000);
    std::thread sender([&] { EXPECT_TRUE(comm.SendString(sent)); });
    const std::string out = peer.Read(port, sent.size(), 30000);
    sender.join();
    ASSERT_EQ(out.size(), sent.size());
    EXPECT_TRUE(out == sent) << "bytes lost or repeated on the way out";
}
