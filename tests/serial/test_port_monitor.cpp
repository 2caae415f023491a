// The change monitor: its debounce rule on the test's clock, and notices
// injected below it (uevent datagrams through a socket pair, nodes made and
// removed in a fake device folder) served by the main loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "FakeSysfs.h"
#include "PortMonitor.h"
#include "SerialPump.h"
#include "Thread.h"

namespace {

TEST(PortMonitorDebounce, OneChangeAfterTheLastNoticeOfABurst)
{
    TDebounce d(300, 1500);
    EXPECT_FALSE(d.Pending());
    EXPECT_EQ(d.Notice(1000), 1300);
    EXPECT_FALSE(d.Fire(1299));
    EXPECT_EQ(d.Notice(1200), 1500) << "each notice moves the change on";
    EXPECT_FALSE(d.Fire(1300));
    EXPECT_TRUE(d.Fire(1500));
    EXPECT_FALSE(d.Fire(1501)) << "once per burst";
    EXPECT_FALSE(d.Pending());
}

TEST(PortMonitorDebounce, ABurstThatGoesOnIsReportedAtTheLongest)
{
    TDebounce d(300, 1500);
    int fired = 0;
    for (std::int64_t t = 0; t <= 4000; t += 100) {
        if (d.Fire(t))
            ++fired;
        d.Notice(t);
    }
    // due at 1500 and 3000 (each from the burst's first notice after a change)
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(d.Pending());
}

std::string Datagram(const std::string &action, const std::string &subsystem)
{
    const std::string fields[] = {action + "@/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0", "ACTION=" + action,
                                  "DEVPATH=/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0",
                                  "SUBSYSTEM=" + subsystem, "DEVNAME=ttyUSB0", "SEQNUM=4711"};
    std::string d;
    for (const std::string &f : fields)
        d.append(f).push_back('\0');
    return d;
}

TEST(PortMonitorUevent, OnlyTtyAndUsbSerialComingAndGoing)
{
    for (const char *action : {"add", "remove", "bind", "unbind"}) {
        const std::string d = Datagram(action, "tty");
        EXPECT_TRUE(IsPortUevent(d.data(), d.size())) << action;
    }
    const std::string serial = Datagram("add", "usb-serial");
    EXPECT_TRUE(IsPortUevent(serial.data(), serial.size()));
    const std::string block = Datagram("add", "block");
    EXPECT_FALSE(IsPortUevent(block.data(), block.size()));
    const std::string offline = Datagram("offline", "tty");
    EXPECT_FALSE(IsPortUevent(offline.data(), offline.size()));
    // A cut datagram with no terminating NUL is read to its end, no further.
    const std::string cut = "add@/x\0ACTION=add\0SUBSYSTEM=tt";
    EXPECT_FALSE(IsPortUevent(cut.data(), cut.size()));
    EXPECT_TRUE(IsPortNodeName("ttyUSB0"));
    EXPECT_TRUE(IsPortNodeName("rfcomm1"));
    EXPECT_FALSE(IsPortNodeName("sda1"));
}

class PortMonitorLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        ASSERT_GE(MainLoopFd(), 0);
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair_), 0);
    }
    void TearDown() override
    {
        monitor.reset();
        ::close(pair_[0]);
        ::close(pair_[1]);
    }
    void Start()
    {
        TPortMonitorOptions o;
        o.devRoot = fs.Dev().string();
        o.quietMs = 30;
        o.longestMs = 200;
        o.ueventFd = pair_[0];
        monitor = std::make_unique<TPortMonitor>([this] { ++changes; }, o);
    }
    void Send(const std::string &d) { ASSERT_EQ(::send(pair_[1], d.data(), d.size(), 0), ssize_t(d.size())); }

    FakeSysfs fs;
    int pair_[2] = {-1, -1};
    int changes = 0;
    std::unique_ptr<TPortMonitor> monitor;
};

TEST_F(PortMonitorLoop, AnInjectedUeventBurstIsOneChange)
{
    Start();
    EXPECT_EQ(monitor->Sources(), "uevent+inotify");
    for (int i = 0; i < 5; ++i)
        Send(Datagram(i % 2 ? "remove" : "add", "tty"));
    ASSERT_TRUE(PumpUntil([&] { return changes >= 1; }));
    EXPECT_EQ(changes, 1);
    // A datagram about anything else is no notice: the next change is the tty's.
    Send(Datagram("add", "block"));
    Send(Datagram("add", "tty"));
    ASSERT_TRUE(PumpUntil([&] { return changes >= 2; }));
    EXPECT_EQ(changes, 2);
}

TEST_F(PortMonitorLoop, NodesMadeAndRemovedInTheDeviceFolder)
{
    Start();
    fs.Node("ttyUSB0");
    ASSERT_TRUE(PumpUntil([&] { return changes == 1; })) << "added";
    fs.Node("sda1"); // not a port: no notice of its own
    std::filesystem::remove(fs.Dev() / "ttyUSB0");
    ASSERT_TRUE(PumpUntil([&] { return changes == 2; })) << "removed";
    EXPECT_EQ(changes, 2);
}

TEST(PortMonitorSources, AMissingFolderAndNoUeventSocketWatchNothing)
{
    SetMainThread();
    ASSERT_GE(MainLoopFd(), 0);
    TPortMonitorOptions o;
    o.devRoot = "/nonexistent-vexo-dev";
    o.ueventFd = -1;
    TPortMonitor m([] {}, o);
    EXPECT_EQ(m.Sources(), "");
}

} // namespace
