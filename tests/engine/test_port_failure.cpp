// A port that will not open: after the initialisation line, a second red
// line with the cause and what to do. The causes are made for real: an
// adapter that is not there, another process holding the device (named as
// the programs that take adapters on their own are), and a device the user
// may not open.
#include "EngineRig.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "PortDiagnosis.h"

namespace {

// Another process, under the program name `name`, holding `path` open.
// `farEnd`: it keeps the pty's master it inherited and flocks the slave, as
// the device's own far end (a modem emulator) does: the flock refuses the
// port, the holder search exempts it.
class Holder {
public:
    Holder(const std::string &path, const char *name, bool farEnd = false)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Nothing inherited: holding the pty's master too would make it
            // the device's own far end, not another user.
            for (int fd = 3; fd < 1024 && !farEnd; ++fd)
                if (fd != ready[1])
                    ::close(fd);
            ::prctl(PR_SET_NAME, name);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool held = fd >= 0 && (!farEnd || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
            (void)!::write(ready[1], held ? "1" : "0", 1);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        held_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1 && c == '1';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~Holder()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Held() const { return held_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

class PortFailureTest : public EngineRig {
protected:
    // The two red lines of a press on `port`.
    std::pair<TLogLine, TLogLine> Failure(const std::string &port)
    {
        view.log.clear();
        UsePort(port);
        Press(0);
        EXPECT_EQ(view.log.size(), 2u);
        EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
        if (view.log.size() < 2)
            return {};
        EXPECT_EQ(view.log[0], (TLogLine{"ошибка инициализации порта " + port, Red}));
        EXPECT_EQ(view.log[1].colour, Red);
        return {view.log[0], view.log[1]};
    }
};

} // namespace

TEST_F(PortFailureTest, AnAdapterThatIsNotThere)
{
    DeviceRootDir root;
    const std::string absent = "адаптер отключен или получил другое имя; подключите его и обновите список портов сканером";
    EXPECT_EQ(Failure("COM5").second.text, "устройства " + root.Path() + "/ttyUSB0 нет: " + absent);
    {
        // unplugged: its name still there, leading nowhere
        auto gone = std::make_unique<TestPty>();
        ASSERT_TRUE(root.Link("ttyUSB1", gone->SlavePath()));
        gone.reset();
        EXPECT_EQ(Failure("COM6").second.text, "устройства " + root.Path() + "/ttyUSB1 нет: " + absent);
    }
    ASSERT_TRUE(root.MakeFile("ttyUSB2")); // something, but no port
    EXPECT_EQ(Failure("COM7").second.text, "устройства " + root.Path() + "/ttyUSB2 нет: " + absent);
    EXPECT_EQ(Failure("COM99").second.text, "устройства COM99 нет: " + absent);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(PortFailureTest, ABusyPortNamesItsHolderAndTheKnownRemedy)
{
    const struct {
        const char *program;
        const char *remedy;
    } cases[] = {
        {"ModemManager", "sudo systemctl stop ModemManager"},
        {"brltty", "удалите пакет brltty"},
        {"minicom", "закройте её и повторите команду"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program);
        TestPty dev;
        Holder other(dev.SlavePath(), c.program);
        ASSERT_TRUE(other.Held());
        const std::string text = Failure(dev.SlavePath()).second.text;
        const std::string head = "порт " + dev.SlavePath() + " занят программой " + c.program + " (PID " +
                                 std::to_string(other.Pid()) + "); ";
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_NE(text.find(c.remedy), std::string::npos) << text;
        EXPECT_FALSE(engine->XComm_AT().Opened());
    }
}

// The explanation names the holder the refusal saw: the device's far end
// only when it is alone (its flock refused the port); beside a second user
// of the tty, that one, though the far end came first.
TEST_F(PortFailureTest, TheExplanationNamesTheHolderTheRefusalSaw)
{
    TestPty dev;
    Holder far(dev.SlavePath(), "modem", true);
    ASSERT_TRUE(far.Held());
    const std::string farHead = "порт " + dev.SlavePath() + " занят программой modem (PID " +
                                std::to_string(far.Pid()) + ")";
    EXPECT_EQ(Failure(dev.SlavePath()).second.text.substr(0, farHead.size()), farHead);
    const TOpenFailure f = ExplainOpenFailure(dev.SlavePath());
    EXPECT_EQ(f.cause, TOpenCause::ocBusy);
    EXPECT_EQ(f.holderPid, far.Pid());

    Holder other(dev.SlavePath(), "minicom");
    ASSERT_TRUE(other.Held());
    const std::string head = "порт " + dev.SlavePath() + " занят программой minicom (PID " +
                             std::to_string(other.Pid()) + ")";
    EXPECT_EQ(Failure(dev.SlavePath()).second.text.substr(0, head.size()), head);
    EXPECT_EQ(ExplainOpenFailure(dev.SlavePath()).holderPid, other.Pid());
    EXPECT_FALSE(engine->XComm_AT().Opened());
}

TEST_F(PortFailureTest, NoPermissionNamesTheGroupToJoin)
{
    TestPty dev;
    const group *dialout = ::getgrnam("dialout");
    const bool root = ::geteuid() == 0;
    if (root && !dialout)
        GTEST_SKIP() << "no dialout group to give the device";
    // The device as a distribution gives a serial adapter: root:dialout 0660.
    if (root) {
        ASSERT_EQ(::chown(dev.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    }
    ASSERT_EQ(::chmod(dev.SlavePath().c_str(), root ? 0660 : 0), 0);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // As a user outside the group (root's rights would open anything).
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        UsePort(dev.SlavePath());
        Press(0);
        std::string lines;
        for (const auto &l : view.log)
            lines += l.text + '\n';
        (void)!::write(out[1], lines.data(), lines.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        got.append(buf, std::size_t(n));
    ::close(out[0]);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string init = "ошибка инициализации порта " + dev.SlavePath() + "\n";
    ASSERT_EQ(got.substr(0, init.size()), init);
    const std::string why = got.substr(init.size());
    if (root)
        EXPECT_EQ(why, "нет прав на порт " + dev.SlavePath() +
                           ": добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите в "
                           "систему заново\n");
    else
        EXPECT_EQ(why.rfind("нет прав на порт " + dev.SlavePath() + ": ", 0), 0u) << why;
}

TEST(PortFailureText, EachCauseSaysWhatToDo)
{
    TOpenFailure f;
    EXPECT_EQ(PortFailureText(f), "") << "a port that opens now needs no explanation";
    f.cause = TOpenCause::ocNoPermission;
    f.path = "/dev/ttyUSB0";
    f.group = "dialout";
    f.inGroup = true;
    EXPECT_EQ(PortFailureText(f), "нет прав на порт /dev/ttyUSB0: пользователь уже в группе dialout, но права "
                                  "вступят в силу после нового входа в систему");
    f.group.clear();
    EXPECT_EQ(PortFailureText(f), "нет прав на порт /dev/ttyUSB0: дайте пользователю доступ к устройству");
    f.cause = TOpenCause::ocBusy;
    EXPECT_EQ(PortFailureText(f), "порт /dev/ttyUSB0 занят другой программой: закройте её и повторите команду")
        << "a holder we may not see";
    f.cause = TOpenCause::ocOther;
    f.osError = 5;
    EXPECT_EQ(PortFailureText(f), "порт /dev/ttyUSB0 не открывается (код ошибки 5)");
}
