/* Preloaded (LD_PRELOAD) into Wine by the Windows port tests only.
 *
 * Wine drives a COM port with the modem-line ioctls. A pseudo-terminal has
 * no modem lines and refuses them with ENOTTY, and then Wine fails every
 * WaitCommEvent at once. On pty slaves only, this answers them instead:
 *   TIOCMGET            -> the output lines last set (DTR and RTS on after
 *                          open) plus CTS, DSR and carrier always on, as a
 *                          device on a cable would show them; EIO once the
 *                          master side is gone, like a device that was
 *                          unplugged;
 *   TIOCMSET/BIS/BIC    -> remember DTR and RTS, succeed.
 * Every other call, and every other kind of file, goes to the real ioctl.
 * 32-bit Wine is built with a 64-bit time_t and calls __ioctl_time64
 * instead of ioctl: that entry is answered the same way.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#define FAKE_INPUTS (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR)
#define OUTPUTS (TIOCM_DTR | TIOCM_RTS)
#define MAX_FD 4096

/* Output lines per descriptor, stored inverted so that zero means "on". */
static int lines_off[MAX_FD];

static int is_pty_slave(int fd)
{
    struct stat st;
    /* Unix98 pty slaves: character devices with majors 136 to 143. */
    return fd >= 0 && fd < MAX_FD && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
           major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int hung_up(int fd)
{
    struct pollfd p = {fd, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* The modem-line requests on a pty slave, answered here; -2: not ours. */
static int answer(int fd, unsigned long request, void *arg)
{
    if ((request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) ||
        !is_pty_slave(fd))
        return -2;
    int *bits = arg;
    if (!bits) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
    case TIOCMGET:
        if (hung_up(fd)) {
            errno = EIO;
            return -1;
        }
        *bits = (OUTPUTS & ~lines_off[fd]) | FAKE_INPUTS;
        return 0;
    case TIOCMSET:
        lines_off[fd] = OUTPUTS & ~*bits;
        return 0;
    case TIOCMBIS:
        lines_off[fd] &= ~(*bits & OUTPUTS);
        return 0;
    default: /* TIOCMBIC */
        lines_off[fd] |= *bits & OUTPUTS;
        return 0;
    }
}

static int shim_ioctl(const char *name, ioctl_fn *real, int fd, unsigned long request, void *arg)
{
    int rc = answer(fd, request, arg);
    if (rc != -2)
        return rc;
    if (!*real)
        *real = (ioctl_fn)dlsym(RTLD_NEXT, name);
    if (!*real) {
        errno = ENOSYS;
        return -1;
    }
    return (*real)(fd, request, arg);
}

int ioctl(int fd, unsigned long request, ...)
{
    static ioctl_fn real;
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return shim_ioctl("ioctl", &real, fd, request, arg);
}

#if defined(__i386__)
int __ioctl_time64(int fd, unsigned long request, ...)
{
    static ioctl_fn real;
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return shim_ioctl("__ioctl_time64", &real, fd, request, arg);
}
#endif
