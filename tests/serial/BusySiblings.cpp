// The load mode of the serial suites: with VEXO_SERIAL_LOAD set to a number
// (or "cores", one per online CPU), that many busy processes spin beside
// each test binary while its tests run, as parallel compiles do on a build
// machine. Races between the port's threads that an idle machine hides
// show up there. Unset or 0: no load.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int RequestedSiblings()
{
    const char *v = std::getenv("VEXO_SERIAL_LOAD");
    if (v == nullptr || *v == '\0')
        return 0;
    if (std::string(v) == "cores")
        return static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
    return std::atoi(v);
}

[[noreturn]] void Spin(int ready, pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives a test that crashed
    if (::getppid() != parent)
        ::_exit(0);
    const char one = 1;
    (void)!::write(ready, &one, 1);
    for (;;)
        asm volatile("" ::: "memory"); // busy, touching nothing
}

class BusySiblings : public ::testing::Environment {
public:
    void SetUp() override
    {
        const int n = RequestedSiblings();
        if (n <= 0)
            return;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t self = ::getpid();
        for (int i = 0; i < n; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0)
                Spin(ready[1], self);
            ASSERT_GT(pid, 0) << "cannot start a busy sibling";
            pids_.push_back(pid);
        }
        ::close(ready[1]);
        // Running before the first test does.
        char c;
        int started = 0;
        while (started < n && ::read(ready[0], &c, 1) == 1)
            ++started;
        ::close(ready[0]);
        ASSERT_EQ(started, n) << "busy siblings that never started";
    }

    void TearDown() override
    {
        int ended = 0;
        for (pid_t pid : pids_) {
            int status;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                ++ended;
                continue;
            }
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        EXPECT_EQ(ended, 0) << "busy siblings ended early: the tests ran without the load asked for";
        pids_.clear();
    }

private:
    std::vector<pid_t> pids_;
};

[[maybe_unused]] const auto *const gBusySiblings = ::testing::AddGlobalTestEnvironment(new BusySiblings);

} // namespace
