// Custom line speeds through termios2. glibc's cfsetospeed only knows the
// Bnnn constants, so rates such as 31250 need BOTHER and TCSETS2.
#include "commapi_unix_internal.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace commlayer::detail {

int SetCustomSpeed(int fd, unsigned baud)
{
    if (baud == 0)
        return EINVAL;
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    // Input speed bits left at 0 mean "same as output": a later standard
    // rate set through glibc (which only touches CBAUD) then moves both.
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

int GetSpeed(int fd, unsigned *inSpeed, unsigned *outSpeed)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    if (inSpeed)
        *inSpeed = t.c_ispeed;
    if (outSpeed)
        *outSpeed = t.c_ospeed;
    return 0;
}

} // namespace commlayer::detail
