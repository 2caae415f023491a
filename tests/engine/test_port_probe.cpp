// The COM-port probe against pseudo-terminals behind the device root.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "PortProbe.h"
#include "commapi.h"
#include "pty.h"

namespace {

// A pseudo-terminal whose slave stands in for a serial port.
class Pty {
public:
    Pty()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            return;
        if (const char *name = ::ptsname(FMaster))
            FSlave = name;
    }
    ~Pty() { Close(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool Ok() const { return FMaster >= 0 && !FSlave.empty(); }
    const std::string &SlavePath() const { return FSlave; }
    void Close()
    {
        if (FMaster >= 0)
            ::close(FMaster);
        FMaster = -1;
    }

private:
    int FMaster = -1;
    std::string FSlave;
};

// COM5 is ttyUSB0 and COM1 is ttyS0 under the device root.
class port_probe : public ::testing::Test {
protected:
    void Link(const std::string &target, const char *device)
    {
        const std::string link = FRoot.Path() + "/" + device;
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
    }
    std::string InRoot(const char *name) const { return FRoot.Path() + "/" + name; }

    static HANDLE OpenExclusive(const char *path)
    {
        return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    }

    DeviceRootDir FRoot;
};

} // namespace

TEST_F(port_probe, PortThatOpensIsPresentAndLeftFree)
{
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Link(pty.SlavePath(), "ttyUSB0");
    EXPECT_TRUE(RSPortPresent("COM5"));
    EXPECT_TRUE(RSPortPresent("COM5"));

    // the probe closed its handle: the port can be taken exclusively now
    HANDLE h = OpenExclusive("\\\\.\\COM5");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

TEST_F(port_probe, PortHeldByAnotherHandleIsPresent)
{
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Link(pty.SlavePath(), "ttyUSB0");
    HANDLE held = OpenExclusive("\\\\.\\COM5");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // the basis of the rule: a second exclusive open is refused as access denied
    HANDLE second = OpenExclusive("\\\\.\\COM5");
    const DWORD error = GetLastError();
    if (second != INVALID_HANDLE_VALUE)
        CloseHandle(second);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);

    EXPECT_TRUE(RSPortPresent("COM5"));
    // the holder still has the port to itself after the probe
    HANDLE third = OpenExclusive("\\\\.\\COM5");
    EXPECT_EQ(third, INVALID_HANDLE_VALUE);
    if (third != INVALID_HANDLE_VALUE)
        CloseHandle(third);
    EXPECT_TRUE(CloseHandle(held));
}

TEST_F(port_probe, NamesWithNothingBehindThemAreAbsent)
{
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Link(pty.SlavePath(), "ttyUSB0");
    ASSERT_TRUE(RSPortPresent("COM5"));

    EXPECT_FALSE(RSPortPresent("COM1"));   // no ttyS0 in the root
    EXPECT_FALSE(RSPortPresent("COM99"));
    EXPECT_FALSE(RSPortPresent("COM0"));
    EXPECT_FALSE(RSPortPresent("COM101"));
    EXPECT_FALSE(RSPortPresent("NOPORT"));
}

TEST_F(port_probe, NamesWithoutACodePageFormAreAbsent)
{
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Link(pty.SlavePath(), "ttyUSB0");
    ASSERT_TRUE(RSPortPresent("COM5"));

    // U+0143 has no code page 1251 byte and would read as 'C' if cut to its low
    // byte; U+0421 has one, but it is no 'C'
    EXPECT_FALSE(RSPortPresent("\u0143OM5"));
    EXPECT_FALSE(RSPortPresent("\xd0\xa1OM5")); // Cyrillic Es
    // a NUL would cut the device path to "\\.\COM5"
    EXPECT_FALSE(RSPortPresent(std::string("COM5\0" "7", 6)));
}

TEST_F(port_probe, NonTerminalsBehindTheNameAreAbsent)
{
    // a regular file
    const std::string file = InRoot("plain.bin");
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
    Link(file, "ttyS0");
    EXPECT_FALSE(RSPortPresent("COM1"));

    // a directory
    const std::string dir = InRoot("adir");
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    Link(dir, "ttyUSB0");
    EXPECT_FALSE(RSPortPresent("COM5"));
}

TEST_F(port_probe, VanishedPortIsAbsent)
{
    Pty pty;
    ASSERT_TRUE(pty.Ok());
    Link(pty.SlavePath(), "ttyUSB0");
    ASSERT_TRUE(RSPortPresent("COM5"));
    pty.Close(); // unplugged: the slave node goes away
    EXPECT_FALSE(RSPortPresent("COM5"));
}
