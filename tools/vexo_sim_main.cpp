// vexo-sim: a Vexo on a pseudo-terminal, for trying the program without the
// module. Prints the device path first, then serves until told to stop.
#include "VexoSim.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using vexo::sim::Fault;
using vexo::sim::Options;

const char kUsage[] =
    "Usage: vexo-sim [options]\n"
    "Serves a stand-in Vexo on a pseudo-terminal; the first line printed is its\n"
    "device path. Runs until SIGINT/SIGTERM, end of standard input, or a line\n"
    "\"quit\" on it. SIGHUP or a line \"power\" switches the unit off and on.\n"
    "\n"
    "  --power-on-after S start switched off, switch on S seconds later (e.g. 5,\n"
    "                     2.5): until then every request is ignored\n"
    "  --no-window        answer at any time (no set-up window)\n"
    "  --window MS        set-up window after power-on (default 7000)\n"
    "  --extend MS        how long ATI0 keeps it open from then (default 30000)\n"
    "  --version V        firmware version MM.mm (default 03.17; 9 needs >= 03.17)\n"
    "  --no-computer      no \"Тетрамакс\" attached: parameters 4, 8, 9 absent\n"
    "  --delay MS         answer delay (default 5)\n"
    "  --fault MODE       none|silent|garbage|split|late|echo|flood (default none)\n"
    "  --late MS          delay of the late fault (default 700)\n"
    "  --flood BYTES      junk sent by the flood fault (default 1048576)\n"
    "  --strict-speed     ignore input unless the line is set to 19200 bit/s\n"
    "  --io N --gateway N --printer N --address N --klv N\n"
    "                     power-on values of parameters 0, 3, 4, 8, 9\n"
    "  --seed N           seed for garbage and flood bytes\n"
    "  --link PATH        make PATH a symlink to the device (removed on exit)\n"
    "  --no-stdin         do not read standard input (end of it does not stop)\n"
    "  -v, --verbose      log requests and replies to standard error\n"
    "  -h, --help         this text\n";

struct Cli {
    Options sim;
    std::string link;
    bool useStdin = true;
    bool verbose = false;
};

struct UsageError {
    std::string text;
};

template <typename T>
T Number(std::string_view flag, std::string_view text)
{
    T v{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || text[0] == '-')
        throw UsageError{std::string(flag) + ": not a number: " + std::string(text)};
    return v;
}

// "5", "2.5", "0.125" seconds -> milliseconds (at most three decimals).
int Milliseconds(std::string_view flag, std::string_view text)
{
    const auto dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view part = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || part.size() > 3 || (dot != std::string_view::npos && part.empty()))
        throw UsageError{std::string(flag) + ": expected seconds, e.g. 5 or 2.5"};
    const int seconds = Number<int>(flag, whole);
    int ms = part.empty() ? 0 : Number<int>(flag, part);
    for (std::size_t i = part.size(); i < 3; ++i)
        ms *= 10;
    if (seconds > 1000000)
        throw UsageError{std::string(flag) + ": too long"};
    return seconds * 1000 + ms;
}

Cli Parse(int argc, char **argv, bool &help)
{
    Cli cli;
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::optional<std::string_view> inlineValue;
        if (arg.substr(0, 2) == "--") {
            if (const auto eq = arg.find('='); eq != std::string_view::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
        }
        auto value = [&]() -> std::string_view {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                throw UsageError{std::string(arg) + " needs a value"};
            return argv[++i];
        };
        auto flagOnly = [&] {
            if (inlineValue)
                throw UsageError{std::string(arg) + " takes no value"};
        };
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--power-on-after") {
            cli.sim.powerOnAfterMs = Milliseconds(arg, value());
        } else if (arg == "--no-window") {
            flagOnly();
            cli.sim.setupWindow = false;
        } else if (arg == "--window") {
            cli.sim.windowMs = Number<int>(arg, value());
        } else if (arg == "--extend") {
            cli.sim.extendMs = Number<int>(arg, value());
        } else if (arg == "--version") {
            cli.sim.version = std::string(value());
            if (!vexo::sim::ParseVersion(cli.sim.version))
                throw UsageError{"--version: expected MM.mm, e.g. 03.17"};
        } else if (arg == "--no-computer") {
            flagOnly();
            cli.sim.computer = false;
        } else if (arg == "--delay") {
            cli.sim.answerDelayMs = Number<int>(arg, value());
        } else if (arg == "--fault") {
            const auto f = vexo::sim::ParseFault(value());
            if (!f)
                throw UsageError{"--fault: unknown mode"};
            cli.sim.fault = *f;
        } else if (arg == "--late") {
            cli.sim.lateMs = Number<int>(arg, value());
        } else if (arg == "--flood") {
            cli.sim.floodBytes = Number<std::size_t>(arg, value());
        } else if (arg == "--strict-speed") {
            flagOnly();
            cli.sim.requireLineSpeed = true;
        } else if (arg == "--io") {
            cli.sim.ioSpeed = Number<int>(arg, value());
        } else if (arg == "--gateway") {
            cli.sim.gatewaySpeed = Number<int>(arg, value());
        } else if (arg == "--printer") {
            cli.sim.printerSpeed = Number<int>(arg, value());
        } else if (arg == "--address") {
            cli.sim.modbusAddress = Number<int>(arg, value());
        } else if (arg == "--klv") {
            cli.sim.klv707 = Number<int>(arg, value());
        } else if (arg == "--seed") {
            cli.sim.seed = Number<std::uint32_t>(arg, value());
        } else if (arg == "--link") {
            cli.link = std::string(value());
            if (cli.link.empty())
                throw UsageError{"--link: empty path"};
        } else if (arg == "--no-stdin") {
            flagOnly();
            cli.useStdin = false;
        } else if (arg == "-v" || arg == "--verbose") {
            flagOnly();
            cli.verbose = true;
        } else {
            throw UsageError{"unknown option: " + std::string(arg)};
        }
    }
    return cli;
}

// Replaces a stale link left by a killed run, never anything else.
bool MakeLink(const std::string &link, const std::string &target)
{
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "vexo-sim: %s exists and is not a symlink\n", link.c_str());
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "vexo-sim: symlink %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void RemoveLink(const std::string &link, const std::string &target)
{
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string_view(buf, static_cast<std::size_t>(n)) == target)
        ::unlink(link.c_str());
}

std::string Trim(std::string s)
{
    const auto b = s.find_first_not_of(" \t\r");
    const auto e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Signals are taken by a signalfd; they are blocked before the service
// thread starts so that it inherits the mask and never gets them itself.
int SignalFd()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &mask, nullptr) != 0) {
        std::perror("vexo-sim: sigmask");
        return -1;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const int fd = ::signalfd(-1, &mask, SFD_CLOEXEC);
    if (fd < 0)
        std::perror("vexo-sim: signalfd");
    return fd;
}

void TraceToStderr(Options &sim)
{
    const auto start = std::chrono::steady_clock::now();
    sim.trace = [start](const std::string &text) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        std::fprintf(stderr, "[%8.3f] %s\n", static_cast<double>(ms) / 1000.0, text.c_str());
    };
}

void PowerCycle(vexo::sim::VexoSim &sim, bool verbose)
{
    sim.PowerCycle();
    if (verbose)
        std::fputs("vexo-sim: power cycle\n", stderr);
}

// Carries out the complete lines of `pending`; false once told to quit.
bool Commands(std::string &pending, vexo::sim::VexoSim &sim, bool verbose)
{
    bool running = true;
    std::size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        const std::string cmd = Trim(pending.substr(0, nl));
        pending.erase(0, nl + 1);
        if (cmd == "power")
            PowerCycle(sim, verbose);
        else if (cmd == "quit")
            running = false;
        else if (!cmd.empty())
            std::fprintf(stderr, "vexo-sim: unknown input \"%s\" (power, quit)\n", cmd.c_str());
    }
    if (pending.size() > 4096)
        pending.clear();
    return running;
}

// Serves until a stop signal, "quit", or the end of standard input.
void Serve(vexo::sim::VexoSim &sim, const Cli &cli, int sigFd)
{
    std::string pending;
    bool running = true;
    while (running) {
        pollfd fds[2] = {{sigFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int r = ::poll(fds, cli.useStdin ? 2 : 1, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::perror("vexo-sim: poll");
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo si{};
            if (::read(sigFd, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
                if (si.ssi_signo == SIGHUP)
                    PowerCycle(sim, cli.verbose);
                else
                    running = false;
            }
        }
        if (cli.useStdin && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[512];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                running = false; // end of input
                continue;
            }
            pending.append(buf, static_cast<std::size_t>(n));
            running = Commands(pending, sim, cli.verbose) && running;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    Cli cli;
    bool help = false;
    try {
        cli = Parse(argc, argv, help);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "vexo-sim: %s\nTry vexo-sim --help.\n", e.text.c_str());
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const int sigFd = SignalFd();
    if (sigFd < 0)
        return 1;
    if (cli.verbose)
        TraceToStderr(cli.sim);

    std::optional<vexo::sim::VexoSim> sim;
    try {
        sim.emplace(cli.sim);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vexo-sim: %s\n", e.what());
        return 1;
    }
    const std::string device = sim->DevicePath();
    if (!cli.link.empty() && !MakeLink(cli.link, device))
        return 1;

    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    if (cli.verbose)
        std::fprintf(stderr, "vexo-sim: version %s, computer %s, window %s, fault %s, switched on after %d ms\n",
                     cli.sim.version.c_str(), cli.sim.computer ? "yes" : "no",
                     cli.sim.setupWindow ? (std::to_string(cli.sim.windowMs) + " ms").c_str() : "off",
                     vexo::sim::FaultName(cli.sim.fault), cli.sim.powerOnAfterMs);

    Serve(*sim, cli, sigFd);
    sim->Stop();
    if (!cli.link.empty())
        RemoveLink(cli.link, device);
    ::close(sigFd);
    return 0;
}
