// The settings file at its worst: missing, empty, junk, huge, a folder or a
// pipe in its place, unreadable, its folder missing or read-only. Start-up
// always goes on and closing never fails.
#include "window_harness.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <random>

#include <sys/fsuid.h>
#include <sys/stat.h>

#include "WorkFile.h"

using namespace faults;

namespace {

const char *const FilePath = "Work/ATVexo.000";

QByteArray ReadAll(const char *path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const char *path, const QByteArray &bytes)
{
    QFile f(QString::fromLatin1(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Root reads and writes through any permission bits. For the cases that
// need a refusal, this thread gives up its file-system privileges (the file
// user id is per thread; the window's file access all runs here).
class Unprivileged {
public:
    Unprivileged()
    {
        if (geteuid() != 0)
            return;
        setfsgid(65534);
        setfsuid(65534);
        active_ = true;
    }
    ~Unprivileged()
    {
        if (active_) {
            setfsuid(0);
            setfsgid(0);
        }
    }

private:
    bool active_ = false;
};

} // namespace

class SettingsFileFaults : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        // The unprivileged cases must be able to reach the working folder.
        ASSERT_EQ(chmod(QFile::encodeName(cwd.path()).constData(), 0777), 0);
    }

    // Start-up on what is there, then a close with `name` in the port box.
    // Returns the port box text the start-up left.
    QString StartAndClose(const QString &name, bool unprivileged = false)
    {
        std::unique_ptr<Unprivileged> guard;
        if (unprivileged)
            guard = std::make_unique<Unprivileged>();
        Start();
        const QString loaded = port->currentText();
        EXPECT_TRUE(Responsive());
        port->setEditText(name);
        EXPECT_TRUE(window->close()) << "closing failed";
        EXPECT_FALSE(window->isVisible());
        window.reset();
        return loaded;
    }
};

TEST_F(SettingsFileFaults, NoWorkFolder)
{
    EXPECT_EQ(StartAndClose(QStringLiteral("COM2")), QString());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("Work"))) << "the folder is never created";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFileFaults, MissingEmptyAndJunkFiles)
{
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("Work")));
    EXPECT_EQ(StartAndClose(QStringLiteral("COM2")), QString()) << "missing";
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM2\r\n"));

    WriteAll(FilePath, QByteArray());
    EXPECT_EQ(StartAndClose(QStringLiteral("COM3")), QString()) << "empty";
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM3\r\n"));

    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        QByteArray junk(1 + rng() % 9000, Qt::Uninitialized);
        for (char &c : junk)
            c = static_cast<char>(rng() & 0xFF);
        WriteAll(FilePath, junk);
        const QString loaded = StartAndClose(QStringLiteral("keep"));
        EXPECT_LE(loaded.size(), MaxWorkLineLength) << round;
        EXPECT_FALSE(loaded.contains(u'\r') || loaded.contains(u'\n')) << round;
        // What was loaded survives a save and the next start unchanged.
        EXPECT_EQ(StartAndClose(loaded), QStringLiteral("keep")) << round;
        EXPECT_EQ(StartAndClose(QStringLiteral("keep")), loaded) << round;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFileFaults, TenMegabytes)
{
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("Work")));
    QByteArray many;
    while (many.size() < 10 * 1024 * 1024)
        many += "COM1\r\nCOM22\n\r\n";
    many += "COM7";
    WriteAll(FilePath, many);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM8")), QStringLiteral("COM7"));
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM8\r\n"));

    // One line of ten megabytes: its start is kept, the rest dropped.
    WriteAll(FilePath, QByteArray(10 * 1024 * 1024, 'A'));
    EXPECT_EQ(StartAndClose(QStringLiteral("COM9")), QString(MaxWorkLineLength, u'A'));
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM9\r\n"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFileFaults, AFolderOrAPipeInItsPlace)
{
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("Work/ATVexo.000")));
    EXPECT_EQ(StartAndClose(QStringLiteral("COM2")), QString()) << "folder";
    EXPECT_TRUE(QFileInfo(QString::fromLatin1(FilePath)).isDir()) << "the folder is left alone";
    EXPECT_EQ(CountEntries("Work"), 1) << "nothing left behind";
    ASSERT_TRUE(QDir().rmdir(QString::fromLatin1(FilePath)));

    // Pipes never block the start, and saving never replaces what is not a
    // settings file, also behind a link (as root, a link to a device would
    // have the device node replaced). Only pipes of our own are used here.
    struct stat st {};
    ASSERT_EQ(mkfifo(FilePath, 0666), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM3")), QString()) << "pipe";
    ASSERT_EQ(lstat(FilePath, &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
    std::remove(FilePath);

    ASSERT_EQ(mkfifo("elsewhere", 0666), 0);
    ASSERT_EQ(symlink("../elsewhere", FilePath), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM4")), QString()) << "link to a pipe";
    ASSERT_EQ(lstat("elsewhere", &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the link's target was replaced";
    std::remove(FilePath);

    ASSERT_EQ(symlink("../nowhere/ATVexo.000", FilePath), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM5")), QString()) << "dangling link";
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("nowhere"))) << "saving created something elsewhere";
    std::remove(FilePath);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsFileFaults, UnreadableFileAndReadOnlyFolder)
{
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("Work")));
    ASSERT_EQ(chmod("Work", 0777), 0);
    WriteAll(FilePath, "COM5\r\n");
    ASSERT_EQ(chmod(FilePath, 0), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM6"), true), QString()) << "unreadable: ignored";
    // The folder is writable, so the close replaces the file.
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM6\r\n"));

    // The file (made by the unprivileged close above) is writable in a
    // read-only folder: it is overwritten in place.
    ASSERT_EQ(chmod(FilePath, 0644), 0);
    ASSERT_EQ(chmod("Work", 0555), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM7"), true), QStringLiteral("COM6"));
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM7\r\n")) << "a writable file in a read-only folder is saved";
    EXPECT_EQ(CountEntries("Work"), 1) << "no temporary file left behind";

    ASSERT_EQ(chmod(FilePath, 0444), 0);
    EXPECT_EQ(StartAndClose(QStringLiteral("COM8"), true), QStringLiteral("COM7"));
    EXPECT_EQ(ReadAll(FilePath), QByteArray("COM7\r\n")) << "a read-only file in a read-only folder is kept";
    EXPECT_EQ(CountEntries("Work"), 1);
    ASSERT_EQ(chmod("Work", 0755), 0);
    EXPECT_TRUE(boxes.empty());
}
