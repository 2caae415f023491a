// The main loop's process-wide registry: which thread is the main one, the
// calls threads hand to it (CheckSynchronize runs them), and on Linux its
// own descriptor, an epoll set over an eventfd and the watched sources.
// TThread (Thread.cpp) only queues calls here and waits for them.
#include "MainLoop.h"

#include "MainLoopPrivate.h"

#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace mainloop {

// Never destroyed: a thread stopped from inside its own delivery is reaped
// later and may still be ending when the program exits.
std::mutex &gLock = *new std::mutex;
std::condition_variable &gChanged = *new std::condition_variable;
std::deque<SyncRequest *> &gPending = *new std::deque<SyncRequest *>;

} // namespace mainloop

using namespace mainloop;

namespace {

std::function<void()> &gWake = *new std::function<void()>;
std::thread::id gMainThread = std::this_thread::get_id();

// The main loop's own descriptor: an epoll set holding an eventfd that is
// written when a call becomes pending (key 0) and the watched sources.
// `epoll` and `wake` are written once, under gLock; `sources` under `lock`.
struct MainLoop {
    std::mutex lock;
    int epoll = -1;
    int wake = -1;
    unsigned nextId = 1;
    struct Source {
        int fd;
        std::function<void()> serve;
    };
    std::map<unsigned, Source> sources;
    std::vector<unsigned> due; // asked for by ServeInMainLoop
};
MainLoop &gLoop = *new MainLoop;

void PokeMainLoop(int wake)
{
#if defined(__linux__)
    if (wake < 0)
        return;
    std::uint64_t one = 1;
    ssize_t r = ::write(wake, &one, sizeof one);
    (void)r; // a full counter is still readable
#else
    (void)wake;
#endif
}

#if defined(__linux__)
int MainLoopFdIfAny()
{
    std::lock_guard<std::mutex> g(gLock);
    return gLoop.epoll;
}
#endif

#if defined(__linux__)
// Runs a source's serve, looked up afresh: serving one may end another.
bool ServeSource(unsigned id)
{
    std::function<void()> serve;
    {
        std::lock_guard<std::mutex> g(gLoop.lock);
        auto it = gLoop.sources.find(id);
        if (it == gLoop.sources.end())
            return false;
        serve = it->second.serve;
    }
    serve();
    return true;
}
#endif

} // namespace

namespace mainloop {

// Runs the calls that are pending now; true if any ran.
bool RunPendingCalls()
{
    bool ran = false;
    for (;;) {
        SyncRequest *req;
        {
            std::lock_guard<std::mutex> g(gLock);
            if (gPending.empty())
                break;
            req = gPending.front();
            gPending.pop_front();
        }
        try {
            (*req->call)();
        } catch (...) {
            req->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> g(gLock);
            req->done = true;
        }
        gChanged.notify_all();
        ran = true;
    }
    return ran;
}

void Post(SyncRequest &req)
{
    std::function<void()> wake;
    int loopWake;
    {
        std::lock_guard<std::mutex> g(gLock);
        gPending.push_back(&req);
        wake = gWake;
        loopWake = gLoop.wake;
    }
    gChanged.notify_all(); // a main thread inside WaitFor
    PokeMainLoop(loopWake);
    if (wake)
        wake();
}

} // namespace mainloop

void SetMainThread() noexcept
{
    std::lock_guard<std::mutex> g(gLock);
    gMainThread = std::this_thread::get_id();
}

bool IsMainThread() noexcept
{
    std::lock_guard<std::mutex> g(gLock);
    return std::this_thread::get_id() == gMainThread;
}

void SetWakeMainThread(std::function<void()> wake)
{
    std::lock_guard<std::mutex> g(gLock);
    gWake = std::move(wake);
}

bool CheckSynchronize()
{
#if defined(__linux__)
    epoll_event ready[16];
    int n = gLoop.epoll >= 0 ? ::epoll_wait(gLoop.epoll, ready, 16, 0) : 0;
    for (int i = 0; i < n; ++i) {
        if (ready[i].data.u64 == 0) {
            // Emptied before the calls run: every call it stood for is
            // queued already, and a later one makes it readable again.
            std::uint64_t v;
            ssize_t r = ::read(gLoop.wake, &v, sizeof v);
            (void)r;
        }
    }
#endif
    bool ran = RunPendingCalls();
#if defined(__linux__)
    std::vector<unsigned> due;
    {
        std::lock_guard<std::mutex> g(gLoop.lock);
        due.swap(gLoop.due);
    }
    for (unsigned id : due) // asked for by their owners, as if they had signalled
        ran = ServeSource(id) || ran;
    while (n > 0) {
        for (int i = 0; i < n; ++i)
            if (ready[i].data.u64 != 0)
                ran = ServeSource(static_cast<unsigned>(ready[i].data.u64)) || ran;
        ran = RunPendingCalls() || ran;
        if (n < 16)
            break;
        n = ::epoll_wait(gLoop.epoll, ready, 16, 0);
    }
#endif
    return ran;
}

int MainLoopFd()
{
#if defined(__linux__)
    std::lock_guard<std::mutex> g(gLock);
    if (gLoop.epoll >= 0)
        return gLoop.epoll;
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = 0;
    if (ep < 0 || wake < 0 || ::epoll_ctl(ep, EPOLL_CTL_ADD, wake, &e) != 0) {
        if (ep >= 0)
            ::close(ep);
        if (wake >= 0)
            ::close(wake);
        return -1;
    }
    gLoop.epoll = ep;
    gLoop.wake = wake;
    if (!gPending.empty())
        PokeMainLoop(wake);
    return ep;
#else
    return -1;
#endif
}

unsigned WatchInMainLoop(int fd, std::function<void()> serve)
{
#if defined(__linux__)
    const int ep = MainLoopFdIfAny();
    if (ep < 0 || fd < 0 || !serve)
        return 0;
    std::lock_guard<std::mutex> g(gLoop.lock);
    // A source still listed under this number watched a descriptor that has
    // since been closed (the kernel dropped its watch then): forget it, so
    // that its late Unwatch cannot remove the new one.
    std::erase_if(gLoop.sources, [fd](const auto &kv) { return kv.second.fd == fd; });
    const unsigned id = gLoop.nextId++;
    if (gLoop.nextId == 0)
        gLoop.nextId = 1;
    epoll_event e{};
    e.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    e.data.u64 = id;
    if (::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &e) != 0)
        return 0;
    gLoop.sources.emplace(id, MainLoop::Source{fd, std::move(serve)});
    return id;
#else
    (void)fd;
    (void)serve;
    return 0;
#endif
}

void ServeInMainLoop(unsigned id)
{
#if defined(__linux__)
    int wake;
    {
        std::lock_guard<std::mutex> g(gLoop.lock);
        if (gLoop.sources.count(id) == 0)
            return;
        gLoop.due.push_back(id);
    }
    {
        std::lock_guard<std::mutex> g(gLock);
        wake = gLoop.wake;
    }
    PokeMainLoop(wake);
#else
    (void)id;
#endif
}

void UnwatchInMainLoop(unsigned id)
{
#if defined(__linux__)
    std::lock_guard<std::mutex> g(gLoop.lock);
    auto it = gLoop.sources.find(id);
    if (it == gLoop.sources.end())
        return;
    // Fails harmlessly once the fd is gone (the kernel dropped the watch).
    ::epoll_ctl(MainLoopFdIfAny(), EPOLL_CTL_DEL, it->second.fd, nullptr);
    gLoop.sources.erase(it);
#else
    (void)id;
#endif
}
