// The vexo-sim program: its options, its device and link, and what stops it
// or power-cycles it.
#include "SimPort.h"

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

using namespace vexo::sim::test;

// The program run with its standard input and output on pipes.
class Child {
public:
    explicit Child(std::vector<std::string> args)
    {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            std::vector<char *> argv;
            std::string exe = VEXO_SIM_EXE;
            argv.push_back(exe.data());
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
        // readable once the child has ended, so Wait() needs no polling loop
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        EXPECT_GE(pidfd_, 0) << "pidfd_open: " << std::strerror(errno);
    }
    ~Child()
    {
        CloseStdin();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {stdout_, stderr_, pidfd_})
            if (fd >= 0)
                ::close(fd);
    }

    // Output up to the first newline (or end of output).
    std::string FirstLine()
    {
        std::string s;
        const auto end = Clock::now() + 5s;
        while (Clock::now() < end) {
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (::read(stdout_, &c, 1) != 1 || c == '\n')
                break;
            s.push_back(c);
        }
        return s;
    }

    std::string AllOutput()
    {
        std::string s;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(stdout_, buf, sizeof buf)) > 0)
            s.append(buf, static_cast<std::size_t>(n));
        return s;
    }

    // Waits until `text` appears on standard error after what the previous
    // call found.
    bool AwaitError(const std::string &text, std::chrono::milliseconds limit = 5000ms)
    {
        const auto end = Clock::now() + limit;
        for (;;) {
            if (const auto at = errors_.find(text, errorsSeen_); at != std::string::npos) {
                errorsSeen_ = at + text.size();
                return true;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd p{stderr_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                return false;
            char buf[4096];
            const ssize_t n = ::read(stderr_, buf, sizeof buf);
            if (n <= 0)
                return false;
            errors_.append(buf, static_cast<std::size_t>(n));
        }
    }

    void Write(const std::string &s) { ASSERT_EQ(::write(stdin_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    void CloseStdin()
    {
        if (stdin_ >= 0)
            ::close(stdin_);
        stdin_ = -1;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

    // Exit status, or nullopt if it is still running after `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit)
    {
        pollfd p{pidfd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(limit.count())) != 1)
            return std::nullopt;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_)
            return std::nullopt;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string errors_;
    std::size_t errorsSeen_ = 0;
    bool exited_ = false;
};

std::string TempDir()
{
    char tmpl[] = "/tmp/vexo_sim_test_XXXXXX";
    const char *d = ::mkdtemp(tmpl);
    return d ? d : "/tmp";
}

TEST(vexo_sim_cli, HelpAndBadOptions)
{
    {
        Child c({"--help"});
        const std::string out = c.AllOutput();
        EXPECT_EQ(c.Wait(5s), 0);
        for (const char *flag : {"--power-on-after", "--no-window", "--version", "--no-computer", "--fault", "--delay", "--late",
                                 "--flood", "--link", "--no-stdin"})
            EXPECT_NE(out.find(flag), std::string::npos) << flag;
    }
    for (std::vector<std::string> bad : {std::vector<std::string>{"--bogus"}, {"--fault", "loud"}, {"--delay", "x"},
                                         {"--version", "3"}, {"--delay"}, {"--address", "300"},
                                         {"--power-on-after", "x"}, {"--power-on-after", "1.2345"},
                                         {"--power-on-after", "-1"}, {"--power-on-after", "2."}}) {
        SCOPED_TRACE(bad[0]);
        Child c(bad);
        EXPECT_EQ(c.AllOutput(), "") << "no device path on a usage error";
        const auto rc = c.Wait(5s);
        ASSERT_TRUE(rc.has_value());
        EXPECT_NE(*rc, 0);
    }
}

TEST(vexo_sim_cli, ServesTheDeviceAndTheLinkUntilStdinEnds)
{
    const std::string dir = TempDir();
    const std::string link = dir + "/vexo";
    Child c({"--no-window", "--version", "03.16", "--no-computer", "--link", link});
    const std::string dev = c.FirstLine();
    struct stat st {};
    ASSERT_EQ(::stat(dev.c_str(), &st), 0) << dev;
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), dev);
    {
        Port port(link);
        EXPECT_EQ(port.Ask("ATI0"), "Vexo v03.16\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV8=?"), "ERROR\r\n");
        EXPECT_EQ(port.Ask("AT+xKPV3=?"), "7\r\n");
    }
    c.CloseStdin();
    EXPECT_EQ(c.Wait(5s), 0);
    struct stat lst {};
    EXPECT_NE(::lstat(link.c_str(), &lst), 0) << "link left behind";
    ::rmdir(dir.c_str());
}

TEST(vexo_sim_cli, PowerOnAfterADelay)
{
    Child c({"--no-window", "--power-on-after", "3", "-v"});
    const std::string dev = c.FirstLine();
    ASSERT_FALSE(dev.empty());
    Port port(dev);
    port.Send("ATI0\r\n");
    EXPECT_TRUE(c.AwaitError("(switched off: ignored)"));
    // Asked again until it answers, as the program's wait does.
    std::string reply;
    const auto end = Clock::now() + 20s;
    while (reply.empty() && Clock::now() < end)
        reply = port.Ask("ATI0");
    EXPECT_EQ(reply, "Vexo v03.17\r\n");
    c.CloseStdin();
    EXPECT_EQ(c.Wait(5s), 0);
}

TEST(vexo_sim_cli, PowerCycleByStdinAndByHangupSignal)
{
    // A reply still on its way is lost at a power cycle: with it, the next
    // reply would arrive second.
    Child c({"-v", "--no-window", "--fault", "late", "--late", "500"});
    const std::string dev = c.FirstLine();
    Port port(dev);
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "SIGHUP" : "power");
        port.Send("ATI0\r\n");
        ASSERT_TRUE(c.AwaitError("<- ATI0\n"));
        if (bySignal)
            c.Signal(SIGHUP);
        else
            c.Write("power\n");
        ASSERT_TRUE(c.AwaitError("vexo-sim: power cycle\n"));
        port.Send("AT+xKPV3=?\r\n");
        EXPECT_EQ(port.ReadLine(3000ms), "7\r\n");
    }
    c.Signal(SIGTERM);
    EXPECT_EQ(c.Wait(5s), 0);
}

TEST(vexo_sim_cli, NoStdinOutlivesEndOfInput)
{
    Child c({"-v", "--no-stdin", "--no-window", "--delay", "1"});
    const std::string dev = c.FirstLine();
    c.CloseStdin();
    // The end of input is there before either signal: a loop that watched
    // stdin would end with the first and never answer the second.
    c.Signal(SIGHUP);
    ASSERT_TRUE(c.AwaitError("vexo-sim: power cycle\n"));
    c.Signal(SIGHUP);
    ASSERT_TRUE(c.AwaitError("vexo-sim: power cycle\n")) << "ended at end of input";
    {
        Port port(dev);
        EXPECT_EQ(port.Ask("AT+xKPV0=?"), "4\r\n");
    }
    c.Signal(SIGINT);
    EXPECT_EQ(c.Wait(5s), 0);
}

} // namespace
