// The device side of the shared device scenarios under Wine: the COM ports
// are pseudo-terminals behind dosdevices links, and their far end is a host
// program (tests/wine/pty_peer.c) that this test asks over TCP to send,
// receive, report the line settings, or vanish.
#include "PeerLink.h" // first: winsock2 before windows.h

#include "DeviceEnd.h"

#include <sstream>

namespace {

// One connection per process.
TPeerLink &ThePeer()
{
    static TPeerLink peer;
    return peer;
}

bool PeerLine(TPeerLink &peer, const std::string &port, DeviceLine &l)
{
    std::istringstream in(peer.Ask("line " + port));
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
        posted_ = peer_.Post("write " + Port(i) + " " + TPeerLink::ToHex(bytes));
    }
    // The peer replies once all is out.
    bool FinishWrite() override { return posted_ && peer_.Reply() == "ok"; }
    std::string Read(int i, std::size_t n, int ms) override { return peer_.Read(Port(i), n, ms); }
    bool Line(int i, DeviceLine &l) override { return PeerLine(peer_, Port(i), l); }
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
    TPeerLink &peer_ = ThePeer();
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

