#include "pty.h"

#include "commapi.h"
#include "commapi_unix_internal.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

TestPty::TestPty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        throw std::runtime_error("posix_openpt failed");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw std::runtime_error("pty set-up failed");
    }
    slavePath_ = name;
}

TestPty::~TestPty()
{
    CloseMaster();
}

bool TestPty::Write(const std::string &bytes, int timeoutMs)
{
    if (master_ < 0)
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t off = 0;
    while (off < bytes.size()) {
        ssize_t r = ::write(master_, bytes.data() + off, bytes.size() - off);
        if (r > 0) {
            off += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN)
            return false;
        int ms = MsLeft(deadline);
        if (ms == 0)
            return false;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, ms);
    }
    return true;
}

std::string TestPty::ReadFor(int ms)
{
    std::string out;
    if (master_ < 0)
        return out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    for (;;) {
        ssize_t r = ::read(master_, buf, sizeof buf);
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        int left = MsLeft(deadline);
        if (left == 0)
            return out;
        // EIO while no slave is open: nothing to read yet; do not spin
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, left) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN))
            ::poll(nullptr, 0, std::min(left, 5));
    }
}

std::string TestPty::ReadExactly(std::size_t n, int timeoutMs)
{
    std::string out;
    if (master_ < 0)
        return out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (out.size() < n) {
        ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        int left = MsLeft(deadline);
        if (left == 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, left) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN))
            ::poll(nullptr, 0, std::min(left, 5));
    }
    return out;
}

bool TestPty::SlaveTermios(termios *t) const
{
    return master_ >= 0 && t != nullptr && ::tcgetattr(master_, t) == 0;
}

unsigned TestPty::SlaveSpeed() const
{
    unsigned in = 0, out = 0;
    if (master_ < 0 || commlayer::detail::GetSpeed(master_, &in, &out) != 0)
        return 0;
    return out;
}

void TestPty::CloseMaster()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

DeviceRootDir::DeviceRootDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "vexo-devroot-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    oldRoot_ = commlayer::DeviceRoot();
    commlayer::SetDeviceRoot(path_);
}

DeviceRootDir::~DeviceRootDir()
{
    commlayer::SetDeviceRoot(oldRoot_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool DeviceRootDir::Link(const std::string &name, const std::string &target)
{
    std::error_code ec;
    std::filesystem::create_symlink(target, std::filesystem::path(path_) / name, ec);
    return !ec;
}

bool DeviceRootDir::MakeFile(const std::string &name, const std::string &content)
{
    std::ofstream f(std::filesystem::path(path_) / name, std::ios::binary);
    f << content;
    return static_cast<bool>(f);
}

bool DeviceRootDir::MakeDir(const std::string &name)
{
    std::error_code ec;
    return std::filesystem::create_directory(std::filesystem::path(path_) / name, ec);
}
