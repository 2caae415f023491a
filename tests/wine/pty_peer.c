/* The far end of the test COM ports under Wine. It owns the pseudo-terminal
 * masters whose slaves the prefix's dosdevices/comN links point at, and acts
 * as the device for the Windows test program, which cannot reach a pty
 * master itself and asks over a TCP line on 127.0.0.1 instead.
 *
 *   pty_peer --dosdevices DIR --port-file FILE COM7 [COM8 ...]
 *
 * FILE receives the TCP port number once the peer listens. One request per
 * line; every reply is one line, "ok ..." or "err <reason>":
 *   ports                  ok COM7 COM8
 *   reset                  new ptys for every port, links renewed
 *   write <port> <hex>     the bytes go to the program
 *   read <port> <n> <ms>   ok <hex>: what the program sent within ms, at most
 *                          n bytes (0: no limit; n > 0 returns once n came)
 *   line <port>            ok <speed> <data bits> <parity: 0 none, 1 odd,
 *                          2 even> <two stop bits> <crtscts> <ixon> <ixoff>
 *                          <icanon> <echo>, as the device side sees them
 *   speed <port> <bit/s>   the device side changes the line speed
 *   hangup <port>          the master is closed: the device has gone
 * The links it made go when it is stopped (SIGTERM, SIGINT); links to ptys
 * left by an earlier run that was killed harder go when it starts.
 */
#define _GNU_SOURCE
#include <asm/termbits.h>
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define MAX_PORTS 8
#define MAX_LINE (1 << 21)

struct port {
    char name[16];       /* as the program names it, "COM7" */
    char link[PATH_MAX]; /* DIR/com7 */
    char slave[64];
    int master;
};

static struct port ports[MAX_PORTS];
static int nports;

static long long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void remove_links(void)
{
    for (int i = 0; i < nports; ++i)
        unlink(ports[i].link); /* async-signal-safe */
}

static void on_signal(int sig)
{
    (void)sig;
    remove_links();
    _exit(0);
}

/* Links of earlier runs that point at ptys: those ptys are gone or belong to
 * someone else now. */
static void remove_stale_links(const char *dir)
{
    DIR *d = opendir(dir);
    struct dirent *e;
    if (!d)
        return;
    while ((e = readdir(d)) != NULL) {
        char path[PATH_MAX], target[PATH_MAX];
        ssize_t n;
        if (strncmp(e->d_name, "com", 3) != 0 || !isdigit((unsigned char)e->d_name[3]))
            continue;
        snprintf(path, sizeof path, "%s/%s", dir, e->d_name);
        n = readlink(path, target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        if (strncmp(target, "/dev/pts/", 9) == 0)
            unlink(path);
    }
    closedir(d);
}

static int open_pty(struct port *p)
{
    p->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p->master < 0 || grantpt(p->master) != 0 || unlockpt(p->master) != 0 ||
        ptsname_r(p->master, p->slave, sizeof p->slave) != 0)
        return -1;
    unlink(p->link);
    return symlink(p->slave, p->link);
}

/* Table rates by their code, as a real driver reports them; a program that
 * reads the speed with cfgetospeed understands nothing else. */
static tcflag_t speed_code(speed_t rate)
{
    static const struct {
        speed_t rate;
        tcflag_t code;
    } table[] = {{110, B110},     {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
                 {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},   {57600, B57600},
                 {115200, B115200}, {230400, B230400}};
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
        if (table[i].rate == rate)
            return table[i].code;
    return BOTHER | (BOTHER << IBSHIFT);
}

static struct port *find_port(const char *name)
{
    for (int i = 0; i < nports; ++i)
        if (strcasecmp(ports[i].name, name) == 0)
            return &ports[i];
    return NULL;
}

static int hexval(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = tolower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

static void to_hex(const unsigned char *in, size_t n, char *out)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 15];
    }
    out[2 * n] = '\0';
}

static int write_all(int fd, const unsigned char *buf, size_t n, int timeout_ms)
{
    const long long end = now_ms() + timeout_ms;
    size_t off = 0;
    while (off < n) {
        ssize_t r = write(fd, buf + off, n - off);
        if (r > 0) {
            off += (size_t)r;
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR)
            return -1;
        long long left = end - now_ms();
        if (left <= 0)
            return -1;
        struct pollfd pf = {fd, POLLOUT, 0};
        poll(&pf, 1, (int)left);
    }
    return 0;
}

static size_t read_for(int fd, unsigned char *buf, size_t cap, size_t want, int ms)
{
    const long long end = now_ms() + ms;
    size_t got = 0;
    while (got < cap && (want == 0 || got < want)) {
        size_t room = want ? want - got : cap - got;
        ssize_t r = read(fd, buf + got, room);
        if (r > 0) {
            got += (size_t)r;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        long long left = end - now_ms();
        if (left <= 0)
            break;
        struct pollfd pf = {fd, POLLIN, 0};
        /* EIO while the program has the port closed: wait a little, not spin */
        if (poll(&pf, 1, (int)left) > 0 && (pf.revents & POLLHUP) && !(pf.revents & POLLIN))
            poll(NULL, 0, left < 5 ? (int)left : 5);
    }
    return got;
}

static void reply(int s, const char *text)
{
    size_t n = strlen(text);
    while (n > 0) {
        ssize_t r = send(s, text, n, MSG_NOSIGNAL);
        if (r <= 0)
            return;
        text += r;
        n -= (size_t)r;
    }
}

static void handle(int s, char *line, unsigned char *bin, char *out)
{
    char *save = NULL;
    char *cmd = strtok_r(line, " \r", &save);
    char *name = cmd ? strtok_r(NULL, " \r", &save) : NULL;
    struct port *p = name ? find_port(name) : NULL;

    if (!cmd) {
        reply(s, "err empty request\n");
        return;
    }
    if (strcmp(cmd, "ports") == 0) {
        strcpy(out, "ok");
        for (int i = 0; i < nports; ++i) {
            strcat(out, " ");
            strcat(out, ports[i].name);
        }
        strcat(out, "\n");
        reply(s, out);
        return;
    }
    if (strcmp(cmd, "reset") == 0) {
        for (int i = 0; i < nports; ++i) {
            if (ports[i].master >= 0)
                close(ports[i].master);
            if (open_pty(&ports[i]) != 0) {
                reply(s, "err no pty\n");
                return;
            }
        }
        reply(s, "ok\n");
        return;
    }
    if (!p) {
        reply(s, "err unknown port\n");
        return;
    }
    if (p->master < 0) {
        reply(s, "err device gone\n");
        return;
    }
    if (strcmp(cmd, "write") == 0) {
        char *hex = strtok_r(NULL, " \r", &save);
        size_t n = hex ? strlen(hex) / 2 : 0;
        for (size_t i = 0; i < n; ++i) {
            int hi = hexval(hex[2 * i]), lo = hexval(hex[2 * i + 1]);
            if (hi < 0 || lo < 0) {
                reply(s, "err bad hex\n");
                return;
            }
            bin[i] = (unsigned char)(hi * 16 + lo);
        }
        reply(s, write_all(p->master, bin, n, 10000) == 0 ? "ok\n" : "err write\n");
    } else if (strcmp(cmd, "read") == 0) {
        char *n_text = strtok_r(NULL, " \r", &save);
        char *ms_text = n_text ? strtok_r(NULL, " \r", &save) : NULL;
        size_t want = n_text ? strtoul(n_text, NULL, 10) : 0;
        int ms = ms_text ? atoi(ms_text) : 0;
        size_t got = read_for(p->master, bin, MAX_LINE / 2 - 8, want, ms);
        memcpy(out, "ok ", 3);
        to_hex(bin, got, out + 3);
        strcat(out, "\n");
        reply(s, out);
    } else if (strcmp(cmd, "line") == 0) {
        struct termios2 t;
        if (ioctl(p->master, TCGETS2, &t) != 0) {
            reply(s, "err TCGETS2\n");
            return;
        }
        int bits = (t.c_cflag & CSIZE) == CS5 ? 5 : (t.c_cflag & CSIZE) == CS6 ? 6 : (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
        int parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & PARODD) ? 1 : 2;
        snprintf(out, 256, "ok %u %d %d %d %d %d %d %d %d\n", t.c_ospeed, bits, parity, !!(t.c_cflag & CSTOPB),
                 !!(t.c_cflag & CRTSCTS), !!(t.c_iflag & IXON), !!(t.c_iflag & IXOFF), !!(t.c_lflag & ICANON),
                 !!(t.c_lflag & ECHO));
        reply(s, out);
    } else if (strcmp(cmd, "speed") == 0) {
        char *v = strtok_r(NULL, " \r", &save);
        struct termios2 t;
        if (!v || ioctl(p->master, TCGETS2, &t) != 0) {
            reply(s, "err speed\n");
            return;
        }
        speed_t rate = (speed_t)strtoul(v, NULL, 10);
        t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
        t.c_cflag |= speed_code(rate);
        t.c_ospeed = t.c_ispeed = rate;
        reply(s, ioctl(p->master, TCSETS2, &t) == 0 ? "ok\n" : "err TCSETS2\n");
    } else if (strcmp(cmd, "hangup") == 0) {
        close(p->master);
        p->master = -1;
        reply(s, "ok\n");
    } else {
        reply(s, "err unknown request\n");
    }
}

static void serve(int s)
{
    static char line[MAX_LINE + 1];
    static unsigned char bin[MAX_LINE / 2];
    static char out[MAX_LINE + 16];
    size_t used = 0;
    for (;;) {
        ssize_t r = recv(s, line + used, MAX_LINE - used, 0);
        if (r <= 0)
            return;
        used += (size_t)r;
        char *nl;
        while ((nl = memchr(line, '\n', used)) != NULL) {
            size_t len = (size_t)(nl - line);
            *nl = '\0';
            handle(s, line, bin, out);
            memmove(line, nl + 1, used - len - 1);
            used -= len + 1;
        }
        if (used == MAX_LINE) {
            reply(s, "err request too long\n");
            return;
        }
    }
}

int main(int argc, char **argv)
{
    const char *dir = NULL, *port_file = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--dosdevices") == 0 && i + 1 < argc)
            dir = argv[++i];
        else if (strcmp(argv[i], "--port-file") == 0 && i + 1 < argc)
            port_file = argv[++i];
        else if (nports < MAX_PORTS && strlen(argv[i]) < sizeof ports[0].name) {
            struct port *p = &ports[nports++];
            strcpy(p->name, argv[i]);
            p->master = -1;
        }
    }
    if (!dir || !port_file || nports == 0) {
        fprintf(stderr, "usage: pty_peer --dosdevices DIR --port-file FILE COMn...\n");
        return 2;
    }
    for (int i = 0; i < nports; ++i) {
        char lower[16];
        size_t k = 0;
        for (; ports[i].name[k]; ++k)
            lower[k] = (char)tolower((unsigned char)ports[i].name[k]);
        lower[k] = '\0';
        snprintf(ports[i].link, sizeof ports[i].link, "%s/%s", dir, lower);
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    signal(SIGPIPE, SIG_IGN);
    remove_stale_links(dir);
    for (int i = 0; i < nports; ++i) {
        if (open_pty(&ports[i]) != 0) {
            perror("pty_peer: pty");
            remove_links();
            return 1;
        }
    }

    int ls = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in a;
    socklen_t alen = sizeof a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (ls < 0 || bind(ls, (struct sockaddr *)&a, sizeof a) != 0 || listen(ls, 4) != 0 ||
        getsockname(ls, (struct sockaddr *)&a, &alen) != 0) {
        perror("pty_peer: listen");
        remove_links();
        return 1;
    }
    /* written whole, then renamed: the runner never sees half a number */
    char tmp[PATH_MAX];
    snprintf(tmp, sizeof tmp, "%s.tmp", port_file);
    FILE *f = fopen(tmp, "w");
    if (!f || fprintf(f, "%u\n", ntohs(a.sin_port)) < 0 || fclose(f) != 0 || rename(tmp, port_file) != 0) {
        perror("pty_peer: port file");
        remove_links();
        return 1;
    }
    for (;;) {
        int s = accept4(ls, NULL, NULL, SOCK_CLOEXEC);
        if (s < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        serve(s);
        close(s);
    }
    remove_links();
    return 0;
}
