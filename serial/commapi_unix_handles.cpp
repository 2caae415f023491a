// The Win32 handle and event calls on Linux: one table of handles (event
// objects and open devices), waits on events, the last-error value, the
// clock, the version, and the fault injection that tests use.
#include "commapi_unix_device.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <map>

#include <sched.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

namespace commlayer::detail {

thread_local bool tLeaveInlineWaitersAsleep = false;

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// The tables below are never destroyed: a port left open when the program
// ends keeps its threads running through exit, and they use them to the last.
std::mutex &g_faultMu = *new std::mutex;
std::map<std::string, int> &g_faults = *new std::map<std::string, int>;
std::atomic<int> g_faultsArmed{0};

std::uintptr_t HandleKey(HANDLE h)
{
    return reinterpret_cast<std::uintptr_t>(h);
}

std::mutex &g_mu = *new std::mutex;
std::condition_variable &g_eventCv = *new std::condition_variable;
std::unordered_map<std::uintptr_t, Object> &g_handles = *new std::unordered_map<std::uintptr_t, Object>;
std::uintptr_t g_nextHandle = 1;
// Event -> device whose pending WaitCommEvent completes it.
std::unordered_map<std::uintptr_t, std::weak_ptr<Device>> &g_pendingWaits =
    *new std::unordered_map<std::uintptr_t, std::weak_ptr<Device>>;
// Threads watching a tty in WaitForMultipleObjects, with the events they
// wait for: setting one of those wakes them.
struct InlineWaiter {
    int fd;
    DWORD count;
    const HANDLE *handles;
};
std::vector<InlineWaiter> &g_inlineWaiters = *new std::vector<InlineWaiter>;

int ThreadWaiterFd();

void WakeInlineWaitersLocked(HANDLE h)
{
    if (g_inlineWaiters.empty() || tLeaveInlineWaitersAsleep)
        return;
    const int self = ThreadWaiterFd(); // a waiter that sets its own event is awake
    for (const InlineWaiter &w : g_inlineWaiters) {
        if (w.fd == self || std::find(w.handles, w.handles + w.count, h) == w.handles + w.count)
            continue;
        std::uint64_t one = 1;
        ssize_t r = ::write(w.fd, &one, sizeof one);
        (void)r;
    }
}

// This thread's own wake-up for an inline wait; -1 when none can be made.
int ThreadWaiterFd()
{
    struct WaiterFd {
        int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ~WaiterFd()
        {
            if (fd >= 0)
                ::close(fd);
        }
    };
    thread_local WaiterFd w;
    return w.fd;
}

// A device with a pending WaitCommEvent behind one of `handles`.
std::shared_ptr<Device> InlineCandidateLocked(DWORD count, const HANDLE *handles)
{
    for (DWORD i = 0; i < count; ++i) {
        auto it = g_pendingWaits.find(HandleKey(handles[i]));
        if (it != g_pendingWaits.end())
            if (auto dev = it->second.lock())
                return dev;
    }
    return nullptr;
}

std::shared_ptr<Event> FindEventLocked(HANDLE h)
{
    auto it = g_handles.find(HandleKey(h));
    if (it == g_handles.end())
        return nullptr;
    return it->second.event;
}

} // namespace

BOOL Fail(DWORD code)
{
    t_lastError = code;
    return FALSE;
}

bool FaultHit(const char *call)
{
    if (g_faultsArmed.load(std::memory_order_acquire) == 0)
        return false;
    std::lock_guard<std::mutex> lk(g_faultMu);
    auto it = g_faults.find(call);
    if (it == g_faults.end())
        return false;
    if (--it->second <= 0)
        g_faults.erase(it);
    g_faultsArmed.store(static_cast<int>(g_faults.size()), std::memory_order_release);
    return true;
}

int PollMs(std::optional<Clock::time_point> deadline)
{
    if (!deadline)
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(left, INT_MAX));
}

std::optional<Clock::time_point> DeadlineAfter(DWORD ms)
{
    if (ms == INFINITE)
        return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

std::mutex &HandleLock()
{
    return g_mu;
}

std::condition_variable &EventChanged()
{
    return g_eventCv;
}

HANDLE AddHandleLocked(Object obj)
{
    // Numbers are not reused soon, so a stale handle rarely hits a new object.
    for (;;) {
        std::uintptr_t key = g_nextHandle;
        g_nextHandle = g_nextHandle >= 0x3FFFFFFF ? 1 : g_nextHandle + 1;
        if (g_handles.find(key) == g_handles.end()) {
            g_handles.emplace(key, std::move(obj));
            return reinterpret_cast<HANDLE>(key);
        }
    }
}

bool TakeHandle(HANDLE h, Object &obj)
{
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_handles.find(HandleKey(h));
    if (it == g_handles.end())
        return false;
    obj = std::move(it->second);
    g_handles.erase(it);
    return true;
}

std::shared_ptr<Device> FindDevice(HANDLE h)
{
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_handles.find(HandleKey(h));
    return it == g_handles.end() ? nullptr : it->second.device;
}

void SignalEvent(HANDLE h)
{
    if (h == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    if (auto ev = FindEventLocked(h)) {
        ev->signalled = true;
        g_eventCv.notify_all();
        WakeInlineWaitersLocked(h);
    }
}

void NotePendingWait(HANDLE ev, const std::shared_ptr<Device> &dev)
{
    if (ev == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    g_pendingWaits[HandleKey(ev)] = dev;
}

void ForgetPendingWait(HANDLE ev)
{
    if (ev == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    g_pendingWaits.erase(HandleKey(ev));
}

void UnsignalEvent(HANDLE h)
{
    if (h == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    if (auto ev = FindEventLocked(h))
        ev->signalled = false;
}

} // namespace commlayer::detail

namespace commlayer {

using namespace detail;

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}

BOOL CloseHandle(HANDLE h)
{
    Object obj;
    if (!TakeHandle(h, obj))
        return Fail(ERROR_INVALID_HANDLE);
    if (obj.device)
        ShutDownDevice(obj.device);
    return TRUE;
}

// ================================================================ event objects

HANDLE CreateEventA(LPVOID, BOOL manualReset, BOOL initialState, LPCSTR)
{
    if (FaultHit("CreateEventA")) {
        Fail(ERROR_GEN_FAILURE);
        return nullptr;
    }
    Object obj;
    obj.event = std::make_shared<Event>();
    obj.event->manualReset = manualReset != FALSE;
    obj.event->signalled = initialState != FALSE;
    std::lock_guard<std::mutex> lk(g_mu);
    return AddHandleLocked(std::move(obj));
}

BOOL SetEvent(HANDLE h)
{
    std::lock_guard<std::mutex> lk(g_mu);
    auto ev = FindEventLocked(h);
    if (!ev)
        return Fail(ERROR_INVALID_HANDLE);
    ev->signalled = true;
    g_eventCv.notify_all();
    WakeInlineWaitersLocked(h);
    return TRUE;
}

BOOL ResetEvent(HANDLE h)
{
    std::lock_guard<std::mutex> lk(g_mu);
    auto ev = FindEventLocked(h);
    if (!ev)
        return Fail(ERROR_INVALID_HANDLE);
    ev->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms)
{
    return WaitForMultipleObjects(1, &h, FALSE, ms);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD ms)
{
    if (count == 0 || count > 64 || handles == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const auto deadline = DeadlineAfter(ms);
    std::unique_lock<std::mutex> lk(g_mu);
    std::vector<std::shared_ptr<Event>> evs(count);
    for (DWORD i = 0; i < count; ++i) {
        evs[i] = FindEventLocked(handles[i]);
        if (!evs[i]) {
            Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    auto take = [&]() -> std::optional<DWORD> {
        if (waitAll) {
            if (!std::all_of(evs.begin(), evs.end(), [](const auto &e) { return e->signalled; }))
                return std::nullopt;
            for (auto &e : evs)
                if (!e->manualReset)
                    e->signalled = false;
            return WAIT_OBJECT_0;
        }
        // lowest index first: a stop signal listed first wins
        for (DWORD i = 0; i < count; ++i) {
            if (evs[i]->signalled) {
                if (!evs[i]->manualReset)
                    evs[i]->signalled = false;
                return WAIT_OBJECT_0 + i;
            }
        }
        return std::nullopt;
    };
    bool inlineRefused = false;
    for (;;) {
        if (auto r = take())
            return *r;
        if (ms == 0)
            return WAIT_TIMEOUT; // a look, not a wait
        // Waiting for a port event: watch the tty here, one wake-up fewer
        // per arrival than going through the device's wait thread.
        if (!deadline && !waitAll && !inlineRefused) {
            const int waiterFd = ThreadWaiterFd();
            if (auto dev = waiterFd >= 0 ? InlineCandidateLocked(count, handles) : nullptr) {
                g_inlineWaiters.push_back({waiterFd, count, handles});
                lk.unlock();
                inlineRefused = !dev->WaitInline(waiterFd);
                lk.lock();
                g_inlineWaiters.erase(std::find_if(g_inlineWaiters.begin(), g_inlineWaiters.end(),
                                                   [&](const InlineWaiter &w) { return w.fd == waiterFd; }));
                continue; // an event may have been set while the lock was free
            }
        }
        if (!deadline) {
            g_eventCv.wait(lk);
        } else if (g_eventCv.wait_until(lk, *deadline) == std::cv_status::timeout) {
            if (auto r = take())
                return *r;
            return WAIT_TIMEOUT;
        }
    }
}

void Sleep(DWORD ms)
{
    if (ms == 0) {
        sched_yield();
        return;
    }
    if (ms == INFINITE) {
        for (;;)
            ::pause();
    }
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// ================================================================ clock, version

BOOL QueryPerformanceFrequency(LARGE_INTEGER *f)
{
    if (f == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    f->QuadPart = 1000000000LL;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *c)
{
    if (c == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    c->QuadPart = std::int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    return TRUE;
}

DWORD GetTickCount()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u);
}

BOOL GetVersionExA(OSVERSIONINFOA *info)
{
    if (info == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD size = info->dwOSVersionInfoSize;
    std::memset(info, 0, sizeof *info);
    info->dwOSVersionInfoSize = size;
    // Reported as a current NT system, so queue limits follow that family.
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

void InjectFault(const char *call, int count)
{
    if (call == nullptr || count <= 0)
        return;
    std::lock_guard<std::mutex> lk(g_faultMu);
    g_faults[call] += count;
    g_faultsArmed.store(static_cast<int>(g_faults.size()), std::memory_order_release);
}

void ClearFaults()
{
    std::lock_guard<std::mutex> lk(g_faultMu);
    g_faults.clear();
    g_faultsArmed.store(0, std::memory_order_release);
}

} // namespace commlayer
