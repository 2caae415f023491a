// Pseudo-terminals standing in for serial devices in tests. The test holds
// the master side (the "device"); the code under test opens the slave path.
#pragma once

#include <cstddef>
#include <string>
#include <termios.h>

class TestPty {
public:
    // Opens a master (posix_openpt, grantpt, unlockpt); throws
    // std::runtime_error when the system has no ptys left.
    TestPty();
    ~TestPty();
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    // The slave device, e.g. "/dev/pts/3".
    const std::string &SlavePath() const { return slavePath_; }
    // -1 after CloseMaster.
    int MasterFd() const { return master_; }

    // Sends bytes towards the program (they arrive at the slave). Waits for
    // room up to timeoutMs in all; true when every byte was written.
    bool Write(const std::string &bytes, int timeoutMs = 10000);
    // Everything the program wrote that arrives within `ms`.
    std::string ReadFor(int ms);
    // Reads until `n` bytes have come or timeoutMs passed; returns what came.
    std::string ReadExactly(std::size_t n, int timeoutMs);

    // The slave's termios as the device sees it (tcgetattr on the master).
    bool SlaveTermios(termios *t) const;
    // The slave's real output speed in bit/s (termios2, so custom rates
    // such as 31250 read back exactly); 0 when it cannot be read.
    unsigned SlaveSpeed() const;

    // The device vanishes: the slave sees a hang-up from now on.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

// A temporary folder that the comm layer uses as its device root while the
// object lives, so "COM5" finds <folder>/ttyUSB0. Restores the previous root
// and removes the folder on destruction.
class DeviceRootDir {
public:
    DeviceRootDir();
    ~DeviceRootDir();
    DeviceRootDir(const DeviceRootDir &) = delete;
    DeviceRootDir &operator=(const DeviceRootDir &) = delete;

    const std::string &Path() const { return path_; }
    // <folder>/name -> target (a symlink), e.g. Link("ttyUSB0", pty.SlavePath()).
    bool Link(const std::string &name, const std::string &target);
    // A regular file and a folder, for "not a port" cases.
    bool MakeFile(const std::string &name, const std::string &content = "x");
    bool MakeDir(const std::string &name);

private:
    std::string path_;
    std::string oldRoot_;
};
