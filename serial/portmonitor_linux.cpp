// The port monitor on Linux: the kernel's uevents where the socket can be
// had (a container's network namespace opens it but hears nothing, so the
// device folder is watched with inotify as well), a timerfd for the debounce.
// All three descriptors are served by the main loop: no thread, and no
// wake-up between notices.
#include "PortMonitor.h"

#include <cerrno>
#include <ctime>

#include <linux/netlink.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "Thread.h"
#include "commlayer.h"

namespace {

std::int64_t MonotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int OpenUevents()
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return -1;
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = 1; // the kernel's own broadcasts
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

struct TPortMonitor::State {
    std::function<void()> changed;
    TDebounce debounce;
    int uevent = -1, inotify = -1, timer = -1, remind = -1;
    bool ownUevent = false;
    unsigned watches[4] = {0, 0, 0, 0};
    std::string sources;

    explicit State(const TPortMonitorOptions &o) : debounce(o.quietMs, o.longestMs) {}

    void Notice()
    {
        const std::int64_t due = debounce.Notice(MonotonicMs());
        itimerspec at{};
        at.it_value.tv_sec = due / 1000;
        at.it_value.tv_nsec = (due % 1000) * 1000000;
        (void)::timerfd_settime(timer, TFD_TIMER_ABSTIME, &at, nullptr);
    }
    void ServeUevent()
    {
        char buf[8192];
        bool port = false;
        for (;;) {
            const ssize_t n = ::recv(uevent, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            port = port || IsPortUevent(buf, std::size_t(n));
        }
        if (port)
            Notice();
    }
    void ServeInotify()
    {
        alignas(inotify_event) char buf[4096];
        bool port = false;
        for (;;) {
            const ssize_t n = ::read(inotify, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
                // An overflowed queue lost notices: enumerate anyway.
                if ((e->mask & IN_Q_OVERFLOW) || (e->len && IsPortNodeName(e->name)))
                    port = true;
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        if (port)
            Notice();
    }
    void ServeTimer()
    {
        std::uint64_t expirations = 0;
        while (::read(timer, &expirations, sizeof expirations) > 0) {
        }
        if (debounce.Fire(MonotonicMs()) && changed)
            changed();
    }
    void ServeRemind()
    {
        std::uint64_t expirations = 0;
        bool due = false;
        while (::read(remind, &expirations, sizeof expirations) > 0)
            due = true;
        if (due && changed)
            changed();
    }
};

TPortMonitor::TPortMonitor(std::function<void()> changed, TPortMonitorOptions options)
    : F(std::make_unique<State>(options))
{
    F->changed = std::move(changed);
    F->timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (F->timer < 0)
        return;
    F->watches[0] = WatchInMainLoop(F->timer, [s = F.get()] { s->ServeTimer(); });
    if (!F->watches[0])
        return; // no main loop: nothing could be served
    F->remind = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (F->remind >= 0)
        F->watches[3] = WatchInMainLoop(F->remind, [s = F.get()] { s->ServeRemind(); });
    if (options.ueventFd == -2) {
        F->uevent = OpenUevents();
        F->ownUevent = true;
    } else {
        F->uevent = options.ueventFd;
    }
    if (F->uevent >= 0) {
        F->watches[1] = WatchInMainLoop(F->uevent, [s = F.get()] { s->ServeUevent(); });
        F->sources = "uevent";
    }
    const std::string dev = options.devRoot.empty() ? commlayer::DeviceRoot() : options.devRoot;
    F->inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (F->inotify >= 0 && ::inotify_add_watch(F->inotify, dev.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0) {
        F->watches[2] = WatchInMainLoop(F->inotify, [s = F.get()] { s->ServeInotify(); });
        F->sources += F->sources.empty() ? "inotify" : "+inotify";
    }
}

TPortMonitor::~TPortMonitor()
{
    for (unsigned w : F->watches)
        if (w)
            UnwatchInMainLoop(w);
    if (F->ownUevent && F->uevent >= 0)
        ::close(F->uevent);
    if (F->inotify >= 0)
        ::close(F->inotify);
    if (F->timer >= 0)
        ::close(F->timer);
    if (F->remind >= 0)
        ::close(F->remind);
}

void TPortMonitor::Remind(int ms)
{
    if (F->remind < 0 || !F->watches[3])
        return;
    itimerspec at{};
    at.it_value.tv_sec = ms / 1000;
    at.it_value.tv_nsec = (ms % 1000) * 1000000L + (ms <= 0 ? 1 : 0);
    (void)::timerfd_settime(F->remind, 0, &at, nullptr);
}

std::string TPortMonitor::Sources() const { return F->sources; }
