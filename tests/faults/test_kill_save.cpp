// The program killed (SIGKILL) while it saves its settings, again and again:
// the file afterwards is always the old or the new content, never a part.
// Every other round the kill lands in the middle of a save for certain: the
// saver holds there (temporary file written, not yet in place) until killed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path &path)
{
    std::ifstream f(path, std::ios::binary);
    return f ? std::string(std::istreambuf_iterator<char>(f), {}) : std::string("<missing>");
}

int Rounds()
{
    if (const char *env = std::getenv("VEXO_FAULT_KILL_ROUNDS"))
        return std::max(2, std::atoi(env));
    return 100;
}

// Reads one byte from the saver within 30 s.
bool ReadByte(int fd, char expected)
{
    pollfd p{fd, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, 30000) == 1 && read(fd, &c, 1) == 1 && c == expected;
}

} // namespace

TEST(KillDuringSave, TheFileIsAlwaysTheOldOrTheNewContent)
{
    char tmpl[] = "/tmp/vexo-kill-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const fs::path work = dir / "Work";
    ASSERT_TRUE(fs::create_directory(work));
    const fs::path file = work / "ATVexo.000";
    const std::string shortLine = "COM3\r\n";
    const std::string longLine = std::string(3000, 'L') + "COM12\r\n";

    std::mt19937 rng(9);
    int held = 0, midSave = 0;
    const int rounds = Rounds();
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        const bool hold = round % 2 == 1;
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string folder = dir.string();
        char holdArg[] = "hold";
        char *args[] = {const_cast<char *>(VEXO_FAULT_SAVER), const_cast<char *>(folder.c_str()),
                        hold ? holdArg : nullptr, nullptr};
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, VEXO_FAULT_SAVER, &actions, nullptr, args, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        const bool started = ReadByte(out[0], 'r');
        bool inTheMiddle = false;
        if (started && hold)
            inTheMiddle = ReadByte(out[0], 'm');
        else if (started)
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000)); // a kill at any moment
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out[0]);
        ASSERT_TRUE(started) << "the saver did not start";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "it ended before it was killed";
        if (hold) {
            ASSERT_TRUE(inTheMiddle) << "the saver did not reach the middle of a save";
            ++held;
        }

        const std::string now = ReadAll(file);
        ASSERT_TRUE(now == shortLine || now == longLine) << "a cut-off settings file of " << now.size() << " bytes";
        if (hold) {
            EXPECT_EQ(now, shortLine) << "a save killed before its rename leaves the old file";
        }
        // Temporary files of killed saves are litter, not the settings file.
        int entries = 0;
        for (const auto &e : fs::directory_iterator(work)) {
            ++entries;
            if (e.path().filename() != "ATVexo.000")
                fs::remove(e.path());
        }
        midSave += entries > 1;
    }
    std::printf("killed %d times, %d of them in the middle of a save\n", rounds, midSave);
    EXPECT_EQ(held, rounds / 2);
    EXPECT_GE(midSave, held) << "every held save was killed with its temporary file on disk";
    std::error_code ec;
    fs::remove_all(dir, ec);
}
