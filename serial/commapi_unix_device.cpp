// An open device on Linux: the tty, a bounded receive queue of our own and
// the wait thread that moves received bytes into it and latches the receive
// events. A thread that waits for the completion of a pending WaitCommEvent
// (the component's event thread) watches the tty itself meanwhile, so an
// arrival wakes it directly; the wait thread then only watches for a
// hang-up until a caller blocks for input. A device lent to a main loop is
// watched by that loop alone (PumpInput); the inline waiter then watches
// only for a hang-up. Whoever watches, a count (ClearCommError) reads the
// tty dry first. A tty that hangs up (adapter pulled, pty master closed)
// is let go at once, so that the node and its name are free for the
// device's return; the handle stays valid and every call on it fails until
// it is closed.
#include "commapi_unix_device.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace commlayer::detail {

// ---------------------------------------------------------------- queue

void ByteQueue::Push(const unsigned char *p, std::size_t n)
{
    if (size_ + n > buf_.size())
        Relayout(std::max(size_ + n, cap_));
    std::size_t tail = (head_ + size_) % buf_.size();
    std::size_t first = std::min(n, buf_.size() - tail);
    std::memcpy(buf_.data() + tail, p, first);
    std::memcpy(buf_.data(), p + first, n - first);
    size_ += n;
}

std::size_t ByteQueue::Pop(unsigned char *out, std::size_t n)
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

void ByteQueue::SetCapacity(std::size_t cap)
{
    cap_ = cap;
    Relayout(std::max(cap_, size_));
}

void ByteQueue::Relayout(std::size_t storage)
{
    std::vector<unsigned char> nb(std::max<std::size_t>(storage, 1));
    std::size_t n = Pop(nb.data(), size_);
    buf_.swap(nb);
    head_ = 0;
    size_ = n;
}

// ---------------------------------------------------------------- device

void Device::Wake() const
{
    std::uint64_t one = 1;
    ssize_t r = ::write(wakeFd, &one, sizeof one);
    (void)r; // a full counter still wakes the thread
}

void Device::WakeIfPausedLocked()
{
    if (rxPaused && rx.Room() > 0) {
        rxPaused = false;
        Wake();
    }
}

void Device::CompletePendingLocked(bool ok, DWORD value)
{
    if (!pending)
        return;
    PendingWait p = *pending;
    pending.reset();
    ++completions;
    ForgetPendingWait(p.ov->hEvent);
    *p.mask = ok ? value : 0;
    p.ov->InternalHigh = 0;
    p.ov->Internal = ok ? 0 : (kStatusFailed | value);
    HANDLE ev = p.ov->hEvent;
    cv.notify_all();
    SignalEvent(ev);
}

void Device::LatchLocked(DWORD events)
{
    latched |= events & mask;
    if (pending && (latched & mask) != 0) {
        DWORD m = latched & mask;
        latched &= ~m;
        CompletePendingLocked(true, m);
    }
}

void Device::MarkDeadLocked()
{
    if (dead)
        return;
    dead = true;
    CompletePendingLocked(false, ERROR_GEN_FAILURE);
    cv.notify_all();
    Wake(); // the wait thread lets the tty go as soon as no call uses it
}

void Device::OnBytesLocked(const unsigned char *p, std::size_t n)
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

bool Device::ReadTtyLocked()
{
    const std::size_t room = rx.Room();
    if (room == 0 || fd < 0 || dead)
        return false;
    const std::size_t want = std::min(room, readBuf.size());
    const ssize_t r = ::read(fd, readBuf.data(), want);
    if (r > 0)
        OnBytesLocked(readBuf.data(), static_cast<std::size_t>(r));
    else if (r == 0 || (errno != EAGAIN && errno != EINTR))
        MarkDeadLocked();
    return r > 0 && static_cast<std::size_t>(r) == want;
}

bool Device::DrainTtyLocked()
{
    while (ReadTtyLocked()) {
    }
    return rx.Room() > 0 || dead || fd < 0;
}

void Device::EnsureWatchedLocked()
{
    standDown = false;
    if (!threadWatching && !dead && !closing)
        Wake();
}

bool Device::WaitThreadReadsLocked() const
{
    // Lent to a main loop, input is read by it or by an inline waiter,
    // unless a caller blocks for it here.
    return !dead && fd >= 0 && rx.Room() > 0 && !standDown && (!lentToMainLoop || inputWaiters > 0);
}

bool Device::WaitInline(int waiterFd)
{
    int f;
    bool lent;
    std::uint64_t waitFor;
    {
        std::lock_guard<std::mutex> lk(mu);
        if (closing || dead || fd < 0 || !pending)
            return false;
        if (rx.Room() == 0) {
            EnsureWatchedLocked(); // it reads on once the queue has room
            return false;
        }
        ++inlineWaiters;
        ++inFlight; // keeps the fd open while it is polled here
        standDown = true;
        f = fd;
        lent = lentToMainLoop && inputWaiters == 0;
        waitFor = completions;
    }
    // Lent to a main loop, an arrival is the main loop's to read: watching
    // for it here too would wake this thread for every one. A hang-up is
    // still noticed, and a caller that blocks for input has the wait thread
    // read for it.
    const short want = lent ? 0 : POLLIN;
    pollfd pfd[3] = {{f, want, 0}, {waiterFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int n = ::poll(pfd, 3, -1);
    std::lock_guard<std::mutex> lk(mu);
    if (n > 0 && (pfd[1].revents & POLLIN)) {
        std::uint64_t v;
        ssize_t r = ::read(waiterFd, &v, sizeof v);
        (void)r;
    }
    if (n > 0 && !closing) {
        // Once the wait this started for has ended (the main loop took the
        // arrival and armed the next), what is there now is the next one's;
        // once the device is lent, it is the main loop's.
        const bool ours = completions == waitFor && !(lentToMainLoop && inputWaiters == 0);
        if ((pfd[0].revents & POLLIN) && ours)
            ReadTtyLocked();
        else if (pfd[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            MarkDeadLocked();
    }
    --inlineWaiters;
    if (--inFlight == 0) {
        if (closing)
            cv.notify_all();
        else if (dead && fd >= 0)
            Wake(); // the wait thread lets the hung-up tty go
    }
    return true;
}

void Device::ReleaseFdLocked()
{
    if (fd < 0)
        return;
    ReleaseExclusive(fd, lockFile);
    fd = -1;
    cv.notify_all();
}

void Device::WaitLoop()
{
    for (;;) {
        bool watchFd = false;
        {
            std::lock_guard<std::mutex> lk(mu);
            if (closing)
                return;
            if (dead && inFlight == 0)
                ReleaseFdLocked();
            watchFd = !dead && fd >= 0;
            rxPaused = rx.Room() == 0;
            threadWatching = WaitThreadReadsLocked();
        }
        // With the queue full, or while a thread waits inline, POLLIN is left
        // out (the kernel holds and throttles the rest); POLLHUP/POLLERR are
        // reported regardless. A dead port leaves the poll set, as a hung-up
        // tty stays readable.
        pollfd pfd[2] = {{wakeFd, POLLIN, 0},
                         {watchFd ? fd : -1, static_cast<short>(threadWatching ? POLLIN : 0), 0}};
        int n = ::poll(pfd, 2, -1);
        std::lock_guard<std::mutex> lk(mu);
        threadWatching = false;
        if (n < 0) {
            if (errno != EINTR)
                MarkDeadLocked();
            continue;
        }
        if (pfd[0].revents & POLLIN) {
            std::uint64_t v;
            ssize_t r = ::read(wakeFd, &v, sizeof v);
            (void)r;
        }
        if (!watchFd || closing)
            continue;
        const short rev = pfd[1].revents;
        // Read only while still the tty's reader: the readiness may have been
        // seen before the device was lent or an inline waiter took over, and
        // what is there now is theirs (an inline waiter may also have taken
        // it first: EAGAIN).
        if (rev & POLLIN) {
            if (WaitThreadReadsLocked())
                ReadTtyLocked();
        } else if (rev & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkDeadLocked();
        }
    }
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
    std::unique_lock<std::mutex> lk(dev->mu);
    dev->cv.wait(lk, [&] { return dev->inFlight == 0; });
    dev->ReleaseFdLocked();
    ::close(dev->wakeFd);
    ::close(dev->stopFd);
    dev->wakeFd = dev->stopFd = -1;
}

DeviceCall::DeviceCall(HANDLE h) : dev_(FindDevice(h))
{
    if (!dev_) {
        Fail(ERROR_INVALID_HANDLE);
        return;
    }
    lk = std::unique_lock<std::mutex>(dev_->mu);
    if (dev_->closing) {
        Fail(ERROR_INVALID_HANDLE);
        lk.unlock();
        dev_.reset();
        return;
    }
    ++dev_->inFlight;
}

DeviceCall::~DeviceCall()
{
    if (!dev_)
        return;
    if (!lk.owns_lock())
        lk.lock();
    if (--dev_->inFlight == 0) {
        if (dev_->closing)
            dev_->cv.notify_all();
        else if (dev_->dead && dev_->fd >= 0)
            dev_->Wake(); // the hang-up waited for this call to let the tty go
    }
    lk.unlock();
}

namespace {

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

} // namespace

} // namespace commlayer::detail

namespace commlayer {

using namespace detail;

int PollableFd(PortHandle h)
{
    DeviceCall dev(h);
    return dev && !dev->dead ? dev->fd : -1;
}

void LendToMainLoop(PortHandle h, bool lent)
{
    DeviceCall dev(h);
    if (dev && dev->lentToMainLoop != lent) {
        dev->lentToMainLoop = lent;
        dev->Wake(); // the wait thread looks again at what it watches
    }
}

bool PumpInput(PortHandle h, bool wakeWaiters)
{
    DeviceCall dev(h);
    if (!dev)
        return false;
    const bool previous = std::exchange(tLeaveInlineWaitersAsleep, !wakeWaiters);
    const bool drained = dev->DrainTtyLocked(); // the main loop's watch is edge-triggered
    tLeaveInlineWaitersAsleep = previous;
    if (drained)
        tReadDryAt = Clock::now();
    return drained;
}

thread_local HANDLE detail::tFreshQueue = nullptr;
thread_local Clock::time_point detail::tReadDryAt;

FreshQueue::FreshQueue(PortHandle h) : FPrevious(std::exchange(tFreshQueue, h)) {}

FreshQueue::~FreshQueue() { tFreshQueue = FPrevious; }

WaitersLeftAsleep::WaitersLeftAsleep() : FPrevious(std::exchange(tLeaveInlineWaitersAsleep, true)) {}

WaitersLeftAsleep::~WaitersLeftAsleep() { tLeaveInlineWaitersAsleep = FPrevious; }

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
    std::string lockFile;
    const int fd = OpenExclusive(path, lockFile);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    auto bail = [&](DWORD code) {
        int f = fd;
        ReleaseExclusive(f, lockFile);
        Fail(code);
        return INVALID_HANDLE_VALUE;
    };
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return bail(ERROR_GEN_FAILURE);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 0 would make an empty read look like a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return bail(ERROR_GEN_FAILURE);
    (void)::tcflush(fd, TCIOFLUSH);

    auto dev = std::make_shared<Device>();
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
        return bail(ERROR_GEN_FAILURE);
    }
    dev->dcb = DefaultDcb();
    dev->fd = fd;
    dev->lockFile = lockFile;
    struct stat st{};
    dev->pty = ::fstat(fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
    try {
        dev->thread = std::thread([d = dev.get()] { d->WaitLoop(); });
    } catch (...) {
        closeEventFds();
        dev->lockFile.clear();
        return bail(ERROR_GEN_FAILURE);
    }
    std::lock_guard<std::mutex> lk(HandleLock());
    Object obj;
    obj.device = dev;
    SetLastError(ERROR_SUCCESS);
    return AddHandleLocked(std::move(obj));
}

} // namespace commlayer
