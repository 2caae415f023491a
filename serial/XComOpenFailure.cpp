#include "XComOpenFailure.h"

#include "commapi.h"
#ifndef _WIN32
#include "commapi_unix_holders.h"
#endif

#ifndef _WIN32
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

#ifdef _WIN32

TOpenFailure ExplainOpenFailure(const std::string &deviceName)
{
    TOpenFailure f;
    f.path = deviceName; // as the operator knows it
    HANDLE h = CreateFileA(("\\\\.\\" + deviceName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return f;
    }
    f.osError = static_cast<int>(GetLastError());
    switch (f.osError) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: f.cause = TOpenCause::ocBusy; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: f.cause = TOpenCause::ocAbsent; break;
    default: f.cause = TOpenCause::ocOther; break;
    }
    return f;
}

#else

namespace {

// The holder as the component's Open sees it, by the same search: another
// user of the tty when there is one (that alone refuses it); else the pty's
// far end, which the search exempts as a user, so one of its marks (the
// exclusive flag, a flock, a lock file) refused it. `ownFd`: our look.
void FindHolder(int ownFd, dev_t rdev, TOpenFailure &f)
{
    const auto found = commlayer::detail::SearchHolders(ownFd, rdev);
    if (found.holders == commlayer::detail::Holders::Some) {
        f.holderPid = found.pid;
        f.holderName = found.program;
    } else if (found.farEndPid > 0) {
        f.holderPid = found.farEndPid;
        f.holderName = found.farEndProgram;
    }
}

// The device's group, and whether this user is listed in it (then only the
// login's group list is stale).
void GroupOf(const std::string &path, TOpenFailure &f)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return;
    std::vector<char> buf(16384);
    group g{};
    group *found = nullptr;
    if (::getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) != 0 || !found)
        return;
    f.group = g.gr_name;
    std::vector<char> pbuf(16384);
    passwd pw{};
    passwd *me = nullptr;
    if (::getpwuid_r(::getuid(), &pw, pbuf.data(), pbuf.size(), &me) != 0 || !me)
        return;
    if (pw.pw_gid == st.st_gid) {
        f.inGroup = true;
        return;
    }
    for (char **m = g.gr_mem; m && *m; ++m)
        if (std::string(*m) == pw.pw_name)
            f.inGroup = true;
}

} // namespace

TOpenFailure ExplainOpenFailure(const std::string &deviceName)
{
    TOpenFailure f;
    f.path = commlayer::MapDevicePath("\\\\.\\" + deviceName);
    if (f.path.empty()) {
        f.path = deviceName; // a COM number with no device in the table
        f.cause = TOpenCause::ocAbsent;
        f.osError = ENOENT;
        return f;
    }
    const int fd = ::open(f.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        f.osError = errno;
        switch (f.osError) {
        case EACCES:
        case EPERM:
            f.cause = TOpenCause::ocNoPermission;
            GroupOf(f.path, f);
            break;
        case EBUSY: {
            f.cause = TOpenCause::ocBusy;
            struct stat st{};
            if (::stat(f.path.c_str(), &st) == 0)
                FindHolder(-1, st.st_rdev, f);
            break;
        }
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
        case EISDIR: f.cause = TOpenCause::ocAbsent; break;
        default: f.cause = TOpenCause::ocOther; break;
        }
        return f;
    }
    termios t{};
    struct stat st{};
    const bool tty = ::tcgetattr(fd, &t) == 0 && ::fstat(fd, &st) == 0;
    if (tty) // an open file description of ours is no holder
        FindHolder(fd, st.st_rdev, f);
    ::close(fd);
    if (!tty) {
        f.cause = TOpenCause::ocAbsent; // something, but no port
        f.osError = ENOTTY;
        return f;
    }
    // It opens for us, yet the component refused it: another holder (an
    // open descriptor, flock, TIOCEXCL or a lock file).
    f.cause = TOpenCause::ocBusy;
    f.osError = EBUSY;
    return f;
}

#endif
