#include "VexoSim.h"
#include "VexoSimText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace vexo::sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A real unit's line buffer is small; a line longer than this is noise and
// is dropped whole rather than grown without bound.
constexpr std::size_t kMaxLine = 256;
// Parameter 9 appeared with this firmware (03.17).
constexpr int kFirstVersionWithKlv = 3 * 1000 + 17;

[[noreturn]] void ThrowErrno(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int SpeedToBits(speed_t s)
{
    struct Entry {
        speed_t code;
        int bits;
    };
    static const Entry table[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},       {B200, 200},       {B300, 300},       {B600, 600},
        {B1200, 1200},     {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
        {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    for (const Entry &e : table)
        if (e.code == s)
            return e.bits;
    return 0;
}

bool Valid(int param, int value)
{
    switch (param) {
    case 0:
    case 3:
    case 4: return value >= 0 && value <= 7;
    case 8: return value >= 1 && value <= 254;
    case 9: return value == 0 || value == 1;
    default: return false;
    }
}

// Throws std::invalid_argument for options no unit could have; returns the
// firmware version as a number.
int CheckedVersion(const Options &o)
{
    const auto version = ParseVersion(o.version);
    if (!version)
        throw std::invalid_argument("version must look like 03.17");
    if (o.powerOnAfterMs < 0 || o.windowMs < 0 || o.extendMs < 0 || o.answerDelayMs < 0 || o.lateMs < 0 || o.splitGapMs < 0)
        throw std::invalid_argument("times must not be negative");
    if (o.splitPieces < 1)
        throw std::invalid_argument("split needs at least one piece");
    if (!Valid(0, o.ioSpeed) || !Valid(3, o.gatewaySpeed) || !Valid(4, o.printerSpeed) ||
        !Valid(8, o.modbusAddress) || !Valid(9, o.klv707))
        throw std::invalid_argument("initial parameter value out of range");
    return *version;
}

} // namespace

struct VexoSim::Impl {
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
        std::size_t done = 0;
    };

    Options opt;
    int versionNumber = 0;
    std::string path;
    int master = -1;
    int slave = -1; // held only so the master never sees a hang-up
    int wakeRead = -1;
    int wakeWrite = -1;
    int clockWatch = -1;
    std::thread thread;

    // Shared with the callers' threads.
    mutable std::mutex mu;
    mutable std::condition_variable progress; // input taken in, a settle done
    bool stopping = false;
    unsigned generation = 0; // bumped by every power cycle
    Clock::time_point poweredOn; // the unit hears nothing before this
    Clock::time_point windowEnd;
    int params[10] = {};
    std::vector<Request> requests;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
    mutable std::uint64_t settleAsked = 0;
    std::uint64_t settleDone = 0;

    // Service thread only.
    unsigned seenGeneration = 0;
    std::string line;
    bool lineTooLong = false;
    std::deque<Chunk> out;
    std::mt19937 rng;

    Clock::time_point Now() const
    {
        return opt.clock ? opt.clock->Now() : Clock::now();
    }

    // Runs under mu.
    bool Listening(Clock::time_point now) const
    {
        return now >= poweredOn && (!opt.setupWindow || now < windowEnd);
    }

    bool Has(int param) const
    {
        switch (param) {
        case 0:
        case 3: return true;
        case 4:
        case 8: return opt.computer;
        case 9: return opt.computer && versionNumber >= kFirstVersionWithKlv;
        default: return false;
        }
    }

    void Wake() const
    {
        const char c = 1;
        // A full pipe already means a wake-up is pending.
        [[maybe_unused]] ssize_t n = ::write(wakeWrite, &c, 1);
    }

    int SpeedOfLine() const
    {
        termios t{};
        if (master < 0 || ::tcgetattr(master, &t) != 0)
            return 0;
        return SpeedToBits(::cfgetospeed(&t));
    }

    void Trace(const std::string &text) const
    {
        if (opt.trace)
            opt.trace(text);
    }

    // Runs under mu. Returns the reply text without its line end.
    std::string Execute(const std::string &req, Clock::time_point now)
    {
        if (req == "ATI0") {
            windowEnd = std::max(windowEnd, now + milliseconds(opt.extendMs));
            return "Vexo v" + opt.version;
        }
        static constexpr std::string_view prefix = "AT+xKPV";
        const std::string_view r(req);
        if (r.substr(0, prefix.size()) != prefix)
            return "ERROR";
        const std::string_view rest = r.substr(prefix.size());
        const auto eq = rest.find('=');
        if (eq == std::string_view::npos)
            return "ERROR";
        const auto param = ParseDecimal(rest.substr(0, eq), 2);
        if (!param || !Has(*param))
            return "ERROR";
        const std::string_view arg = rest.substr(eq + 1);
        if (arg == "?")
            return std::to_string(params[*param]);
        const auto value = ParseDecimal(arg, 5);
        if (!value || !Valid(*param, *value))
            return "ERROR";
        params[*param] = *value;
        return "OK";
    }

    std::string Junk(std::size_t n)
    {
        std::uniform_int_distribution<int> byte(0x80, 0xFF);
        std::string s(n, '\0');
        for (char &c : s)
            c = static_cast<char>(byte(rng));
        return s;
    }

    void Queue(Clock::time_point due, std::string bytes)
    {
        if (bytes.empty())
            return;
        // Replies leave in order: a later one never overtakes a delayed one.
        if (!out.empty())
            due = std::max(due, out.back().due);
        out.push_back(Chunk{due, std::move(bytes)});
    }

    void Answer(const std::string &req, const std::string &replyText, Clock::time_point now)
    {
        const std::string reply = replyText + "\r\n";
        const auto due = now + milliseconds(opt.answerDelayMs);
        switch (opt.fault) {
        case Fault::None: Queue(due, reply); break;
        case Fault::Silent: break;
        case Fault::Garbage: Queue(due, Junk(reply.size())); break;
        case Fault::Split: {
            const std::size_t pieces = std::min<std::size_t>(opt.splitPieces, reply.size());
            std::size_t from = 0;
            for (std::size_t i = 0; i < pieces; ++i) {
                const std::size_t to = reply.size() * (i + 1) / pieces;
                Queue(due + milliseconds(opt.splitGapMs) * i, reply.substr(from, to - from));
                from = to;
            }
            break;
        }
        case Fault::Late: Queue(now + milliseconds(opt.lateMs), reply); break;
        case Fault::Echo: Queue(due, req + "\r\n" + reply); break;
        case Fault::Flood: Queue(due, Junk(opt.floodBytes)); break;
        }
    }

    void LineDone()
    {
        std::string raw;
        raw.swap(line);
        const bool tooLong = lineTooLong;
        lineTooLong = false;
        if (tooLong)
            return;
        const auto at = raw.find("AT");
        if (at == std::string::npos)
            return; // noise: a modem waits for "AT"
        std::string req = raw.substr(at);
        const auto now = Now();
        bool listening, off;
        std::string reply;
        {
            std::lock_guard lock(mu);
            listening = Listening(now);
            off = now < poweredOn;
            requests.push_back(Request{req, listening, now});
            if (listening)
                reply = Execute(req, now);
        }
        if (!listening) {
            Trace("<- " + req + (off ? "   (switched off: ignored)" : "   (outside the set-up window: ignored)"));
            return;
        }
        Trace("<- " + req);
        Trace("-> " + reply + (opt.fault == Fault::None ? "" : std::string("   [fault: ") + FaultName(opt.fault) + "]"));
        Answer(req, reply, now);
    }

    void Feed(const char *data, std::size_t n)
    {
        if (opt.requireLineSpeed && SpeedOfLine() != 19200) {
            // At a wrong speed a real UART only sees framing errors.
            line.clear();
            lineTooLong = false;
            return;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const char c = data[i];
            if (c == '\r' || c == '\n') {
                if (!line.empty() || lineTooLong)
                    LineDone();
            } else if (line.size() < kMaxLine) {
                line.push_back(c);
            } else {
                lineTooLong = true;
            }
        }
    }

    // Runs under mu. What arrives after a power cycle meets a fresh unit.
    void CatchUpPowerCycle()
    {
        if (generation == seenGeneration)
            return;
        seenGeneration = generation;
        line.clear();
        lineTooLong = false;
        out.clear();
    }

    void ReadInput()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                {
                    std::lock_guard lock(mu);
                    CatchUpPowerCycle();
                }
                Feed(buf, static_cast<std::size_t>(n));
                std::lock_guard lock(mu);
                bytesReceived += static_cast<std::uint64_t>(n);
                progress.notify_all();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return; // EAGAIN: drained
        }
    }

    void WriteDue(Clock::time_point now)
    {
        while (!out.empty() && out.front().due <= now) {
            Chunk &c = out.front();
            const std::size_t left = std::min<std::size_t>(c.bytes.size() - c.done, 65536);
            const ssize_t n = ::write(master, c.bytes.data() + c.done, left);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN)
                    out.clear(); // the line is broken; nothing to deliver to
                return;
            }
            c.done += static_cast<std::size_t>(n);
            {
                std::lock_guard lock(mu);
                bytesSent += static_cast<std::uint64_t>(n);
            }
            if (c.done == c.bytes.size())
                out.pop_front();
        }
    }

    void Run()
    {
        for (;;) {
            std::uint64_t settleTicket;
            {
                std::lock_guard lock(mu);
                if (stopping)
                    return;
                CatchUpPowerCycle();
                settleTicket = settleAsked;
            }
            const auto now = Now();
            WriteDue(now);
            {
                std::lock_guard lock(mu);
                if (settleDone != settleTicket) {
                    settleDone = settleTicket;
                    progress.notify_all();
                }
            }

            // Sleep until input, a wake-up, or the next reply falls due; with
            // nothing queued, or a manual clock (its Advance wakes us), there
            // is no time-out at all.
            int timeout = -1;
            bool wantWrite = false;
            if (!out.empty()) {
                if (out.front().due <= now) {
                    wantWrite = true; // the line is full: wait until it drains
                } else if (!opt.clock) {
                    const auto wait = std::chrono::ceil<milliseconds>(out.front().due - now).count();
                    timeout = static_cast<int>(std::min<long long>(wait, INT_MAX));
                }
            }
            pollfd fds[2] = {
                {master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                {wakeRead, POLLIN, 0},
            };
            const int r = ::poll(fds, 2, timeout);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents & POLLIN) {
                char drain[64];
                while (::read(wakeRead, drain, sizeof drain) > 0) {
                }
                continue; // re-check stop and power cycle before touching the line
            }
            if (fds[0].revents & POLLIN)
                ReadInput();
            else if (fds[0].revents & (POLLHUP | POLLERR)) {
                // Cannot happen while our slave fd is open; never spin on it.
                ::poll(fds + 1, 1, 100);
            }
        }
    }

    // The pseudo-terminal, raw, and the pipe that wakes the service thread.
    void OpenLine()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0)
            ThrowErrno("posix_openpt");
        if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            ThrowErrno("grantpt/unlockpt");
        char name[128];
        if (::ptsname_r(master, name, sizeof name) != 0)
            ThrowErrno("ptsname_r");
        path = name;
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            ThrowErrno("open slave");
        // Raw from the start: with the default line discipline the tty would
        // echo our own requests' replies back to us before a client sets it.
        termios t{};
        if (::tcgetattr(slave, &t) != 0)
            ThrowErrno("tcgetattr");
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        if (::tcsetattr(slave, TCSANOW, &t) != 0)
            ThrowErrno("tcsetattr");
        const int fl = ::fcntl(master, F_GETFL);
        if (fl < 0 || ::fcntl(master, F_SETFL, fl | O_NONBLOCK) != 0)
            ThrowErrno("fcntl O_NONBLOCK");
        int p[2];
        if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0)
            ThrowErrno("pipe2");
        wakeRead = p[0];
        wakeWrite = p[1];
    }
};

VexoSim::VexoSim(Options options) : d(std::make_unique<Impl>())
{
    Impl &s = *d;
    s.opt = std::move(options);
    const Options &o = s.opt;
    s.versionNumber = CheckedVersion(o);
    s.params[0] = o.ioSpeed;
    s.params[3] = o.gatewaySpeed;
    s.params[4] = o.printerSpeed;
    s.params[8] = o.modbusAddress;
    s.params[9] = o.klv707;
    s.rng.seed(o.seed ? o.seed : std::random_device{}());
    try {
        s.OpenLine();
    } catch (...) {
        CloseFd(s.master);
        CloseFd(s.slave);
        CloseFd(s.wakeRead);
        CloseFd(s.wakeWrite);
        throw;
    }
    s.poweredOn = s.Now() + milliseconds(o.powerOnAfterMs);
    s.windowEnd = s.poweredOn + milliseconds(o.windowMs);
    s.thread = std::thread([&s] { s.Run(); });
    if (o.clock)
        s.clockWatch = o.clock->Watch([&s] { s.Wake(); });
}

VexoSim::~VexoSim()
{
    Stop();
}

const std::string &VexoSim::DevicePath() const
{
    return d->path;
}

void VexoSim::PowerCycle()
{
    std::lock_guard lock(d->mu);
    if (d->stopping)
        return;
    ++d->generation;
    d->poweredOn = std::min(d->poweredOn, d->Now());
    d->windowEnd = d->Now() + milliseconds(d->opt.windowMs);
    d->Wake();
}

void VexoSim::Stop()
{
    {
        std::lock_guard lock(d->mu);
        if (d->stopping)
            return;
        d->stopping = true;
        d->Wake();
        d->progress.notify_all();
    }
    if (d->thread.joinable())
        d->thread.join();
    if (d->opt.clock)
        d->opt.clock->Unwatch(d->clockWatch); // before its wake-up pipe goes
    std::lock_guard lock(d->mu);
    CloseFd(d->slave);
    CloseFd(d->master);
    CloseFd(d->wakeRead);
    CloseFd(d->wakeWrite);
}

bool VexoSim::PoweredOn() const
{
    std::lock_guard lock(d->mu);
    return d->Now() >= d->poweredOn;
}

bool VexoSim::InWindow() const
{
    std::lock_guard lock(d->mu);
    return d->Listening(d->Now());
}

int VexoSim::LineSpeed() const
{
    std::lock_guard lock(d->mu);
    return d->SpeedOfLine();
}

std::optional<int> VexoSim::Stored(int param) const
{
    if (!d->Has(param))
        return std::nullopt;
    std::lock_guard lock(d->mu);
    return d->params[param];
}

std::vector<Request> VexoSim::Requests() const
{
    std::lock_guard lock(d->mu);
    return d->requests;
}

void VexoSim::ClearRequests()
{
    std::lock_guard lock(d->mu);
    d->requests.clear();
}

std::uint64_t VexoSim::BytesSent() const
{
    std::lock_guard lock(d->mu);
    return d->bytesSent;
}

std::uint64_t VexoSim::BytesReceived() const
{
    std::lock_guard lock(d->mu);
    return d->bytesReceived;
}

bool VexoSim::Settle(milliseconds limit) const
{
    std::unique_lock lock(d->mu);
    if (d->stopping)
        return false;
    const std::uint64_t ticket = ++d->settleAsked;
    d->Wake();
    return d->progress.wait_for(lock, limit, [&] { return d->settleDone >= ticket || d->stopping; })
        && d->settleDone >= ticket;
}

bool VexoSim::WaitForInput(std::uint64_t bytes, milliseconds limit) const
{
    const auto end = Clock::now() + limit;
    {
        std::unique_lock lock(d->mu);
        if (!d->progress.wait_until(lock, end, [&] { return d->bytesReceived >= bytes || d->stopping; })
            || d->stopping)
            return false;
    }
    return Settle(std::chrono::ceil<milliseconds>(end - Clock::now()));
}

} // namespace vexo::sim
