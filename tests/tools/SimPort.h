// What the stand-in Vexo's tests share: the program's end of the line, and a
// unit on a manual clock that the test moves on instead of sleeping.
#pragma once

#include "VexoSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vexo::sim::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program's end of the line: exclusive open, raw 8N1, request lines with
// CR LF, replies read with a time-out.
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
        sent_ += bytes.size();
    }

    // Bytes sent through this port so far.
    std::uint64_t Sent() const { return sent_; }

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

    std::string ReadBytes(std::size_t n, std::chrono::milliseconds limit = 2000ms)
    {
        return ReadUntil([n](const std::string &s) { return s.size() >= n; }, limit);
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
    std::uint64_t sent_ = 0;
};

// Answers at once and at any time.
inline Options Quick()
{
    Options o;
    o.answerDelayMs = 0;
    o.setupWindow = false;
    return o;
}

inline Options Faulty(Fault f)
{
    Options o = Quick();
    o.fault = f;
    o.seed = 1234;
    return o;
}

inline bool AllHigh(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A unit whose time stands still until the test moves it, and the program's
// port on it.
struct Rig {
    explicit Rig(Options o) : sim(OnClock(std::move(o), clock)), port(sim.DevicePath()) {}

    // Moves the unit's time on and waits until it has acted on it.
    void Advance(std::chrono::milliseconds by)
    {
        clock->Advance(by);
        EXPECT_TRUE(sim.Settle(2000ms));
    }

    // Waits until the unit has taken in and acted on all the port has sent.
    void Taken() { EXPECT_TRUE(sim.WaitForInput(port.Sent(), 2000ms)); }

    static Options OnClock(Options o, std::shared_ptr<ManualClock> c)
    {
        o.clock = std::move(c);
        return o;
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    VexoSim sim;
    Port port;
};

} // namespace vexo::sim::test
