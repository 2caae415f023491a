// Port names and sharing on Linux. "COMn" maps to a tty under the device
// root. A port is ours alone while we hold it, as on Windows: Open refuses a
// tty that any other open file description holds, and while we hold one we
// take the marks other serial programs honour (TIOCEXCL, flock, a UUCP lock
// file). A probe only opens and closes the node.
//
// Holders are found by SearchHolders (commapi_unix_holders.cpp). Processes
// whose fds we may not read are not seen there; their TIOCEXCL, flock and
// lock file still refuse the port.
#include "commapi_unix_device.h"
#include "commapi_unix_holders.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace commlayer;
using namespace commlayer::detail;

// Never destroyed, as the handle table: a port's threads may outlive exit.
std::mutex &g_pathMu = *new std::mutex;
std::string &g_root = *new std::string("/dev");
std::string &g_lockDir = *new std::string("/run/lock");

DWORD MapOpenErrno(int e)
{
    switch (e) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case EISDIR:
    case ENOTTY:
        return ERROR_FILE_NOT_FOUND;
    case EBUSY:
    case EACCES:
    case EPERM:
    case EAGAIN:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// "LCK..ttyUSB0"; a node below /dev/ keeps its sub-folder ("LCK..pts_3").
std::string LockName(const std::string &devicePath)
{
    char *real = ::realpath(devicePath.c_str(), nullptr);
    std::string path = real ? real : devicePath;
    std::free(real);
    std::string name;
    if (path.rfind("/dev/", 0) == 0)
        name = path.substr(5);
    else
        name = path.substr(path.find_last_of('/') + 1);
    for (char &c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

// The PID in a lock file: ten ASCII digits, or the old 4-byte binary form.
// 0 when there is no file, -1 when it says nothing usable.
long LockOwner(const std::string &file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno == ENOENT ? 0 : -1;
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    buf[n] = '\0';
    char *end = nullptr;
    const long pid = std::strtol(buf, &end, 10);
    if (end != buf && pid > 0)
        return pid;
    if (n == 4) {
        std::int32_t bin = 0;
        std::memcpy(&bin, buf, 4);
        return bin > 0 ? bin : -1;
    }
    return -1;
}

bool Alive(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Takes "LCK..<device>" in the lock folder. False when another living
// process holds it; true with `lockFile` empty when the folder cannot be
// used (not writable, missing): then the other marks must do.
bool TakeLockFile(const std::string &devicePath, std::string &lockFile)
{
    lockFile.clear();
    const std::string dir = commlayer::LockDir();
    if (dir.empty())
        return true;
    const std::string name = dir + "/" + LockName(devicePath);
    static std::atomic<unsigned> serial{0};
    const std::string tmp = dir + "/LTMP." + std::to_string(::getpid()) + "." + std::to_string(++serial);
    const int t = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (t < 0)
        return true;
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(t, text, static_cast<std::size_t>(len)) == len;
    ::close(t);
    // Written aside and linked in whole, so no reader sees half a file.
    bool ok = true;
    for (int attempt = 0; written && attempt < 3; ++attempt) {
        if (::link(tmp.c_str(), name.c_str()) == 0) {
            lockFile = name;
            break;
        }
        if (errno != EEXIST)
            break;
        const long owner = LockOwner(name);
        if (owner > 0 && owner != ::getpid() && Alive(owner)) {
            ok = false;
            break;
        }
        // Stale: its process is gone (or it names nobody). Remove it.
        if (::unlink(name.c_str()) != 0 && errno != ENOENT)
            break;
    }
    ::unlink(tmp.c_str());
    return ok;
}

} // namespace

namespace commlayer::detail {

int OpenExclusive(const std::string &path, std::string &lockFile)
{
    lockFile.clear();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(MapOpenErrno(errno));
        return -1;
    }
    // Everything up to TIOCEXCL only looks: a refused port keeps its holder's
    // line settings, modem lines and queued input.
    auto refuse = [fd](DWORD code) {
        ::close(fd); // also drops a flock we took
        Fail(code);
        return -1;
    };
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return refuse(errno == ENOTTY ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE);
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return refuse(ERROR_GEN_FAILURE);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return refuse(ERROR_ACCESS_DENIED);
    const Holders holders = SearchHolders(fd, st.st_rdev).holders;
    if (holders == Holders::Some)
        return refuse(ERROR_ACCESS_DENIED);
    // TIOCEXCL does not stop root: ask whether a holder set it. A pty keeps
    // the flag after its holder has gone: with nobody else on the tty at all,
    // it holds nothing.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0 && holders != Holders::None)
        return refuse(ERROR_ACCESS_DENIED);
    if (!TakeLockFile(path, lockFile))
        return refuse(ERROR_ACCESS_DENIED);
    (void)::ioctl(fd, TIOCEXCL);
    return fd;
}

void ReleaseExclusive(int fd, std::string &lockFile)
{
    if (!lockFile.empty() && LockOwner(lockFile) == ::getpid())
        ::unlink(lockFile.c_str());
    lockFile.clear();
    // The exclusive flag belongs to the tty and outlives our fd: drop it.
    (void)::ioctl(fd, TIOCNXCL);
    (void)::flock(fd, LOCK_UN);
    ::close(fd);
}

} // namespace commlayer::detail

namespace commlayer {

void SetDeviceRoot(const std::string &root)
{
    std::lock_guard<std::mutex> lk(g_pathMu);
    g_root = root;
}

std::string DeviceRoot()
{
    std::lock_guard<std::mutex> lk(g_pathMu);
    return g_root;
}

void SetLockDir(const std::string &dir)
{
    std::lock_guard<std::mutex> lk(g_pathMu);
    g_lockDir = dir;
}

std::string LockDir()
{
    std::lock_guard<std::mutex> lk(g_pathMu);
    return g_lockDir;
}

std::string MapDevicePath(const std::string &path)
{
    // "\\.\COM5", "\\.\/dev/x" and "\\./dev/x" all drop the prefix
    std::string rest = path;
    if (rest.rfind("\\\\.\\", 0) == 0)
        rest = rest.substr(4);
    else if (rest.rfind("\\\\./", 0) == 0)
        rest = rest.substr(3);
    if (!rest.empty() && rest[0] == '/')
        return rest;
    if (rest.size() < 4 || rest.size() > 6)
        return {};
    auto up = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); };
    if (up(rest[0]) != 'C' || up(rest[1]) != 'O' || up(rest[2]) != 'M')
        return {};
    // decimal, no leading zero, 1..100
    if (rest[3] == '0')
        return {};
    int n = 0;
    for (std::size_t i = 3; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return {};
        n = n * 10 + (rest[i] - '0');
    }
    std::string name;
    if (n >= 1 && n <= 4)
        name = "ttyS" + std::to_string(n - 1);
    else if (n >= 5 && n <= 20)
        name = "ttyUSB" + std::to_string(n - 5);
    else if (n >= 21 && n <= 36)
        name = "ttyACM" + std::to_string(n - 21);
    else
        return {};
    std::string root = DeviceRoot();
    if (root.empty() || root.back() != '/')
        root += '/';
    return root + name;
}

std::uint32_t ProbeDevice(const std::string &path)
{
    const std::string mapped = MapDevicePath(path);
    if (mapped.empty())
        return ERROR_FILE_NOT_FOUND;
    const int fd = ::open(mapped.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return MapOpenErrno(errno);
    termios t{};
    const bool tty = ::tcgetattr(fd, &t) == 0;
    ::close(fd);
    return tty ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

} // namespace commlayer
