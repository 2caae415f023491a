// The program killed (SIGKILL) while it saves its settings, again and again:
// the file afterwards is always the old or the new content, never a part.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

int Rounds()
{
    if (const char *env = std::getenv("VEXO_FAULT_KILL_ROUNDS"))
        return std::max(1, std::atoi(env));
    return 100;
}

} // namespace

TEST(KillDuringSave, TheFileIsAlwaysTheOldOrTheNewContent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Work")));
    const QString file = dir.path() + QStringLiteral("/Work/ATVexo.000");
    const QByteArray shortLine = "COM3\r\n";
    const QByteArray longLine = QByteArray(3000, 'L') + "COM12\r\n";

    std::mt19937 rng(9);
    int midSave = 0;
    const int rounds = Rounds();
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string folder = dir.path().toStdString();
        char *args[] = {const_cast<char *>(VEXO_FAULT_SAVER), const_cast<char *>(folder.c_str()), nullptr};
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, VEXO_FAULT_SAVER, &actions, nullptr, args, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        pollfd p{out[0], POLLIN, 0};
        char c = 0;
        const bool started = poll(&p, 1, 30000) == 1 && read(out[0], &c, 1) == 1 && c == 'r';
        if (started)
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out[0]);
        ASSERT_TRUE(started) << "the saver did not start";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "it ended before it was killed";

        const QByteArray now = ReadAll(file);
        ASSERT_TRUE(now == shortLine || now == longLine)
            << "a cut-off settings file of " << now.size() << " bytes";
        // Temporary files of killed saves are litter, not the settings file.
        const QStringList left = QDir(dir.path() + QStringLiteral("/Work")).entryList(QDir::Files);
        midSave += left.size() > 1;
        for (const QString &name : left)
            if (name != QStringLiteral("ATVexo.000"))
                QFile::remove(dir.path() + QStringLiteral("/Work/") + name);
    }
    std::printf("killed %d times, %d of them in the middle of a save\n", rounds, midSave);
}
