// The Win32 comm calls on Linux, with the behaviour the component relies on.
//
// Requests complete synchronously; an overlapped caller sees its event set
// before the call returns, and only WaitCommEvent can stay pending. Modem
// status events (EV_CTS, EV_DSR, EV_RING, EV_RLSD) and line errors are not
// generated: the kernel gives no cheap notification for them, and nothing
// here waits for them.
#include "commapi_unix_device.h"
#include "commapi_unix_internal.h"

#include <cerrno>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace commlayer {

using namespace detail;

namespace {

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

} // namespace

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
        // What has arrived counts as received, as on Windows, whoever is
        // meant to take it off the tty: the main loop on its next turn, an
        // event thread busy delivering (or ended by a handler), nobody at all.
        if (tFreshQueue != h || Clock::now() - tReadDryAt >= kFreshFor)
            dev->DrainTtyLocked();
        stat->fFlags = 0;
        stat->cbInQue = static_cast<DWORD>(dev->rx.Size());
        int out = 0;
        stat->cbOutQue = (!dev->pty && ::ioctl(dev->fd, TIOCOUTQ, &out) == 0 && out > 0) ? static_cast<DWORD>(out) : 0;
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
        NotePendingWait(ov->hEvent, dev.Shared());
        return Fail(ERROR_IO_PENDING);
    }
    // Without a record the caller blocks until the wait completes.
    OVERLAPPED local{};
    local.Internal = kStatusPending;
    dev->pending = PendingWait{mask, &local};
    {
        InputWaiter waiting(*dev);
        dev->cv.wait(dev.lk, [&] { return local.Internal != kStatusPending; });
    }
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
        InputWaiter waiting(*dev);
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

namespace {
// The checks every data request makes before it moves a byte; the request's
// result when it ends there.
std::optional<BOOL> StartIo(DeviceCall &dev, const char *call, const void *buffer, DWORD count, LPDWORD done,
                            OVERLAPPED *ov)
{
    if (done)
        *done = 0;
    if (ov)
        UnsignalEvent(ov->hEvent);
    if (FaultHit(call))
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    // Bytes still queued on a dead port are not handed out: the port is gone.
    if (dev->dead)
        return FinishIo(false, 0, ERROR_GEN_FAILURE, done, ov);
    if (count == 0)
        return FinishIo(true, 0, 0, done, ov);
    if (buffer == nullptr)
        return FinishIo(false, 0, ERROR_INVALID_PARAMETER, done, ov);
    return std::nullopt;
}
} // namespace

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD done, OVERLAPPED *ov)
{
    DeviceCall dev(h);
    if (!dev)
        return FALSE;
    if (const auto early = StartIo(dev, "ReadFile", buffer, count, done, ov))
        return *early;

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
        if (wake && Clock::now() >= *wake)
            break;
        InputWaiter waiting(*dev);
        if (wake)
            dev->cv.wait_until(dev.lk, *wake);
        else
            dev->cv.wait(dev.lk);
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
    if (const auto early = StartIo(dev, "WriteFile", buffer, count, done, ov))
        return *early;

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

// ================================================================ our additions

bool WaitCommIo(PortHandle h, std::uint32_t which, std::uint32_t ms)
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
        InputWaiter waiting(*dev);
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

} // namespace commlayer
