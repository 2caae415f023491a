// The device side of the shared device scenarios under Wine: the COM ports
// are pseudo-terminals behind dosdevices links, and their far end is a host
// program (tests/wine/pty_peer.c) that this test asks over TCP to send,
// receive, report the line settings, or vanish.
//
// First: it brings in <windows.h> lean (no old winsock) and without the
// min/max macros.
#include "DeviceEnd.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

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

class PeerEnd : public DeviceEnd {
public:
    std::string Problem() override
    {
        if (!peer_.Connected())
            return peer_.Problem();
        if (!peer_.Ok("reset"))
            return "the peer made no fresh pseudo-terminals";
        ports_ = peer_.Ports();
        if (ports_.size() < 2)
            return "the runner serves fewer than two COM names";
        return {};
    }
    std::string Port(int i) override { return ports_.at(i); }
    bool Write(int i, const std::string &bytes) override { return peer_.Write(Port(i), bytes); }
    void StartWrite(int i, const std::string &bytes) override
    {
        posted_ = peer_.Post("write " + Port(i) + " " + ToHex(bytes));
    }
    // The peer replies once all is out.
    bool FinishWrite() override { return posted_ && peer_.Reply() == "ok"; }
    std::string Read(int i, std::size_t n, int ms) override { return peer_.Read(Port(i), n, ms); }
    bool Line(int i, DeviceLine &l) override { return peer_.Line(Port(i), l); }
    bool SetSpeed(int i, unsigned speed) override
    {
        return peer_.Ok("speed " + Port(i) + " " + std::to_string(speed));
    }
    bool Hangup(int i) override { return peer_.Ok("hangup " + Port(i)); }
    bool SecondOpenAllowed(int i) override
    {
        const std::string path = "\\\\.\\" + Port(i);
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
    std::size_t BurstSize() const override { return 64 * 1024; }

private:
    Peer &peer_ = Peer::Get();
    std::vector<std::string> ports_;
    bool posted_ = false;
};

} // namespace

std::unique_ptr<DeviceEnd> MakeDeviceEnd()
{
    return std::make_unique<PeerEnd>();
}

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

