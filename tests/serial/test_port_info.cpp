// The port enumeration against fake sysfs trees and device folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeSysfs.h"
#include "PortInfo.h"

namespace {

const TPortInfo &Only(const std::vector<TPortInfo> &ports, const std::string &name)
{
    const TPortInfo *p = FindPortInfo(ports, name);
    if (!p)
        throw std::runtime_error(name + " not listed");
    return *p;
}

TEST(PortInfo, UsbAdapterWithItsOwnSerialNumber)
{
    FakeSysfs fs;
    fs.AddUsb("ttyUSB1", {.usbPath = "1-2", .vid = "0403", .pid = "6001", .product = "FT232R USB UART",
                          .maker = "FTDI", .serial = "A50285BI"});
    const auto ports = ListPortInfo(fs.Roots());
    ASSERT_EQ(ports.size(), 1u);
    const TPortInfo &p = ports[0];
    EXPECT_EQ(p.name, "COM6"); // the README's table: ttyUSB1 is COM6
    EXPECT_EQ(p.device, (fs.Dev() / "ttyUSB1").string());
    EXPECT_EQ(p.kind, TPortKind::Usb);
    EXPECT_EQ(p.product, "FT232R USB UART");
    EXPECT_EQ(p.maker, "FTDI");
    EXPECT_EQ(p.vid + ":" + p.pid, "0403:6001");
    EXPECT_EQ(p.serial, "A50285BI");
    EXPECT_EQ(p.location, "") << "a real serial number needs no location";
    EXPECT_EQ(p.iface, 0);
}

TEST(PortInfo, AdaptersWithoutSerialNumberAreToldApartByTheirSocket)
{
    FakeSysfs fs;
    // Two identical CH340s: no serial, no maker string; the udev database names the maker.
    fs.AddUsb("ttyUSB0", {.usbPath = "1-1.2", .vid = "1A86", .pid = "7523", .product = "USB Serial"}, "188:0");
    fs.AddUsb("ttyUSB2", {.usbPath = "1-1.4", .vid = "1a86", .pid = "7523", .product = "USB Serial"}, "188:2");
    fs.Udev("188:0", "S:serial/by-id/x\nE:ID_VENDOR_FROM_DATABASE=QinHeng Electronics\nE:ID_MODEL_FROM_DATABASE=CH340 serial converter\n");
    const auto ports = ListPortInfo(fs.Roots());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, "COM5");
    EXPECT_EQ(ports[1].name, "COM7");
    EXPECT_EQ(ports[0].vid, "1a86") << "hex digits are lower case";
    EXPECT_EQ(ports[0].serial, "");
    EXPECT_EQ(ports[0].location, "1-1.2");
    EXPECT_EQ(ports[1].location, "1-1.4");
    EXPECT_EQ(ports[0].product, "USB Serial") << "the device's own string comes before the database's";
    EXPECT_EQ(ports[0].maker, "QinHeng Electronics") << "from the udev database where the device names none";
    EXPECT_EQ(ports[1].maker, "") << "no database entry: nothing made up";
}

TEST(PortInfo, MadeUpSerialNumbersAreNotKept)
{
    FakeSysfs fs;
    fs.AddUsb("ttyUSB0", {.usbPath = "3-1", .vid = "067b", .pid = "2303", .product = "USB-Serial Controller",
                          .maker = "Prolific Technology Inc.", .serial = "0123456789"});
    fs.AddUsb("ttyUSB1", {.usbPath = "3-2", .vid = "067b", .pid = "2303", .serial = "00000000"});
    const auto ports = ListPortInfo(fs.Roots());
    ASSERT_EQ(ports.size(), 2u);
    for (const TPortInfo &p : ports) {
        EXPECT_EQ(p.serial, "") << p.name;
        EXPECT_FALSE(p.location.empty()) << p.name;
    }
    EXPECT_TRUE(RealSerialNumber("A50285BI"));
    EXPECT_TRUE(RealSerialNumber("0001"));
    EXPECT_FALSE(RealSerialNumber(""));
    EXPECT_FALSE(RealSerialNumber("FFFFFFFF"));
    EXPECT_FALSE(RealSerialNumber("12345678"));
    EXPECT_FALSE(RealSerialNumber("AB CD"));
}

TEST(PortInfo, DualChipPortsShareTheSerialAndDifferByInterface)
{
    FakeSysfs fs;
    fs.AddUsb("ttyUSB0", {.usbPath = "1-3", .vid = "0403", .pid = "6010", .product = "Dual RS232", .serial = "FT4XK2", .iface = 0});
    fs.AddUsb("ttyUSB1", {.usbPath = "1-3", .vid = "0403", .pid = "6010", .product = "Dual RS232", .serial = "FT4XK2", .iface = 1});
    const auto ports = ListPortInfo(fs.Roots());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].serial, "FT4XK2");
    EXPECT_EQ(ports[1].serial, "FT4XK2");
    EXPECT_EQ(ports[0].iface, 0);
    EXPECT_EQ(ports[1].iface, 1);
}

TEST(PortInfo, ModemBluetoothBuiltInAndVirtualPorts)
{
    FakeSysfs fs;
    fs.AddUsb("ttyACM0", {.usbPath = "2-1", .vid = "1bc7", .pid = "1201", .product = "LE910 Modem", .maker = "Telit", .acm = true});
    fs.AddRfcomm("rfcomm0");
    fs.AddBuiltIn("ttyS0", 4); // a 16550A
    fs.AddBuiltIn("ttyS1", 0); // registered, no hardware
    fs.Node("ttyUSB9");        // a node with no kernel port behind it (a link to a pty, say)
    fs.Node("tty0");           // a console: not a serial port
    const auto ports = ListPortInfo(fs.Roots());
    std::vector<std::string> names;
    for (const TPortInfo &p : ports)
        names.push_back(p.name);
    const std::string rfcomm = (fs.Dev() / "rfcomm0").string();
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM14", "COM21", rfcomm}))
        << "COM names in number order, then the ports without one by path; no ttyS1, no tty0";
    EXPECT_EQ(Only(ports, "COM1").kind, TPortKind::BuiltIn);
    EXPECT_EQ(Only(ports, "COM14").kind, TPortKind::Virtual);
    const TPortInfo &modem = Only(ports, "COM21");
    EXPECT_EQ(modem.kind, TPortKind::Usb);
    EXPECT_EQ(modem.product, "LE910 Modem");
    EXPECT_EQ(modem.maker, "Telit");
    EXPECT_EQ(Only(ports, rfcomm).kind, TPortKind::Bluetooth);
    EXPECT_EQ(FindPortInfo(ports, "com21"), &modem) << "a COM name in any case";
    EXPECT_EQ(FindPortInfo(ports, modem.device), &modem) << "or the device path";
}

TEST(PortInfo, LinksInTheDeviceFolderAreDescribedByWhatTheyName)
{
    FakeSysfs fs;
    fs.AddUsb("ttyUSB3", {.usbPath = "1-5", .product = "FT232R USB UART", .serial = "A1B2C3"});
    // a link under a COM-mapped name to a node outside the folder (a pty): virtual
    std::filesystem::create_symlink("/dev/null", fs.Dev() / "ttyUSB0");
    // a dangling link: nothing there
    std::filesystem::create_symlink(fs.Dev() / "gone", fs.Dev() / "ttyUSB1");
    // a link with the kernel's port of its own name: that port
    fs.AddUsb("ttyUSB4", {.usbPath = "1-6", .product = "USB Serial"});
    fs.LinkNode("ttyUSB4", "/dev/null");
    // a link to another device than the kernel's port of that name: what it names
    fs.AddUsb("ttyUSB5", {.usbPath = "1-7", .product = "USB Serial"}, "188:5");
    fs.LinkNode("ttyUSB5", "/dev/null");
    const auto ports = ListPortInfo(fs.Roots());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[3].name, "COM10");
    EXPECT_EQ(ports[3].kind, TPortKind::Virtual);
    EXPECT_EQ(ports[0].name, "COM5");
    EXPECT_EQ(ports[0].kind, TPortKind::Virtual);
    EXPECT_EQ(ports[1].name, "COM8");
    EXPECT_EQ(ports[1].kind, TPortKind::Usb);
    EXPECT_EQ(ports[2].name, "COM9");
    EXPECT_EQ(ports[2].product, "USB Serial");
}

TEST(PortInfo, NoDeviceFolderNoPortsAndNothingOpened)
{
    FakeSysfs fs;
    TPortRoots roots = fs.Roots();
    roots.dev += "/missing";
    EXPECT_TRUE(ListPortInfo(roots).empty());
    // A node that may not be opened is still listed: enumeration only looks.
    fs.AddUsb("ttyUSB0", {.product = "FT232R USB UART", .serial = "A1B2C3"});
    std::filesystem::permissions(fs.Dev() / "ttyUSB0", std::filesystem::perms::none);
    EXPECT_EQ(ListPortInfo(fs.Roots()).size(), 1u);
}

TEST(PortInfo, TheRealSystemIsEnumeratedWithoutError)
{
    // Whatever this machine has: every port has a name and a device, and
    // a COM name maps back to its device by the fixed table.
    for (const TPortInfo &p : ListPortInfo({})) {
        EXPECT_FALSE(p.name.empty());
        EXPECT_FALSE(p.device.empty());
    }
}

} // namespace
