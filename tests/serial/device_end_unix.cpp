// The device side of the shared device scenarios on Linux: two
// pseudo-terminals whose masters this test process holds.
#include "DeviceEnd.h"

#include <sys/resource.h>
#include <termios.h>

#include <thread>

#include "pty.h"

namespace {

class PtyEnd : public DeviceEnd {
public:
    ~PtyEnd() override
    {
        if (writer_.joinable())
            writer_.join();
    }
    std::string Problem() override { return {}; }
    std::string Port(int i) override { return ptys_[i].SlavePath(); }
    bool Write(int i, const std::string &bytes) override { return ptys_[i].Write(bytes); }
    void StartWrite(int i, const std::string &bytes) override
    {
        writer_ = std::thread([this, i, bytes] { written_ = ptys_[i].Write(bytes, 30000); });
    }
    bool FinishWrite() override
    {
        writer_.join();
        return written_;
    }
    std::string Read(int i, std::size_t n, int ms) override
    {
        return n > 0 ? ptys_[i].ReadExactly(n, ms) : ptys_[i].ReadFor(ms);
    }
    bool Line(int i, DeviceLine &l) override
    {
        termios t{};
        if (!ptys_[i].SlaveTermios(&t))
            return false;
        l.speed = ptys_[i].SlaveSpeed();
        switch (t.c_cflag & CSIZE) {
        case CS5: l.dataBits = 5; break;
        case CS6: l.dataBits = 6; break;
        case CS7: l.dataBits = 7; break;
        default: l.dataBits = 8; break;
        }
        l.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
        l.twoStopBits = t.c_cflag & CSTOPB;
        l.rtsCts = t.c_cflag & CRTSCTS;
        l.ixon = t.c_iflag & IXON;
        l.ixoff = t.c_iflag & IXOFF;
        l.canonical = t.c_lflag & ICANON;
        l.echo = t.c_lflag & ECHO;
        return true;
    }
    bool SetSpeed(int i, unsigned speed) override
    {
        termios t{};
        if (!ptys_[i].SlaveTermios(&t))
            return false;
        const speed_t code = speed == 38400 ? B38400 : speed == 115200 ? B115200 : speed == 19200 ? B19200 : B9600;
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
        return tcsetattr(ptys_[i].MasterFd(), TCSANOW, &t) == 0;
    }
    bool Hangup(int i) override
    {
        ptys_[i].CloseMaster();
        return true;
    }
    bool SecondOpenAllowed(int) override { return false; }
    std::size_t BurstSize() const override { return 1u << 20; }

private:
    TestPty ptys_[2];
    std::thread writer_;
    bool written_ = false;
};

} // namespace

std::unique_ptr<DeviceEnd> MakeDeviceEnd()
{
    return std::make_unique<PtyEnd>();
}

double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}
