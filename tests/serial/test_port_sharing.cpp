// A port is shared as on Windows: a probe never disturbs it, Open refuses a
// port that another process holds (with or without a lock) and leaves that
// holder as it was, and while we hold a port other programs see it busy. A
// device that hangs up is let go at once, so it can come back by its name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SerialPump.h"
#include "Thread.h"
#include "VexoSim.h"
#include "XComDrv.h"
#include "pty.h"

namespace fs = std::filesystem;

namespace {

// A lock folder of the test's own while it lives.
class LockDir {
public:
    LockDir()
    {
        char tmpl[] = "/tmp/vexo-lock.XXXXXX";
        path_ = ::mkdtemp(tmpl);
        old_ = commlayer::LockDir();
        commlayer::SetLockDir(path_);
    }
    ~LockDir()
    {
        commlayer::SetLockDir(old_);
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string &Path() const { return path_; }
    // Where the lock file of the pty `slave` ("/dev/pts/3") lives.
    std::string FileFor(const std::string &slave) const
    {
        std::string name = slave.substr(5);
        for (char &c : name)
            if (c == '/')
                c = '_';
        return path_ + "/LCK.." + name;
    }
    std::string Read(const std::string &file) const
    {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string path_;
    std::string old_;
};

enum class Hold { Plain, Flock, Exclusive };

// Another process that holds the slave of `pty` open, in cooked mode with
// echo, the way a terminal program or a getty would. Asked over a pipe, it
// reports what it sees of its tty.
class Holder {
public:
    Holder(const TestPty &pty, Hold how)
    {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only the device's far end may hold the master.
            ::close(pty.MasterFd());
            ::close(toChild[1]);
            ::close(fromChild[0]);
            Serve(pty.SlavePath(), how, toChild[0], fromChild[1]);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        out_ = toChild[1];
        in_ = fromChild[0];
        ready_ = Ask('r') == "ok";
    }
    ~Holder()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
        if (in_ >= 0)
            ::close(in_);
    }
    bool Ready() const { return ready_; }
    // "<icanon> <echo> <queued input bytes> <exclusive flag>"
    std::string State() { return Ask('s'); }
    // Whether a flock and the exclusive flag are seen on a fresh open.
    std::string Marks() { return Ask('m'); }

private:
    static void Reply(int fd, const std::string &text)
    {
        const std::string line = text + "\n";
        (void)!::write(fd, line.data(), line.size());
    }
    static void Serve(const std::string &slave, Hold how, int in, int out)
    {
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        bool ok = fd >= 0;
        termios t{};
        if (ok && ::tcgetattr(fd, &t) == 0) {
            t.c_lflag |= ICANON | ECHO;
            ok = ::tcsetattr(fd, TCSANOW, &t) == 0;
        }
        if (ok && how == Hold::Flock)
            ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (ok && how == Hold::Exclusive)
            ok = ::ioctl(fd, TIOCEXCL) == 0;
        char c;
        while (::read(in, &c, 1) == 1) {
            if (c == 'r') {
                Reply(out, ok ? "ok" : "failed");
            } else if (c == 's') {
                termios now{};
                int queued = -1, excl = -1;
                ::tcgetattr(fd, &now);
                ::ioctl(fd, FIONREAD, &queued);
                ::ioctl(fd, TIOCGEXCL, &excl);
                Reply(out, std::to_string((now.c_lflag & ICANON) != 0) + " " +
                               std::to_string((now.c_lflag & ECHO) != 0) + " " + std::to_string(queued) + " " +
                               std::to_string(excl));
            }
        }
    }
    std::string Ask(char what)
    {
        if (::write(out_, &what, 1) != 1)
            return "no child";
        std::string line;
        char c;
        while (::read(in_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int out_ = -1, in_ = -1;
    bool ready_ = false;
};

// What another process sees of a port we hold: "<flock refused> <exclusive
// flag>", or "busy" when the exclusive flag keeps it out (it does not keep
// out root).
std::string OutsiderSees(const std::string &slave)
{
    int p[2];
    if (::pipe(p) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 && errno == EBUSY) {
            (void)!::write(p[1], "busy", 4);
            ::_exit(0);
        }
        int excl = -1;
        bool refused = false;
        if (fd >= 0) {
            ::ioctl(fd, TIOCGEXCL, &excl);
            refused = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        }
        const std::string text = std::to_string(refused) + " " + std::to_string(excl);
        (void)!::write(p[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(p[1]);
    std::string text;
    char buf[64];
    ssize_t n;
    while ((n = ::read(p[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(p[0]);
    ::waitpid(pid, nullptr, 0);
    return text;
}

// Whether this process still has an fd on the device `rdev`.
bool HoldsDevice(dev_t rdev)
{
    for (const auto &e : fs::directory_iterator("/proc/self/fd")) {
        struct stat st{};
        if (::stat(e.path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev)
            return true;
    }
    return false;
}

// The process id of a child that has already ended (and been reaped).
pid_t GonePid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

void WriteLock(const std::string &file, long pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    std::ofstream(file) << text;
}

class PortSharing : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        comm.SetDeviceName(pty.SlavePath());
    }
    LockDir locks;
    TestPty pty;
    TXComm comm;
};

} // namespace

TEST_F(PortSharing, ProbeAndRefusedOpenLeaveAPlainHolderAsItWas)
{
    Holder holder(pty, Hold::Plain);
    ASSERT_TRUE(holder.Ready());
    ASSERT_TRUE(pty.Write("unread line\n"));
    ASSERT_TRUE(PumpUntil([&] { return holder.State().rfind("1 1 12", 0) == 0; }))
        << holder.State();
    const std::string before = holder.State();

    EXPECT_TRUE(TCustomComm::Probe(pty.SlavePath())) << "busy counts as present";
    EXPECT_EQ(holder.State(), before) << "cooked mode, echo and the queued line survive a probe";

    EXPECT_FALSE(comm.Open()) << "another process holds it, without any lock";
    EXPECT_FALSE(comm.Opened());
    EXPECT_EQ(holder.State(), before) << "and survive a refused open";
    EXPECT_EQ(pty.ReadFor(50), "unread line\r\n") << "only the holder's own echo went out";
    EXPECT_FALSE(fs::exists(locks.FileFor(pty.SlavePath()))) << "no lock file left behind";
}

TEST_F(PortSharing, HoldersWithFlockOrTheExclusiveFlagRefuseOpenButNotProbe)
{
    for (Hold how : {Hold::Flock, Hold::Exclusive}) {
        SCOPED_TRACE(how == Hold::Flock ? "flock" : "TIOCEXCL");
        Holder holder(pty, how);
        ASSERT_TRUE(holder.Ready());
        const std::string before = holder.State();
        EXPECT_TRUE(TCustomComm::Probe(pty.SlavePath()));
        EXPECT_FALSE(comm.Open());
        EXPECT_FALSE(comm.Opened());
        EXPECT_EQ(holder.State(), before);
    }
    EXPECT_TRUE(comm.Open()) << "free again once the holders are gone";
}

TEST_F(PortSharing, UucpLockFilesOfLivingProcessesRefuseStaleOnesAreRemoved)
{
    const std::string file = locks.FileFor(pty.SlavePath());
    // A living process other than ours: the parent of the test.
    WriteLock(file, static_cast<long>(::getppid()));
    EXPECT_FALSE(comm.Open()) << "a live lock";
    EXPECT_TRUE(TCustomComm::Probe(pty.SlavePath()));
    EXPECT_TRUE(fs::exists(file)) << "a live lock is not touched";

    const pid_t gone = GonePid();
    WriteLock(file, gone);
    ASSERT_TRUE(comm.Open()) << "a stale lock does not hold the port";
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(locks.Read(file), ours) << "the stale file gave way to ours";
    comm.Close();
    EXPECT_FALSE(fs::exists(file)) << "ours goes with the close";
}

TEST_F(PortSharing, OthersSeeOurLockFileFlockAndExclusiveFlag)
{
    ASSERT_TRUE(comm.Open());
    const std::string file = locks.FileFor(pty.SlavePath());
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(locks.Read(file), ours);
    const std::string seen = OutsiderSees(pty.SlavePath());
    EXPECT_TRUE(seen == "1 1" || seen == "busy") << seen << ": flock refused, exclusive flag set";
    EXPECT_TRUE(TCustomComm::Probe(pty.SlavePath())) << "our own port counts as present";

    TXComm second;
    second.SetDeviceName(pty.SlavePath());
    EXPECT_FALSE(second.Open()) << "held by our own first object";
    EXPECT_TRUE(comm.SendString("x"));
    EXPECT_EQ(pty.ReadExactly(1, 2000), "x") << "the holder's line still works";

    comm.Close();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(OutsiderSees(pty.SlavePath()), "0 0") << "nothing of ours stays on the tty";
}

TEST_F(PortSharing, ALockFolderWeCannotUseIsNoReasonToRefuse)
{
    commlayer::SetLockDir(locks.Path() + "/missing");
    ASSERT_TRUE(comm.Open());
    const std::string seen = OutsiderSees(pty.SlavePath());
    EXPECT_TRUE(seen == "1 1" || seen == "busy") << seen << ": flock and the exclusive flag still mark it";
    comm.Close();
    std::ofstream(locks.Path() + "/file") << "x";
    commlayer::SetLockDir(locks.Path() + "/file");
    ASSERT_TRUE(comm.Open());
    comm.Close();
}

vexo::sim::Options AnswersAtAnyTime()
{
    vexo::sim::Options o;
    o.setupWindow = false;
    return o;
}

TEST_F(PortSharing, AVanishedDeviceIsLetGoAtOnceAndComesBackByItsName)
{
    DeviceRootDir root;
    auto sim = std::make_unique<vexo::sim::VexoSim>(AnswersAtAnyTime());
    struct stat st{};
    ASSERT_EQ(::stat(sim->DevicePath().c_str(), &st), 0);
    const dev_t oldDevice = st.st_rdev;
    ASSERT_TRUE(root.Link("ttyUSB0", sim->DevicePath()));
    comm.SetDeviceName("COM5");
    comm.SetBaudRate(br19200);
    ASSERT_TRUE(comm.Open()) << "the stand-in holds its own pty's both ends: no second user";
    EXPECT_TRUE(fs::exists(locks.FileFor(sim->DevicePath())));

    // Unplugged: the node goes away with the far end.
    const std::string oldLock = locks.FileFor(sim->DevicePath());
    sim.reset();
    fs::remove(root.Path() + "/ttyUSB0");
    ASSERT_TRUE(PumpUntil([&] { return !HoldsDevice(oldDevice); }))
        << "the hung-up tty is closed without waiting for the next use";
    EXPECT_FALSE(fs::exists(oldLock)) << "and its lock file goes with it";
    EXPECT_TRUE(comm.Opened()) << "the object still reports open until it is closed";
    EXPECT_FALSE(TCustomComm::Probe("COM5"));
    EXPECT_FALSE(comm.SendString("ATI0\r\n"));

    // Plugged in again under the same name.
    sim = std::make_unique<vexo::sim::VexoSim>(AnswersAtAnyTime());
    ASSERT_TRUE(root.Link("ttyUSB0", sim->DevicePath()));
    EXPECT_TRUE(TCustomComm::Probe("COM5"));
    comm.Close();
    ASSERT_TRUE(comm.Open()) << "the next use opens it by its name";
    std::string reply;
    comm.OnData = [&](TCustomComm *c, std::uint32_t) {
        std::string s;
        c->ReadString(s);
        reply += s;
    };
    ASSERT_TRUE(comm.SendString("ATI0\r\n"));
    EXPECT_TRUE(PumpUntil([&] { return reply.find("Vexo") != std::string::npos; })) << reply;
    comm.Close();
}
