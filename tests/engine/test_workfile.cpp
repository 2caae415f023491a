// The settings file: last line wins, CP1251 both ways, atomic replacement.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <csignal>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Str_UtRx.h"
#include "WorkFile.h"

namespace {

QString U(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

class workfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTemp.isValid());
        FRoot = FTemp.path();
    }

    QString Path(const QString &name) const { return FRoot + u'/' + name; }

    void Put(const QString &name, const QByteArray &bytes) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray Get(const QString &name) const
    {
        QFile f(Path(name));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("(unreadable)");
        return f.readAll();
    }

    std::optional<QString> Read(const QByteArray &bytes)
    {
        Put(QStringLiteral("ATVexo.000"), bytes);
        return ReadLastLine(Path(QStringLiteral("ATVexo.000")));
    }

    QStringList Entries(const QString &dir) const
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    // Whether directory permissions bind this process (they do not for root).
    bool PermissionsBind(const QString &dir) const { return ::access(QFile::encodeName(dir), W_OK) != 0; }

    QTemporaryDir FTemp;
    QString FRoot;
};

// The current directory for the relative settings path, restored afterwards.
class CurrentDir {
public:
    explicit CurrentDir(const QString &dir) : FOld(QDir::currentPath()) { FOk = QDir::setCurrent(dir); }
    ~CurrentDir() { QDir::setCurrent(FOld); }
    bool Ok() const { return FOk; }

private:
    QString FOld;
    bool FOk = false;
};

} // namespace

TEST_F(workfile, PathIsRelativeWorkDirectoryAndFileName)
{
    const QString p = WorkFilePath();
    EXPECT_TRUE(QFileInfo(p).isRelative());
    EXPECT_EQ(QDir::fromNativeSeparators(p), U("Work/ATVexo.000"));
}

TEST_F(workfile, ReadLastLineWins)
{
    EXPECT_EQ(Read("COM1\r\nCOM4\r\n"), U("COM4"));
    EXPECT_EQ(Read("COM1\r\nCOM4"), U("COM4"));
    EXPECT_EQ(Read("COM7"), U("COM7"));
    EXPECT_EQ(Read("COM7\r\n"), U("COM7"));
    EXPECT_EQ(Read("COM1\nCOM2\n"), U("COM2"));
    EXPECT_EQ(Read("COM1\rCOM2\r"), U("COM2"));
    EXPECT_EQ(Read("COM1\rCOM2"), U("COM2"));
    EXPECT_EQ(Read("COM1\n\rCOM2\r\n"), U("COM2"));
}

TEST_F(workfile, ReadEmptyLastLineAndEmptyFile)
{
    // an empty last line is a line: the port box is emptied
    const auto trailing = Read("COM3\r\n\r\n");
    ASSERT_TRUE(trailing.has_value());
    EXPECT_TRUE(trailing->isEmpty());
    EXPECT_EQ(Read("\r\n"), U(""));
    EXPECT_EQ(Read("A\r\r"), U(""));     // CR, then a lone CR: two lines
    EXPECT_EQ(Read("A\n\n"), U(""));
    EXPECT_EQ(Read("A\n\r"), U(""));     // LF CR is two line ends
    EXPECT_EQ(Read("A\r\n"), U("A"));    // CR LF is one
    // nothing read: the box keeps what it had
    EXPECT_EQ(Read(""), std::nullopt);
}

TEST_F(workfile, ReadMissingOrUnopenable)
{
    EXPECT_EQ(ReadLastLine(Path(QStringLiteral("absent.000"))), std::nullopt);
    EXPECT_EQ(ReadLastLine(Path(QStringLiteral("no/such/dir/ATVexo.000"))), std::nullopt);

    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("ATVexo.000")));
    EXPECT_EQ(ReadLastLine(Path(QStringLiteral("ATVexo.000"))), std::nullopt);

    const QString fifo = Path(QStringLiteral("fifo.000"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadLastLine(fifo), std::nullopt); // returns instead of waiting for a writer
}

TEST_F(workfile, ReadUnreadableFile)
{
    Put(QStringLiteral("locked.000"), "COM2\r\n");
    const QString p = Path(QStringLiteral("locked.000"));
    ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0), 0);
    if (::access(QFile::encodeName(p).constData(), R_OK) == 0)
        GTEST_SKIP() << "file permissions do not bind this process (running as root)";
    EXPECT_EQ(ReadLastLine(p), std::nullopt);
}

TEST_F(workfile, ReadErrorAfterOpenThrows)
{
#ifdef __linux__
    // Reading a process's memory from address 0 fails with EIO once open.
    EXPECT_THROW(ReadLastLine(QStringLiteral("/proc/self/mem")), EInOutError);
    try {
        (void)ReadLastLine(QStringLiteral("/proc/self/mem"));
    } catch (const Exception &e) {
        EXPECT_NE(e.Message().find("/proc/self/mem"), std::string::npos) << e.Message();
    }
#else
    GTEST_SKIP() << "needs a file that fails on read";
#endif
}

TEST_F(workfile, ReadDecodesCp1251)
{
    EXPECT_EQ(Read("\xca\xce\xcc" "1\r\n"), U("КОМ1"));
    EXPECT_EQ(Read("COM1\r\n\xcf\xee\xf0\xf2 \xb8\xa8\r\n"), U("Порт ёЁ"));
}

TEST_F(workfile, ReadLongFileAndLongLine)
{
    // 10 MB of lines: only the last counts
    QByteArray many;
    many.reserve(10 * 1024 * 1024 + 16);
    for (int n = 0; many.size() < 10 * 1024 * 1024; ++n)
        many += "COM" + QByteArray::number(n % 100 + 1) + "\r\n";
    many += "COM42\r\n";
    EXPECT_EQ(Read(many), U("COM42"));

    // one 10 MB line without an end: its first MaxWorkLineLength characters
    QByteArray line(MaxWorkLineLength, 'A');
    line += QByteArray(10 * 1024 * 1024, 'B');
    const auto longLine = Read(line);
    ASSERT_TRUE(longLine.has_value());
    EXPECT_EQ(*longLine, QString(MaxWorkLineLength, u'A'));

    // a long line followed by a short one
    EXPECT_EQ(Read(line + "\r\nCOM8"), U("COM8"));
}

TEST_F(workfile, ReadCrLfSplitAcrossChunks)
{
    // A CR LF whose halves fall into different reads is still one line end.
    for (int len : {65535, 65536, 131071}) {
        SCOPED_TRACE(len);
        QByteArray head(len, 'x');
        head[0] = 'A';
        EXPECT_EQ(Read(head + "\r\n"), QString(U("A")) + QString(MaxWorkLineLength - 1, u'x'));
        EXPECT_EQ(Read(head + "\r\nB"), U("B"));
        EXPECT_EQ(Read(head + "\r\r"), U(""));
    }
}

TEST_F(workfile, ReadBinaryJunk)
{
    std::mt19937 rng(7);
    QByteArray junk;
    for (int i = 0; i < 300000; ++i)
        junk.append(static_cast<char>(rng() & 0xFF));
    EXPECT_EQ(Read(junk + "\r\nCOM9\r\n"), U("COM9"));

    // a last line of every byte but CR and LF decodes character for character
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.append(static_cast<char>(b));
    }
    QStringDecoder decoder("windows-1251");
    ASSERT_TRUE(decoder.isValid());
    const QString expected = decoder(all);
    ASSERT_EQ(expected.size(), 254);
    EXPECT_EQ(Read(junk + "\n" + all), expected);
}

TEST_F(workfile, ReadThenFoldSpaces)
{
    // the start-up folds the line read before it goes into the port box
    const auto line = Read("COM1\r\nCOM  3\r\n");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(OneSpace(*line), U("COM 3"));
    const auto spaced = Read("  COM   12  ");
    ASSERT_TRUE(spaced.has_value());
    EXPECT_EQ(OneSpace(*spaced), U(" COM 12 "));
}

TEST_F(workfile, WriteOneLineCrLf)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    const QString p = Path(QStringLiteral("Work/ATVexo.000"));
    EXPECT_TRUE(WriteLineAtomically(p, U("COM3")));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM3\r\n"));
    EXPECT_EQ(Entries(Path(QStringLiteral("Work"))), QStringList{U("ATVexo.000")});
    EXPECT_EQ(ReadLastLine(p), U("COM3"));

    // replaces a longer file completely
    Put(QStringLiteral("Work/ATVexo.000"), "COM100\r\nCOM200\r\nCOM300\r\n");
    EXPECT_TRUE(WriteLineAtomically(p, U("COM1")));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM1\r\n"));

    // an empty box is saved as an empty line, and read back as one
    EXPECT_TRUE(WriteLineAtomically(p, QString()));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("\r\n"));
    EXPECT_EQ(ReadLastLine(p), U(""));
    EXPECT_EQ(Entries(Path(QStringLiteral("Work"))), QStringList{U("ATVexo.000")});
}

TEST_F(workfile, WriteCp1251ByteExact)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    const QString p = Path(QStringLiteral("Work/ATVexo.000"));
    ASSERT_TRUE(WriteLineAtomically(p, U("КОМ1")));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("\xca\xce\xcc" "1\r\n"));
    EXPECT_EQ(ReadLastLine(p), U("КОМ1"));

    // every byte but CR and LF survives decode, write and read unchanged
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.append(static_cast<char>(b));
    }
    QStringDecoder decoder("windows-1251");
    const QString text = decoder(all);
    ASSERT_TRUE(WriteLineAtomically(p, text));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), all + "\r\n");
    EXPECT_EQ(ReadLastLine(p), text);
}

TEST_F(workfile, WriteCharactersOutsideTheCodePageAsQuestionMarks)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    const QString p = Path(QStringLiteral("Work/ATVexo.000"));
    ASSERT_TRUE(WriteLineAtomically(p, U("COM✓1 日本 €")));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM?1 ?? \x88\r\n"));
    ASSERT_TRUE(WriteLineAtomically(p, U("A\U0001F600B")));         // one code point, one '?'
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("A?B\r\n"));
    ASSERT_TRUE(WriteLineAtomically(p, QString(QChar(0xD800)) + U("x"))); // a lone surrogate
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("?x\r\n"));
    EXPECT_EQ(Cp1251Encode(U("?")), QByteArray("?"));
}

TEST_F(workfile, WriteWithoutWorkDirectoryCreatesNothing)
{
    EXPECT_FALSE(WriteLineAtomically(Path(QStringLiteral("Work/ATVexo.000")), U("COM3")));
    EXPECT_TRUE(Entries(FRoot).isEmpty());

    // through the relative path, as the program does at close
    CurrentDir here(FRoot);
    ASSERT_TRUE(here.Ok());
    EXPECT_FALSE(WriteLineAtomically(WorkFilePath(), U("COM3")));
    EXPECT_TRUE(Entries(FRoot).isEmpty());
}

TEST_F(workfile, WriteThroughTheRelativePath)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    CurrentDir here(FRoot);
    ASSERT_TRUE(here.Ok());
    EXPECT_TRUE(WriteLineAtomically(WorkFilePath(), U("COM5")));
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM5\r\n"));
    EXPECT_EQ(ReadLastLine(WorkFilePath()), U("COM5"));
}

TEST_F(workfile, WriteWhenWorkIsAFile)
{
    Put(QStringLiteral("Work"), "not a directory");
    EXPECT_FALSE(WriteLineAtomically(Path(QStringLiteral("Work/ATVexo.000")), U("COM3")));
    EXPECT_EQ(Get(QStringLiteral("Work")), QByteArray("not a directory"));
    EXPECT_EQ(Entries(FRoot), QStringList{U("Work")});
}

TEST_F(workfile, WriteWhenTheFileIsADirectory)
{
    ASSERT_TRUE(QDir(FRoot).mkpath(QStringLiteral("Work/ATVexo.000")));
    EXPECT_FALSE(WriteLineAtomically(Path(QStringLiteral("Work/ATVexo.000")), U("COM3")));
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("Work/ATVexo.000"))).isDir());
    EXPECT_EQ(Entries(Path(QStringLiteral("Work"))), QStringList{U("ATVexo.000")});
}

TEST_F(workfile, WriteIntoReadOnlyWork)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    const QString work = Path(QStringLiteral("Work"));
    Put(QStringLiteral("Work/ATVexo.000"), "COM2\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(work).constData(), 0555), 0);
    if (!PermissionsBind(work)) {
        ::chmod(QFile::encodeName(work).constData(), 0755);
        GTEST_SKIP() << "directory permissions do not bind this process (running as root)";
    }
    const bool written = WriteLineAtomically(Path(QStringLiteral("Work/ATVexo.000")), U("COM3"));
    const QStringList entries = Entries(work);
    ::chmod(QFile::encodeName(work).constData(), 0755);
    EXPECT_FALSE(written);
    EXPECT_EQ(entries, QStringList{U("ATVexo.000")});
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM2\r\n"));
}

TEST_F(workfile, FailedWriteKeepsTheOldFile)
{
    ASSERT_TRUE(QDir(FRoot).mkdir(QStringLiteral("Work")));
    Put(QStringLiteral("Work/ATVexo.000"), "COM2\r\n");

    // A file-size limit of 3 bytes makes the write fail part-way, after the
    // temporary file exists: the old file must stay whole and nothing stray.
    struct sigaction ignore {};
    struct sigaction old {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 3;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written =
        WriteLineAtomically(Path(QStringLiteral("Work/ATVexo.000")), U("COM100 and some more text"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(Get(QStringLiteral("Work/ATVexo.000")), QByteArray("COM2\r\n"));
    EXPECT_EQ(Entries(Path(QStringLiteral("Work"))), QStringList{U("ATVexo.000")});
}
