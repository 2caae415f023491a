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

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real_ioctl)(int, unsigned long, ...);
    va_list ap;
    void *arg;

    va_start(ap, request);
    arg = va_arg(ap, void *);
    va_end(ap);
    if (!real_ioctl)
        real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) &&
        is_pty_slave(fd)) {
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
    return real_ioctl(fd, request, arg);
}
