// The settings file: last line wins, CP1251 both ways, atomic replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "Cp1251.h"
#include "Str_UtRx.h"
#include "WorkFile.h"

namespace fs = std::filesystem;

namespace {

class workfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        FRoot = (fs::temp_directory_path() / ("vexo-workfile-" + std::to_string(random()))).generic_string();
        ASSERT_TRUE(fs::create_directory(FRoot)) << FRoot;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(FRoot, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(FRoot, ec);
    }

    std::string Path(const std::string &name) const { return FRoot + '/' + name; }

    void Put(const std::string &name, const std::string &bytes) const
    {
        std::ofstream f(Path(name), std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(f.good());
        f << bytes;
        ASSERT_TRUE(f.good());
    }

    std::string Get(const std::string &name) const
    {
        std::ifstream f(Path(name), std::ios::binary);
        if (!f)
            return "(unreadable)";
        return std::string(std::istreambuf_iterator<char>(f), {});
    }

    std::optional<std::string> Read(const std::string &bytes)
    {
        Put("ATVexo.000", bytes);
        return ReadLastLine(Path("ATVexo.000"));
    }

    std::vector<std::string> Entries(const std::string &dir) const
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

#ifndef _WIN32
    // Whether directory permissions bind this process (they do not for root).
    bool PermissionsBind(const std::string &dir) const { return ::access(dir.c_str(), W_OK) != 0; }
#endif

    std::string FRoot;
};

// The current directory for the relative settings path, restored afterwards.
class CurrentDir {
public:
    explicit CurrentDir(const std::string &dir) : FOld(fs::current_path())
    {
        std::error_code ec;
        fs::current_path(dir, ec);
        FOk = !ec;
    }
    ~CurrentDir() { fs::current_path(FOld); }
    bool Ok() const { return FOk; }

private:
    fs::path FOld;
    bool FOk = false;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(workfile, PathIsRelativeWorkDirectoryAndFileName)
{
    const std::string p = WorkFilePath();
    EXPECT_TRUE(fs::path(p).is_relative());
#ifdef _WIN32
    EXPECT_EQ(p, "Work\\ATVexo.000");
#else
    EXPECT_EQ(p, "Work/ATVexo.000");
#endif
}

TEST_F(workfile, ReadLastLineWins)
{
    EXPECT_EQ(Read("COM1\r\nCOM4\r\n"), "COM4");
    EXPECT_EQ(Read("COM1\r\nCOM4"), "COM4");
    EXPECT_EQ(Read("COM7"), "COM7");
    EXPECT_EQ(Read("COM7\r\n"), "COM7");
    EXPECT_EQ(Read("COM1\nCOM2\n"), "COM2");
    EXPECT_EQ(Read("COM1\rCOM2\r"), "COM2");
    EXPECT_EQ(Read("COM1\rCOM2"), "COM2");
    EXPECT_EQ(Read("COM1\n\rCOM2\r\n"), "COM2");
}

TEST_F(workfile, ReadEmptyLastLineAndEmptyFile)
{
    // an empty last line is a line: the port box is emptied
    const auto trailing = Read("COM3\r\n\r\n");
    ASSERT_TRUE(trailing.has_value());
    EXPECT_TRUE(trailing->empty());
    EXPECT_EQ(Read("\r\n"), "");
    EXPECT_EQ(Read("A\r\r"), "");     // CR, then a lone CR: two lines
    EXPECT_EQ(Read("A\n\n"), "");
    EXPECT_EQ(Read("A\n\r"), "");     // LF CR is two line ends
    EXPECT_EQ(Read("A\r\n"), "A");    // CR LF is one
    // nothing read: the box keeps what it had
    EXPECT_EQ(Read(""), std::nullopt);
}

TEST_F(workfile, ReadMissingOrUnopenable)
{
    EXPECT_EQ(ReadLastLine(Path("absent.000")), std::nullopt);
    EXPECT_EQ(ReadLastLine(Path("no/such/dir/ATVexo.000")), std::nullopt);

    ASSERT_TRUE(fs::create_directory(Path("ATVexo.000")));
    EXPECT_EQ(ReadLastLine(Path("ATVexo.000")), std::nullopt);

#ifndef _WIN32
    const std::string fifo = Path("fifo.000");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadLastLine(fifo), std::nullopt); // returns instead of waiting for a writer
#endif
}

#ifndef _WIN32 // POSIX file modes and limits
TEST_F(workfile, ReadUnreadableFile)
{
    Put("locked.000", "COM2\r\n");
    const std::string p = Path("locked.000");
    ASSERT_EQ(::chmod(p.c_str(), 0), 0);
    if (::access(p.c_str(), R_OK) == 0)
        GTEST_SKIP() << "file permissions do not bind this process (running as root)";
    EXPECT_EQ(ReadLastLine(p), std::nullopt);
}
#endif

TEST_F(workfile, ReadErrorAfterOpenThrows)
{
#ifdef __linux__
    // Reading a process's memory from address 0 fails with EIO once open.
    EXPECT_THROW(ReadLastLine("/proc/self/mem"), EInOutError);
    try {
        (void)ReadLastLine("/proc/self/mem");
    } catch (const Exception &e) {
        EXPECT_NE(e.Message().find("/proc/self/mem"), std::string::npos) << e.Message();
    }
#else
    GTEST_SKIP() << "needs a file that fails on read";
#endif
}

TEST_F(workfile, ReadDecodesCp1251)
{
    EXPECT_EQ(Read("\xca\xce\xcc" "1\r\n"), "КОМ1");
    EXPECT_EQ(Read("COM1\r\n\xcf\xee\xf0\xf2 \xb8\xa8\r\n"), "Порт ёЁ");
}

TEST_F(workfile, ReadLongFileAndLongLine)
{
    // 10 MB of lines: only the last counts
    std::string many;
    many.reserve(10 * 1024 * 1024 + 16);
    for (int n = 0; many.size() < 10 * 1024 * 1024; ++n)
        many += "COM" + std::to_string(n % 100 + 1) + "\r\n";
    many += "COM42\r\n";
    EXPECT_EQ(Read(many), "COM42");

    // one 10 MB line without an end: its first MaxWorkLineLength characters
    std::string line(MaxWorkLineLength, 'A');
    line += std::string(10 * 1024 * 1024, 'B');
    const auto longLine = Read(line);
    ASSERT_TRUE(longLine.has_value());
    EXPECT_EQ(*longLine, std::string(MaxWorkLineLength, 'A'));

    // a long line followed by a short one
    EXPECT_EQ(Read(line + "\r\nCOM8"), "COM8");
}

TEST_F(workfile, ReadCrLfSplitAcrossChunks)
{
    // A CR LF whose halves fall into different reads is still one line end.
    for (int len : {65535, 65536, 131071}) {
        SCOPED_TRACE(len);
        std::string head(std::size_t(len), 'x');
        head[0] = 'A';
        EXPECT_EQ(Read(head + "\r\n"), "A" + std::string(MaxWorkLineLength - 1, 'x'));
        EXPECT_EQ(Read(head + "\r\nB"), "B");
        EXPECT_EQ(Read(head + "\r\r"), "");
    }
}

TEST_F(workfile, ReadBinaryJunk)
{
    std::mt19937 rng(7);
    std::string junk;
    for (int i = 0; i < 300000; ++i)
        junk.push_back(static_cast<char>(rng() & 0xFF));
    EXPECT_EQ(Read(junk + "\r\nCOM9\r\n"), "COM9");

    // a last line of every byte but CR and LF decodes character for character
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.push_back(static_cast<char>(b));
    }
    const std::string expected = Cp1251Decode(all);
    ASSERT_EQ(Cp1251Encode(expected), all);
    EXPECT_EQ(Read(junk + "\n" + all), expected);
}

TEST_F(workfile, ReadThenFoldSpaces)
{
    // the start-up folds the line read before it goes into the port box
    const auto line = Read("COM1\r\nCOM  3\r\n");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(OneSpace(*line), "COM 3");
    const auto spaced = Read("  COM   12  ");
    ASSERT_TRUE(spaced.has_value());
    EXPECT_EQ(OneSpace(*spaced), " COM 12 ");
}

TEST_F(workfile, WriteOneLineCrLf)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    const std::string p = Path("Work/ATVexo.000");
    EXPECT_TRUE(WriteLineAtomically(p, "COM3"));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM3\r\n"));
    EXPECT_EQ(Entries(Path("Work")), Names{"ATVexo.000"});
    EXPECT_EQ(ReadLastLine(p), "COM3");

    // replaces a longer file completely
    Put("Work/ATVexo.000", "COM100\r\nCOM200\r\nCOM300\r\n");
    EXPECT_TRUE(WriteLineAtomically(p, "COM1"));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM1\r\n"));

    // an empty box is saved as an empty line, and read back as one
    EXPECT_TRUE(WriteLineAtomically(p, std::string()));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("\r\n"));
    EXPECT_EQ(ReadLastLine(p), "");
    EXPECT_EQ(Entries(Path("Work")), Names{"ATVexo.000"});
}

TEST_F(workfile, WriteCp1251ByteExact)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    const std::string p = Path("Work/ATVexo.000");
    ASSERT_TRUE(WriteLineAtomically(p, "КОМ1"));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("\xca\xce\xcc" "1\r\n"));
    EXPECT_EQ(ReadLastLine(p), "КОМ1");

    // every byte but CR and LF survives decode, write and read unchanged
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.push_back(static_cast<char>(b));
    }
    const std::string text = Cp1251Decode(all);
    ASSERT_TRUE(WriteLineAtomically(p, text));
    EXPECT_EQ(Get("Work/ATVexo.000"), all + "\r\n");
    EXPECT_EQ(ReadLastLine(p), text);
}

TEST_F(workfile, WriteCharactersOutsideTheCodePageAsQuestionMarks)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    const std::string p = Path("Work/ATVexo.000");
    ASSERT_TRUE(WriteLineAtomically(p, "COM✓1 日本 €"));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM?1 ?? \x88\r\n"));
    ASSERT_TRUE(WriteLineAtomically(p, "A\U0001F600B"));         // one code point, one '?'
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("A?B\r\n"));
    ASSERT_TRUE(WriteLineAtomically(p, "\xed\xa0\x80x")); // a lone surrogate
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("?x\r\n"));
    EXPECT_EQ(Cp1251Encode("?"), std::string("?"));
}

TEST_F(workfile, WriteWithoutWorkDirectoryCreatesNothing)
{
    EXPECT_FALSE(WriteLineAtomically(Path("Work/ATVexo.000"), "COM3"));
    EXPECT_TRUE(Entries(FRoot).empty());

    // through the relative path, as the program does at close
    CurrentDir here(FRoot);
    ASSERT_TRUE(here.Ok());
    EXPECT_FALSE(WriteLineAtomically(WorkFilePath(), "COM3"));
    EXPECT_TRUE(Entries(FRoot).empty());
}

TEST_F(workfile, WriteThroughTheRelativePath)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    CurrentDir here(FRoot);
    ASSERT_TRUE(here.Ok());
    EXPECT_TRUE(WriteLineAtomically(WorkFilePath(), "COM5"));
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM5\r\n"));
    EXPECT_EQ(ReadLastLine(WorkFilePath()), "COM5");
}

TEST_F(workfile, WriteWhenWorkIsAFile)
{
    Put("Work", "not a directory");
    EXPECT_FALSE(WriteLineAtomically(Path("Work/ATVexo.000"), "COM3"));
    EXPECT_EQ(Get("Work"), std::string("not a directory"));
    EXPECT_EQ(Entries(FRoot), Names{"Work"});
}

TEST_F(workfile, WriteWhenTheFileIsADirectory)
{
    ASSERT_TRUE(fs::create_directories(Path("Work/ATVexo.000")));
    EXPECT_FALSE(WriteLineAtomically(Path("Work/ATVexo.000"), "COM3"));
    EXPECT_TRUE(fs::is_directory(Path("Work/ATVexo.000")));
    EXPECT_EQ(Entries(Path("Work")), Names{"ATVexo.000"});
}

#ifndef _WIN32 // POSIX file modes and limits
TEST_F(workfile, WriteIntoReadOnlyWork)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    const std::string work = Path("Work");
    Put("Work/ATVexo.000", "COM2\r\n");
    ASSERT_EQ(::chmod(work.c_str(), 0555), 0);
    if (!PermissionsBind(work)) {
        ::chmod(work.c_str(), 0755);
        GTEST_SKIP() << "directory permissions do not bind this process (running as root)";
    }
    const bool written = WriteLineAtomically(Path("Work/ATVexo.000"), "COM3");
    const Names entries = Entries(work);
    ::chmod(work.c_str(), 0755);
    EXPECT_FALSE(written);
    EXPECT_EQ(entries, Names{"ATVexo.000"});
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM2\r\n"));
}
#endif

#ifndef _WIN32 // POSIX file modes and limits
TEST_F(workfile, FailedWriteKeepsTheOldFile)
{
    ASSERT_TRUE(fs::create_directory(Path("Work")));
    Put("Work/ATVexo.000", "COM2\r\n");

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
        WriteLineAtomically(Path("Work/ATVexo.000"), "COM100 and some more text");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(Get("Work/ATVexo.000"), std::string("COM2\r\n"));
    EXPECT_EQ(Entries(Path("Work")), Names{"ATVexo.000"});
}
#endif
