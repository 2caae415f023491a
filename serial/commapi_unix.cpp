// The Win32 comm calls on Linux, with the behaviour the component relies on.
//
// Each open device has a wait thread that moves received bytes from the tty
// into a bounded queue of our own and latches the receive events; reads take
// from that queue. Requests complete synchronously; an overlapped caller sees
// its event set before the call returns, and only WaitCommEvent can stay
// pending. Modem status events (EV_CTS, EV_DSR, EV_RING, EV_RLSD) and line
// errors are not generated: the kernel gives no cheap notification for them,
// and nothing here waits for them.
#include "commapi.h"
#include "commapi_unix_internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kMaxDword = 0xFFFFFFFFu;
constexpr DWORD kDefaultInQueue = 4096;
constexpr DWORD kMaxQueue = 65536;
constexpr DWORD kErrorTimeout = 1460; // Windows' ERROR_TIMEOUT

// OVERLAPPED.Internal: 0 = done, kStatusPending = still running, anything
// else = failed with (value & 0xFFFF) as the error code.
constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::uintptr_t kStatusFailed = 0xC0000000u;

thread_local DWORD t_lastError = ERROR_SUCCESS;

BOOL Fail(DWORD code)
{
    t_lastError = code;
    return FALSE;
}

// ---------------------------------------------------------------- faults

std::mutex g_faultMu;
std::map<std::string, int> g_faults;
std::atomic<int> g_faultsArmed{0};

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

// ---------------------------------------------------------------- root

std::mutex g_rootMu;
std::string g_root = "/dev";

// ---------------------------------------------------------------- queue

// Ring buffer with a logical capacity that may be lowered below what it
// holds (SetupComm discards nothing); Room() is 0 until it drains.
class ByteQueue {
public:
    explicit ByteQueue(std::size_t capacity) : buf_(capacity), cap_(capacity) {}

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return cap_; }
    std::size_t Room() const { return size_ < cap_ ? cap_ - size_ : 0; }

    void Push(const unsigned char *p, std::size_t n)
    {
        if (size_ + n > buf_.size())
            Relayout(std::max(size_ + n, cap_));
        std::size_t tail = (head_ + size_) % buf_.size();
        std::size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(buf_.data() + tail, p, first);
        std::memcpy(buf_.data(), p + first, n - first);
        size_ += n;
    }

    std::size_t Pop(unsigned char *out, std::size_t n)
    {
        n = std::min(n, size_);
        if (n == 0)
            return 0;
        std::size_t first = std::min(n, buf_.size() - head_);
        std::memcpy(out, buf_.data() + head_, first);
        std::memcpy(out + first, buf_.data(), n - first);
        head_ = (head_ + n) % buf_.size();
        size_ -= n;
        return n;
    }

    void Clear() { head_ = size_ = 0; }

    void SetCapacity(std::size_t cap)
    {
        cap_ = cap;
        Relayout(std::max(cap_, size_));
    }

private:
    void Relayout(std::size_t storage)
    {
        std::vector<unsigned char> nb(std::max<std::size_t>(storage, 1));
        std::size_t n = Pop(nb.data(), size_);
        buf_.swap(nb);
        head_ = 0;
        size_ = n;
    }

    std::vector<unsigned char> buf_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::size_t cap_;
};

// ---------------------------------------------------------------- objects

struct Event {
    bool manualReset = true;
    bool signalled = false;
};

struct Device;

struct Object {
    std::shared_ptr<Event> event;
    std::shared_ptr<Device> device;
};

// One lock for the handle table and every event's state; one condvar wakes
// all waiters (they re-check their own objects). Lock order: a device's
// mutex may be held while taking g_mu, never the other way round.
std::mutex g_mu;
std::condition_variable g_eventCv;
std::unordered_map<std::uintptr_t, Object> g_handles;
std::uintptr_t g_nextHandle = 1;

std::uintptr_t HandleKey(HANDLE h)
{
    return reinterpret_cast<std::uintptr_t>(h);
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

std::shared_ptr<Event> FindEventLocked(HANDLE h)
{
    auto it = g_handles.find(HandleKey(h));
    if (it == g_handles.end())
        return nullptr;
    return it->second.event;
}

void SignalEvent(HANDLE h)
{
    if (h == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    if (auto ev = FindEventLocked(h)) {
        ev->signalled = true;
        g_eventCv.notify_all();
    }
}

void UnsignalEvent(HANDLE h)
{
    if (h == nullptr)
        return;
    std::lock_guard<std::mutex> lk(g_mu);
    if (auto ev = FindEventLocked(h))
        ev->signalled = false;
}

struct PendingWait {
    DWORD *mask = nullptr;
    OVERLAPPED *ov = nullptr;
};

struct Device {
    int fd = -1;
    int wakeFd = -1; // tells the wait thread to look at its state again
    int stopFd = -1; // written once at close, never drained
    std::thread thread;

    std::mutex mu;
    std::condition_variable cv; // queue, death, completion and close changes
    bool closing = false;
    bool dead = false;
    int inFlight = 0;
    ByteQueue rx{kDefaultInQueue};
    bool rxPaused = false;        // the wait thread stopped asking for POLLIN
    std::uint64_t purgeGen = 0;   // bytes read across a purge are dropped
    DWORD outQueue = 0;
    DWORD mask = 0;
    DWORD latched = 0;
    std::optional<PendingWait> pending;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};

    void Wake() const
    {
        std::uint64_t one = 1;
        ssize_t r = ::write(wakeFd, &one, sizeof one);
        (void)r; // a full counter still wakes the thread
    }

    void WakeIfPausedLocked()
    {
        if (rxPaused && rx.Room() > 0) {
            rxPaused = false;
            Wake();
        }
    }

    // Writes the result into the caller's records; only under `mu`.
    void CompletePendingLocked(bool ok, DWORD value)
    {
        if (!pending)
            return;
        PendingWait p = *pending;
        pending.reset();
        *p.mask = ok ? value : 0;
        p.ov->InternalHigh = 0;
        p.ov->Internal = ok ? 0 : (kStatusFailed | value);
        HANDLE ev = p.ov->hEvent;
        cv.notify_all();
        SignalEvent(ev);
    }

    void LatchLocked(DWORD events)
    {
        latched |= events & mask;
        if (pending && (latched & mask) != 0) {
            DWORD m = latched & mask;
            latched &= ~m;
            CompletePendingLocked(true, m);
        }
    }

    void MarkDeadLocked()
    {
        if (dead)
            return;
        dead = true;
        CompletePendingLocked(false, ERROR_GEN_FAILURE);
        cv.notify_all();
    }

    void OnBytesLocked(const unsigned char *p, std::size_t n)
    {
        std::size_t before = rx.Size();
        rx.Push(p, n);
        DWORD ev = EV_RXCHAR;
        if (std::memchr(p, static_cast<unsigned char>(dcb.EvtChar), n) != nullptr)
            ev |= EV_RXFLAG;
        std::size_t mark = rx.Capacity() * 8 / 10;
        if (before < mark && rx.Size() >= mark)
            ev |= EV_RX80FULL;
        cv.notify_all();
        LatchLocked(ev);
    }

    void WaitLoop();
};

void Device::WaitLoop()
{
    std::vector<unsigned char> buf(16384);
    for (;;) {
        std::size_t room = 0;
        bool watchFd = false;
        {
            std::lock_guard<std::mutex> lk(mu);
            if (closing)
                return;
            watchFd = !dead;
            room = rx.Room();
            rxPaused = room == 0;
        }
        // With the queue full, POLLIN is left out so the kernel holds (and
        // throttles) the rest; POLLHUP/POLLERR are reported regardless. A
        // dead port leaves the poll set, as a hung-up pty stays readable.
        pollfd pfd[2] = {{wakeFd, POLLIN, 0},
                         {watchFd ? fd : -1, static_cast<short>(room > 0 ? POLLIN : 0), 0}};
        int n = ::poll(pfd, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::lock_guard<std::mutex> lk(mu);
            MarkDeadLocked();
            continue;
        }
        if (pfd[0].revents & POLLIN) {
            std::uint64_t v;
            ssize_t r = ::read(wakeFd, &v, sizeof v);
            (void)r;
        }
        if (!watchFd)
            continue;
        short rev = pfd[1].revents;
        if (rev & POLLIN) {
            // room and purge state as of now: SetupComm or PurgeComm may
            // have run while we slept in poll
            std::uint64_t gen;
            {
                std::lock_guard<std::mutex> lk(mu);
                gen = purgeGen;
                room = rx.Room();
            }
            if (room == 0)
                continue;
            ssize_t r = ::read(fd, buf.data(), std::min(room, buf.size()));
            if (r > 0) {
                std::lock_guard<std::mutex> lk(mu);
                if (gen == purgeGen)
                    OnBytesLocked(buf.data(), static_cast<std::size_t>(r));
            } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                std::lock_guard<std::mutex> lk(mu);
                MarkDeadLocked();
            }
        } else if (rev & (POLLHUP | POLLERR | POLLNVAL)) {
            std::lock_guard<std::mutex> lk(mu);
            MarkDeadLocked();
        }
    }
}

// A call on a device: holds its lock and keeps CloseHandle from closing the
// fd until the call has left.
class DeviceCall {
public:
    explicit DeviceCall(HANDLE h)
    {
        {
            std::lock_guard<std::mutex> lk(g_mu);
            auto it = g_handles.find(HandleKey(h));
            if (it != g_handles.end())
                dev_ = it->second.device;
        }
        if (!dev_) {
            t_lastError = ERROR_INVALID_HANDLE;
            return;
        }
        lk = std::unique_lock<std::mutex>(dev_->mu);
        if (dev_->closing) {
            t_lastError = ERROR_INVALID_HANDLE;
            lk.unlock();
            dev_.reset();
            return;
        }
        ++dev_->inFlight;
    }
    ~DeviceCall()
    {
        if (!dev_)
            return;
        if (!lk.owns_lock())
            lk.lock();
        if (--dev_->inFlight == 0 && dev_->closing)
            dev_->cv.notify_all();
        lk.unlock();
    }
    DeviceCall(const DeviceCall &) = delete;
    DeviceCall &operator=(const DeviceCall &) = delete;

    explicit operator bool() const { return dev_ != nullptr; }
    Device *operator->() const { return dev_.get(); }
    Device &operator*() const { return *dev_; }

    std::unique_lock<std::mutex> lk;

private:
    std::shared_ptr<Device> dev_;
};

// Finishes a read or write request: counts, overlapped record, event.
BOOL FinishIo(bool ok, DWORD bytes, DWORD error, LPDWORD done, OVERLAPPED *ov)
{
    if (done)
        *done = bytes;
    if (ov) {
        ov->InternalHigh = bytes;
        ov->Internal = ok ? 0 : (kStatusFailed | error);
        SignalEvent(ov->hEvent);
    }
    if (!ok)
        return Fail(error);
    return TRUE;
}

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

struct SpeedEntry {
    DWORD baud;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> StandardSpeed(DWORD baud)
{
    for (const auto &s : kSpeeds)
        if (s.baud == baud)
            return s.code;
    return std::nullopt;
}

DWORD SpeedFromCode(speed_t code)
{
    for (const auto &s : kSpeeds)
        if (s.code == code)
            return s.baud;
    return 0;
}

void SetModemLine(int fd, int line, bool on)
{
    // ptys and some adapters have no modem lines (ENOTTY/EINVAL): nothing to do
    int bits = line;
    (void)::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

DCB DefaultDcb()
{
    DCB d{};
    d.DCBlength = sizeof(DCB);
    d.BaudRate = 9600;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.fTXContinueOnXoff = 1;
    d.XonLim = 1024;
    d.XoffLim = 1024;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

void ShutDownDevice(const std::shared_ptr<Device> &dev)
{
    {
        std::lock_guard<std::mutex> lk(dev->mu);
        dev->closing = true;
        // Nobody may wait for ever on a handle that is gone.
        dev->CompletePendingLocked(false, ERROR_OPERATION_ABORTED);
        dev->cv.notify_all();
    }
    std::uint64_t one = 1;
    ssize_t r = ::write(dev->stopFd, &one, sizeof one);
    (void)r;
    dev->Wake();
    if (dev->thread.joinable())
        dev->thread.join();
    {
        std::unique_lock<std::mutex> lk(dev->mu);
        dev->cv.wait(lk, [&] { return dev->inFlight == 0; });
    }
    // The exclusive flag belongs to the tty and outlives our fd: drop it.
    (void)::ioctl(dev->fd, TIOCNXCL);
    (void)::flock(dev->fd, LOCK_UN);
    ::close(dev->fd);
    ::close(dev->wakeFd);
    ::close(dev->stopFd);
    dev->fd = dev->wakeFd = dev->stopFd = -1;
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

} // namespace

// ================================================================ handles

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPVOID, DWORD, DWORD, HANDLE)
{
    if (FaultHit("CreateFileA")) {
        Fail(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    if (fileName == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = commlayer::MapDevicePath(fileName);
    if (path.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(MapOpenErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto bail = [&](DWORD code, bool exclusive) {
        if (exclusive)
            (void)::ioctl(fd, TIOCNXCL);
        ::close(fd);
        Fail(code);
        return INVALID_HANDLE_VALUE;
    };
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return bail(errno == ENOTTY ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE, false);
    // TIOCEXCL does not stop root: ask whether another holder set it, and
    // check the advisory lock (which root cannot pass either).
    int heldExclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &heldExclusive) == 0 && heldExclusive != 0)
        return bail(ERROR_ACCESS_DENIED, false);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN))
        return bail(ERROR_ACCESS_DENIED, false);
    (void)::ioctl(fd, TIOCEXCL);

    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 0 would make an empty read look like a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return bail(ERROR_GEN_FAILURE, true);
    (void)::tcflush(fd, TCIOFLUSH);

    auto dev = std::make_shared<Device>();
    dev->fd = fd;
    dev->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    dev->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    auto closeEventFds = [&] {
        if (dev->wakeFd >= 0)
            ::close(dev->wakeFd);
        if (dev->stopFd >= 0)
            ::close(dev->stopFd);
    };
    if (dev->wakeFd < 0 || dev->stopFd < 0) {
        closeEventFds();
        return bail(ERROR_GEN_FAILURE, true);
    }
    dev->dcb = DefaultDcb();
    try {
        dev->thread = std::thread([d = dev.get()] { d->WaitLoop(); });
    } catch (...) {
        closeEventFds();
        return bail(ERROR_GEN_FAILURE, true);
    }
    std::lock_guard<std::mutex> lk(g_mu);
    Object obj;
    obj.device = dev;
    t_lastError = ERROR_SUCCESS;
    return AddHandleLocked(std::move(obj));
}

BOOL CloseHandle(HANDLE h)
{
    Object obj;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        auto it = g_handles.find(HandleKey(h));
        if (it == g_handles.end())
            return Fail(ERROR_INVALID_HANDLE);
        obj = std::move(it->second);
        g_handles.erase(it);
    }
    if (obj.device)
        ShutDownDevice(obj.device);
    return TRUE;
}

// ================================================================ line settings

BOOL GetCommState(HANDLE h, DCB *dcb)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("GetCommState"))
        return Fail(ERROR_GEN_FAILURE);
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    termios t{};
    if (::tcgetattr(dev->fd, &t) != 0)
        return Fail(ERROR_GEN_FAILURE);

    // What termios holds comes from the device (a pty, for one, drops
    // parity and forces 8 bits); the rest is what was last set.
    DCB d = dev->dcb;
    d.DCBlength = sizeof(DCB);
    d.fBinary = 1;
    unsigned inSpeed = 0, outSpeed = 0;
    if (commlayer::detail::GetSpeed(dev->fd, &inSpeed, &outSpeed) == 0 && outSpeed != 0)
        d.BaudRate = outSpeed;
    else if (DWORD b = SpeedFromCode(::cfgetospeed(&t)))
        d.BaudRate = b;
    switch (t.c_cflag & CSIZE) {
    case CS5: d.ByteSize = 5; break;
    case CS6: d.ByteSize = 6; break;
    case CS7: d.ByteSize = 7; break;
    default: d.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        d.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
        d.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        d.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    d.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    d.fParity = (t.c_iflag & INPCK) ? 1 : 0;
    if (t.c_cflag & CRTSCTS) {
        if (!d.fOutxCtsFlow && d.fRtsControl != RTS_CONTROL_HANDSHAKE) {
            d.fOutxCtsFlow = 1;
            d.fRtsControl = RTS_CONTROL_HANDSHAKE;
        }
    } else {
        d.fOutxCtsFlow = 0;
        if (d.fRtsControl == RTS_CONTROL_HANDSHAKE)
            d.fRtsControl = RTS_CONTROL_ENABLE;
    }
    d.fOutX = (t.c_iflag & IXON) ? 1 : 0;
    d.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
    d.XonChar = static_cast<char>(t.c_cc[VSTART]);
    d.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
    *dcb = d;
    return TRUE;
}

BOOL SetCommState(HANDLE h, DCB *dcb)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("SetCommState"))
        return Fail(ERROR_GEN_FAILURE);
    if (dcb == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const DCB &d = *dcb;
    // 1.5 stop bits exist only with 5 data bits on a UART and not at all
    // in termios; equal XON/XOFF characters are refused as on Windows.
    if (d.BaudRate == 0 || d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > SPACEPARITY ||
        (d.StopBits != ONESTOPBIT && d.StopBits != TWOSTOPBITS) || d.XonChar == d.XoffChar)
        return Fail(ERROR_INVALID_PARAMETER);

    termios t{};
    if (::tcgetattr(dev->fd, &t) != 0)
        return Fail(ERROR_GEN_FAILURE);
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CIBAUD);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[d.ByteSize - 5];
    switch (d.Parity) {
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (d.StopBits == TWOSTOPBITS)
        t.c_cflag |= CSTOPB;
    if (d.fOutxCtsFlow || d.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    if (d.fOutX)
        t.c_iflag |= IXON;
    if (d.fInX)
        t.c_iflag |= IXOFF;
    if (d.fParity)
        t.c_iflag |= INPCK;
    // DSR flow control and DSR sensitivity have no termios equivalent; they
    // are kept in the stored record only.
    t.c_cc[VSTART] = static_cast<cc_t>(d.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(d.XoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    std::optional<speed_t> code = StandardSpeed(d.BaudRate);
    if (code) {
        ::cfsetispeed(&t, *code);
        ::cfsetospeed(&t, *code);
    }
    if (::tcsetattr(dev->fd, TCSANOW, &t) != 0)
        return Fail(ERROR_GEN_FAILURE);
    if (!code && commlayer::detail::SetCustomSpeed(dev->fd, d.BaudRate) != 0)
        return Fail(ERROR_INVALID_PARAMETER);

    SetModemLine(dev->fd, TIOCM_DTR, d.fDtrControl != DTR_CONTROL_DISABLE);
    SetModemLine(dev->fd, TIOCM_RTS, d.fRtsControl != RTS_CONTROL_DISABLE);

    dev->dcb = d;
    dev->dcb.DCBlength = sizeof(DCB);
    dev->dcb.fBinary = 1;
    return TRUE;
}

BOOL SetupComm(HANDLE h, DWORD inQueue, DWORD outQueue)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("SetupComm"))
        return Fail(ERROR_GEN_FAILURE);
    if (inQueue == 0 || inQueue > kMaxQueue || outQueue == 0 || outQueue > kMaxQueue)
        return Fail(ERROR_INVALID_PARAMETER);
    dev->rx.SetCapacity(inQueue);
    dev->outQueue = outQueue;
    dev->WakeIfPausedLocked();
    return TRUE;
}

BOOL PurgeComm(HANDLE h, DWORD flags)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("PurgeComm"))
        return Fail(ERROR_GEN_FAILURE);
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail(ERROR_INVALID_PARAMETER);
    // Reads and writes are synchronous here, so the abort flags find nothing.
    if (flags & PURGE_RXCLEAR) {
        dev->rx.Clear();
        ++dev->purgeGen;
        dev->latched &= ~(EV_RXCHAR | EV_RXFLAG | EV_RX80FULL);
        (void)::tcflush(dev->fd, TCIFLUSH);
        dev->WakeIfPausedLocked();
    }
    if (flags & PURGE_TXCLEAR)
        (void)::tcflush(dev->fd, TCOFLUSH);
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS *t)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("GetCommTimeouts"))
        return Fail(ERROR_GEN_FAILURE);
    if (t == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *t = dev->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE h, COMMTIMEOUTS *t)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("SetCommTimeouts"))
        return Fail(ERROR_GEN_FAILURE);
    if (t == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    dev->timeouts = *t;
    return TRUE;
}

BOOL GetCommProperties(HANDLE h, COMMPROP *p)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("GetCommProperties"))
        return Fail(ERROR_GEN_FAILURE);
    if (p == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    std::memset(p, 0, sizeof *p);
    p->wPacketLength = sizeof(COMMPROP);
    p->wPacketVersion = 2;
    p->dwServiceMask = 0x00000001;      // serial communications
    p->dwMaxTxQueue = 0;                // no fixed limit
    p->dwMaxRxQueue = kMaxQueue;
    p->dwMaxBaud = 0x10000000;          // user-defined rates
    p->dwProvSubType = 0x00000001;      // RS-232
    // RTS/CTS, parity check, XON/XOFF with settable characters, total and
    // interval time-outs, special characters; no DTR/DSR or RLSD flow.
    p->dwProvCapabilities = 0x01FA;
    p->dwSettableParams = 0x003F;
    p->dwSettableBaud = 0x1007FFFF;
    p->wSettableData = 0x000F;          // 5 to 8 data bits
    p->wSettableStopParity = 0x0001 | 0x0004 | 0x1F00; // 1 and 2 stop bits, all parities
    p->dwCurrentTxQueue = dev->outQueue;
    p->dwCurrentRxQueue = static_cast<DWORD>(dev->rx.Capacity());
    return TRUE;
}

BOOL ClearCommError(HANDLE h, LPDWORD errors, COMSTAT *stat)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("ClearCommError"))
        return Fail(ERROR_GEN_FAILURE);
    if (dev->dead)
        return Fail(ERROR_GEN_FAILURE);
    // Line errors are not collected (see the top of the file).
    if (errors)
        *errors = 0;
    if (stat) {
        stat->fFlags = 0;
        stat->cbInQue = static_cast<DWORD>(dev->rx.Size());
        int out = 0;
        stat->cbOutQue = (::ioctl(dev->fd, TIOCOUTQ, &out) == 0 && out > 0) ? static_cast<DWORD>(out) : 0;
    }
    return TRUE;
}

// ================================================================ events of the port

BOOL SetCommMask(HANDLE h, DWORD mask)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("SetCommMask"))
        return Fail(ERROR_GEN_FAILURE);
    dev->mask = mask;
    dev->latched &= mask;
    // As on Windows: a change of mask ends a pending wait with an empty mask.
    dev->CompletePendingLocked(true, 0);
    return TRUE;
}

BOOL GetCommMask(HANDLE h, LPDWORD mask)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("GetCommMask"))
        return Fail(ERROR_GEN_FAILURE);
    if (mask == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    *mask = dev->mask;
    return TRUE;
}

BOOL WaitCommEvent(HANDLE h, LPDWORD mask, OVERLAPPED *ov)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (mask == nullptr || dev->pending)
        return Fail(ERROR_INVALID_PARAMETER);
    if (ov)
        UnsignalEvent(ov->hEvent);

    auto failNow = [&](DWORD code) {
        *mask = 0;
        if (ov) {
            ov->InternalHigh = 0;
            ov->Internal = kStatusFailed | code;
            SignalEvent(ov->hEvent);
        }
        return Fail(code);
    };
    if (FaultHit("WaitCommEvent"))
        return failNow(ERROR_GEN_FAILURE);
    // A dead port answers at once, so a waiting loop ends instead of hanging.
    if (dev->dead)
        return failNow(ERROR_GEN_FAILURE);
    if (dev->mask == 0)
        return failNow(ERROR_INVALID_PARAMETER);

    if (DWORD hit = dev->latched & dev->mask) {
        dev->latched &= ~hit;
        *mask = hit;
        if (ov) {
            ov->InternalHigh = 0;
            ov->Internal = 0;
            SignalEvent(ov->hEvent);
        }
        return TRUE;
    }
    if (ov) {
        ov->Internal = kStatusPending;
        ov->InternalHigh = 0;
        dev->pending = PendingWait{mask, ov};
        return Fail(ERROR_IO_PENDING);
    }
    // Without a record the caller blocks until the wait completes.
    OVERLAPPED local{};
    local.Internal = kStatusPending;
    dev->pending = PendingWait{mask, &local};
    dev->cv.wait(dev.lk, [&] { return local.Internal != kStatusPending; });
    if (local.Internal != 0)
        return Fail(static_cast<DWORD>(local.Internal & 0xFFFF));
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE h, OVERLAPPED *ov, LPDWORD done, BOOL wait)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (FaultHit("GetOverlappedResult"))
        return Fail(ERROR_GEN_FAILURE);
    if (ov == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (ov->Internal == kStatusPending) {
        if (!wait)
            return Fail(ERROR_IO_INCOMPLETE);
        dev->cv.wait(dev.lk, [&] { return ov->Internal != kStatusPending || dev->closing; });
        if (ov->Internal == kStatusPending)
            return Fail(ERROR_OPERATION_ABORTED);
    }
    if (done)
        *done = static_cast<DWORD>(ov->InternalHigh);
    if (ov->Internal != 0)
        return Fail(static_cast<DWORD>(ov->Internal & 0xFFFF));
    return TRUE;
}

// ================================================================ data

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD done, OVERLAPPED *ov)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (done)
        *done = 0;
    if (ov)
        UnsignalEvent(ov->hEvent);
    if (FaultHit("ReadFile"))
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    // Bytes still queued on a dead port are not handed out: the port is gone.
    if (dev->dead)
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    if (count == 0)
        return FinishIo(true, 0, 0, done, ov);
    if (buffer == nullptr)
        return FinishIo(false, 0, ERROR_INVALID_PARAMETER, done, ov);

    auto *out = static_cast<unsigned char *>(buffer);
    const COMMTIMEOUTS t = dev->timeouts;
    const auto start = Clock::now();
    const bool immediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    const bool firstByte = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                           t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;
    std::optional<Clock::time_point> totalDeadline;
    if (firstByte) {
        totalDeadline = start + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else {
        std::uint64_t total = std::uint64_t(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
        if (total > 0)
            totalDeadline = start + std::chrono::milliseconds(total);
    }
    std::optional<std::chrono::milliseconds> interval;
    if (!firstByte && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword)
        interval = std::chrono::milliseconds(t.ReadIntervalTimeout);

    DWORD got = 0;
    Clock::time_point lastByte = start;
    for (;;) {
        std::size_t n = dev->rx.Pop(out + got, count - got);
        if (n > 0) {
            got += static_cast<DWORD>(n);
            lastByte = Clock::now();
            dev->WakeIfPausedLocked();
        }
        if (got == count || immediate || (firstByte && got > 0) || dev->dead || dev->closing)
            break;
        std::optional<Clock::time_point> wake = totalDeadline;
        if (interval && got > 0) {
            auto iv = lastByte + *interval;
            wake = wake ? std::min(*wake, iv) : iv;
        }
        if (wake) {
            if (Clock::now() >= *wake)
                break;
            dev->cv.wait_until(dev.lk, *wake);
        } else {
            dev->cv.wait(dev.lk);
        }
    }
    if (got == 0 && (dev->dead || dev->closing))
        return FinishIo(false, 0, dev->dead ? ERROR_GEN_FAILURE : ERROR_OPERATION_ABORTED, done, ov);
    return FinishIo(true, got, 0, done, ov);
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD done, OVERLAPPED *ov)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (done)
        *done = 0;
    if (ov)
        UnsignalEvent(ov->hEvent);
    if (FaultHit("WriteFile"))
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    if (dev->dead)
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    if (count == 0)
        return FinishIo(true, 0, 0, done, ov);
    if (buffer == nullptr)
        return FinishIo(false, 0, ERROR_INVALID_PARAMETER, done, ov);

    const COMMTIMEOUTS t = dev->timeouts;
    std::optional<Clock::time_point> deadline;
    std::uint64_t total = std::uint64_t(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
    if (total > 0)
        deadline = Clock::now() + std::chrono::milliseconds(total);
    const int fd = dev->fd;
    const int stopFd = dev->stopFd;
    dev.lk.unlock(); // the fd stays open while this call is in flight

    const auto *p = static_cast<const unsigned char *>(buffer);
    DWORD written = 0;
    bool broken = false;
    while (written < count) {
        ssize_t r = ::write(fd, p + written, count - written);
        if (r > 0) {
            written += static_cast<DWORD>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            broken = true;
            break;
        }
        int ms = PollMs(deadline);
        if (ms == 0)
            break;
        pollfd pfd[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        int n = ::poll(pfd, 2, ms);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (pfd[1].revents & POLLIN))
            break;
        // POLLHUP/POLLERR: the next write reports the error
    }
    const int writeErrno = errno;
    dev.lk.lock();
    if (broken && writeErrno == EIO)
        dev->MarkDeadLocked();
    if (broken && written == 0)
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    return FinishIo(true, written, 0, done, ov);
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
    for (;;) {
        if (auto r = take())
            return *r;
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

// ================================================================ our additions

namespace commlayer {

void SetDeviceRoot(const std::string &root)
{
    std::lock_guard<std::mutex> lk(g_rootMu);
    g_root = root;
}

std::string DeviceRoot()
{
    std::lock_guard<std::mutex> lk(g_rootMu);
    return g_root;
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

BOOL WaitCommIo(HANDLE h, DWORD which, DWORD ms)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (which > 1)
        return Fail(ERROR_INVALID_PARAMETER);
    if (dev->dead)
        return Fail(ERROR_GEN_FAILURE);
    const auto deadline = DeadlineAfter(ms);
    if (which == 0) {
        auto ready = [&] { return dev->rx.Size() > 0 || dev->dead || dev->closing; };
        if (deadline)
            dev->cv.wait_until(dev.lk, *deadline, ready);
        else
            dev->cv.wait(dev.lk, ready);
        if (dev->rx.Size() > 0 && !dev->dead)
            return TRUE;
        return Fail(dev->dead ? ERROR_GEN_FAILURE : kErrorTimeout);
    }
    const int fd = dev->fd;
    const int stopFd = dev->stopFd;
    dev.lk.unlock();
    for (;;) {
        pollfd pfd[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        int n = ::poll(pfd, 2, PollMs(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0 && (pfd[0].revents & POLLOUT) && !(pfd[0].revents & (POLLHUP | POLLERR)) &&
            !(pfd[1].revents & POLLIN))
            return TRUE;
        return Fail(n > 0 && (pfd[0].revents & (POLLHUP | POLLERR)) ? ERROR_GEN_FAILURE : kErrorTimeout);
    }
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
