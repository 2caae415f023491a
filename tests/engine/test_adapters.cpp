// The ports by what they are, apart from any window: their texts, the
// difference between two enumerations, and the adapter followed by identity.
#include <gtest/gtest.h>

#include "Adapters.h"

namespace {

TPortInfo Ftdi(const std::string &name = "COM6")
{
    TPortInfo p;
    p.name = name;
    p.device = "/dev/ttyUSB1";
    p.kind = TPortKind::Usb;
    p.product = "FT232R USB UART";
    p.maker = "FTDI";
    p.vid = "0403";
    p.pid = "6001";
    p.serial = "A50285BI";
    p.iface = 0;
    return p;
}

TPortInfo Ch340(const std::string &name, const std::string &location)
{
    TPortInfo p;
    p.name = name;
    p.device = "/dev/x" + name;
    p.kind = TPortKind::Usb;
    p.product = "USB Serial";
    p.vid = "1a86";
    p.pid = "7523";
    p.location = location;
    p.iface = 0;
    return p;
}

TEST(AdapterTexts, WhatTheEngineerReads)
{
    EXPECT_EQ(PluggedLine(Ftdi()), "подключен COM6: FT232R USB UART (FTDI, № A50285BI)");
    EXPECT_EQ(UnpluggedLine(Ftdi()), "отключен COM6: FT232R USB UART");
    EXPECT_EQ(PluggedLine(Ch340("COM5", "1-1.2")), "подключен COM5: USB Serial (USB 1-1.2)");
    EXPECT_EQ(PortNote(Ftdi()), "USB: FT232R USB UART");
    EXPECT_EQ(PortHint(Ftdi()), "COM6: FT232R USB UART (FTDI, 0403:6001, № A50285BI)");
    TPortInfo bt;
    bt.name = bt.device = "/dev/rfcomm0";
    bt.kind = TPortKind::Bluetooth;
    EXPECT_EQ(PortNote(bt), "Bluetooth");
    EXPECT_EQ(PluggedLine(bt), "подключен /dev/rfcomm0: порт Bluetooth");
    EXPECT_EQ(PortHint(bt), "/dev/rfcomm0: порт Bluetooth, Bluetooth");
    TPortInfo pty;
    pty.name = "COM5";
    pty.kind = TPortKind::Virtual;
    EXPECT_EQ(PortNote(pty), "виртуальный");
    EXPECT_EQ(UnpluggedLine(pty), "отключен COM5: виртуальный порт");
}

TEST(AdapterDiff, ComeGoneAndAnotherAdapterUnderTheSameName)
{
    const std::vector<TPortInfo> before = {Ch340("COM5", "1-1.2"), Ftdi("COM6")};
    std::vector<TPortInfo> after = {Ftdi("COM6"), Ch340("COM7", "1-1.4")};
    TPortDiff d = DiffPorts(before, after);
    ASSERT_EQ(d.removed.size(), 1u);
    EXPECT_EQ(d.removed[0].name, "COM5");
    ASSERT_EQ(d.added.size(), 1u);
    EXPECT_EQ(d.added[0].name, "COM7");
    EXPECT_TRUE(DiffPorts(after, after).added.empty());
    // The same name, another adapter behind it: gone and come.
    after = {Ch340("COM5", "1-1.3"), Ftdi("COM6")};
    d = DiffPorts(before, after);
    EXPECT_EQ(d.removed.size(), 1u);
    EXPECT_EQ(d.added.size(), 1u);
}

TEST(AdapterIdentity, KeptInOneLineAndReadBack)
{
    const auto id = IdentityOf(Ftdi("COM5"));
    ASSERT_TRUE(id);
    EXPECT_EQ(IdentityLine(*id), "COM5\t0403\t6001\tA50285BI\t\t0\tFT232R USB UART\tFTDI");
    EXPECT_EQ(ParseIdentityLine(IdentityLine(*id)), id);
    const auto ch = IdentityOf(Ch340("COM5", "1-1.2"));
    EXPECT_EQ(ParseIdentityLine(IdentityLine(*ch)), ch);
    EXPECT_FALSE(ParseIdentityLine("COM5"));
    EXPECT_FALSE(ParseIdentityLine("COM5\t0403\t6001\tA\t\tx\tP\tM")) << "interface not a number";
    TPortInfo builtIn;
    builtIn.name = "COM1";
    builtIn.kind = TPortKind::BuiltIn;
    EXPECT_FALSE(IdentityOf(builtIn)) << "a built-in port is its name";
    EXPECT_EQ(AdapterFilePath().substr(AdapterFilePath().size() - 14), "ATVexo.adapter");
}

TEST(AdapterFollow, RenamedTwoIdenticalAndNone)
{
    const TAdapterIdentity ftdi = *IdentityOf(Ftdi("COM5"));
    // Renamed: another socket, another COM number, the same serial number.
    TFollow f = FollowAdapter(ftdi, {Ch340("COM5x", "1-1"), Ftdi("COM7")}, "COM5");
    EXPECT_EQ(f.what, TFollow::Moved);
    EXPECT_EQ(f.to, "COM7");
    EXPECT_EQ(FollowLine(ftdi, f), "адаптер FT232R USB UART теперь COM7, был COM5");
    // The box's port is there: it stays, whatever else is plugged in.
    EXPECT_EQ(FollowAdapter(ftdi, {Ch340("COM5", "1-1"), Ftdi("COM7")}, "COM5").what, TFollow::Stay);
    // None: no adapter of that identity (another FTDI's serial number).
    TPortInfo other = Ftdi("COM7");
    other.serial = "B0000001";
    EXPECT_EQ(FollowAdapter(ftdi, {other}, "COM5").what, TFollow::Stay);
    EXPECT_EQ(FollowLine(ftdi, {}), "");

    // Two identical CH340s without serial numbers: the old socket decides...
    const TAdapterIdentity ch = *IdentityOf(Ch340("COM5", "1-1.2"));
    f = FollowAdapter(ch, {Ch340("COM6", "1-1.4"), Ch340("COM8", "1-1.2")}, "COM5");
    EXPECT_EQ(f.what, TFollow::Moved);
    EXPECT_EQ(f.to, "COM8");
    // ...and with neither in it, nothing is chosen and the line says why.
    f = FollowAdapter(ch, {Ch340("COM6", "1-1.4"), Ch340("COM8", "1-1.3")}, "COM5");
    EXPECT_EQ(f.what, TFollow::Ambiguous);
    EXPECT_EQ(f.candidates, (std::vector<std::string>{"COM6", "COM8"}));
    EXPECT_EQ(FollowLine(ch, f), "адаптер USB Serial (был COM5) не выбран: одинаковые адаптеры без серийного номера "
                                 "на COM6, COM8, ни один не в прежнем гнезде USB");
    // One alone without a serial number is that adapter, in whatever socket.
    f = FollowAdapter(ch, {Ch340("COM9", "2-1")}, "COM5");
    EXPECT_EQ(f.what, TFollow::Moved);
    EXPECT_EQ(f.to, "COM9");
    // An empty box chooses nothing.
    EXPECT_EQ(FollowAdapter(ch, {Ch340("COM9", "2-1")}, "").what, TFollow::Stay);
}

} // namespace
