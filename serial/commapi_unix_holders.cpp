// The search for other holders of a tty in /proc. A process that holds
// the pty's master as well is the device's own far end, not a second user.
#include "commapi_unix_holders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

bool IsNumber(const char *s)
{
    if (*s == '\0')
        return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// The pty number of a pts slave device, -1 for any other tty.
int PtyIndex(dev_t rdev)
{
    const unsigned ma = major(rdev);
    if (ma < 136 || ma > 143)
        return -1;
    return static_cast<int>((ma - 136) * 256 + minor(rdev));
}

// True when process `pid` holds the master of pty `index`.
bool HoldsPtyMaster(const std::string &pidDir, int index)
{
    const int dfd = ::open((pidDir + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return false;
    DIR *d = ::fdopendir(dfd);
    if (!d) {
        ::close(dfd);
        return false;
    }
    bool found = false;
    while (dirent *e = ::readdir(d)) {
        struct stat st{};
        if (!IsNumber(e->d_name) || ::fstatat(dfd, e->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode) ||
            st.st_rdev != makedev(5, 2))
            continue;
        char info[256];
        const std::string infoPath = pidDir + "/fdinfo/" + e->d_name;
        FILE *f = std::fopen(infoPath.c_str(), "re");
        if (!f)
            continue;
        while (std::fgets(info, sizeof info, f)) {
            int n = -1;
            if (std::sscanf(info, "tty-index: %d", &n) == 1 && n == index)
                found = true;
        }
        std::fclose(f);
        if (found)
            break;
    }
    ::closedir(d);
    return found;
}

std::string ProgramName(const std::string &pid)
{
    std::string name;
    if (std::FILE *f = std::fopen(("/proc/" + pid + "/comm").c_str(), "re")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, f))
            name = buf;
        std::fclose(f);
    }
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

} // namespace

namespace commlayer::detail {

THolderSearch SearchHolders(int ownFd, dev_t rdev)
{
    THolderSearch found;
    DIR *proc = ::opendir("/proc");
    if (!proc) {
        found.holders = Holders::Unknown;
        return found;
    }
    const int procFd = ::dirfd(proc);
    const std::string self = std::to_string(::getpid());
    const std::string own = std::to_string(ownFd);
    const int ptyIndex = PtyIndex(rdev);
    bool held = false, farEnd = false, unseen = false;
    while (!held) {
        dirent *p = ::readdir(proc);
        if (!p)
            break;
        if (!IsNumber(p->d_name))
            continue;
        const std::string pid = p->d_name;
        const int dfd = ::openat(procFd, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0) {
            unseen = unseen || errno == EACCES; // not ours to read (else gone, or a kernel thread)
            continue;
        }
        DIR *fds = ::fdopendir(dfd);
        if (!fds) {
            ::close(dfd);
            continue;
        }
        bool holds = false;
        while (dirent *e = ::readdir(fds)) {
            if (!IsNumber(e->d_name) || (pid == self && own == e->d_name))
                continue;
            struct stat st{};
            if (::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (holds && ptyIndex >= 0 && HoldsPtyMaster("/proc/" + pid, ptyIndex)) {
            if (!farEnd) {
                found.farEndPid = std::atoi(pid.c_str());
                found.farEndProgram = ProgramName(pid);
            }
            farEnd = true;
        } else if (holds) {
            held = true;
            found.pid = std::atoi(pid.c_str());
            found.program = ProgramName(pid);
        }
    }
    ::closedir(proc);
    found.holders = held ? Holders::Some : unseen ? Holders::Unknown : farEnd ? Holders::FarEndOnly : Holders::None;
    return found;
}

} // namespace commlayer::detail
