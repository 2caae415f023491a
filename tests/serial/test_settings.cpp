// Settings model of the serial component: defaults, write rules, derived
// handshake sets, the line-settings record, queue clamps and group copies.
#include <gtest/gtest.h>

#include <cstring>

#include "XComDrv.h"
#include "XComDrvPrivate.h"

using namespace commlayer;
using xcomdrv::BuildLineSettings;

namespace {

DWORD FlagsOf(const TCustomComm &c) { return DcbFlags(BuildLineSettings(c.StoredLineSettings())); }

} // namespace

TEST(CommDefaults, ConstructorValues)
{
    TXComm c;
    EXPECT_FALSE(c.Opened());
    EXPECT_EQ(c.DeviceName(), "COM2");
    EXPECT_EQ(c.BaudRate(), br9600);
    EXPECT_EQ(c.BaudValue(), 9600u);
    EXPECT_EQ(c.DataControl().DataBits(), db8);
    EXPECT_EQ(c.DataControl().Parity(), paNone);
    EXPECT_EQ(c.DataControl().StopBits(), sb1);
    EXPECT_EQ(c.FlowControl(), fcNone);
    EXPECT_EQ(c.Buffers().InputSize(), 2048);
    EXPECT_EQ(c.Buffers().OutputSize(), 2048);
    EXPECT_EQ(c.Buffers().InputTimeout(), 500);
    EXPECT_EQ(c.Buffers().OutputTimeout(), 500);
    EXPECT_EQ(c.Timeouts().ReadInterval(), 1u);
    EXPECT_EQ(c.Timeouts().ReadMultiplier(), 0u);
    EXPECT_EQ(c.Timeouts().ReadConstant(), 1u);
    EXPECT_EQ(c.Timeouts().WriteMultiplier(), 0u);
    EXPECT_EQ(c.Timeouts().WriteConstant(), 1u);
    EXPECT_EQ(c.EventChars().XonChar(), 17);
    EXPECT_EQ(c.EventChars().XoffChar(), 19);
    EXPECT_EQ(c.EventChars().EofChar(), 0);
    EXPECT_EQ(c.EventChars().ErrorChar(), 0);
    EXPECT_EQ(c.EventChars().EventChar(), 10);
    EXPECT_EQ(c.MonitorEvents(), (TDeviceEvents{deChar, deFlag, deOutEmpty}));
    EXPECT_EQ(c.MonitorEvents().Raw(), 0x0007);
    EXPECT_TRUE(c.RTSSettings().Empty());
    EXPECT_TRUE(c.DTRSettings().Empty());
    EXPECT_TRUE(c.XOnXOffSettings().Empty());
    EXPECT_TRUE(c.Options().Empty());
    EXPECT_TRUE(c.Synchronize());
    EXPECT_EQ(c.DeviceLocks(), (TDeviceLocks{dlSend, dlRead}));
    EXPECT_EQ(&c.Buffers().Comm()->Buffers(), &c.Buffers()) << "group links back to its component";
    EXPECT_EQ(c.DataControl().Comm(), &c);
}

TEST(CommTypes, OrdinalsBitsAndTables)
{
    EXPECT_EQ(static_cast<int>(brCustom), 15);
    EXPECT_EQ(static_cast<int>(br19200), 8);
    EXPECT_EQ(static_cast<int>(db8), 4);
    EXPECT_EQ(static_cast<int>(paSpace), 4);
    EXPECT_EQ(static_cast<int>(sb2), 2);
    EXPECT_EQ(static_cast<int>(fcCustom), 4);
    EXPECT_EQ(static_cast<int>(coLeaveDTROpen), 6);
    EXPECT_EQ(static_cast<int>(deProv2), 12);
    EXPECT_EQ((TCommOptions{coAbortOnError, coLeaveDTROpen}).Raw(), 0x41);
    EXPECT_EQ((TDeviceEvents{deRing, deProv2}).Raw(), 0x1100);
    EXPECT_EQ((TRTSSettings{fsRTSHandshake}).Raw(), 0x04);
    const std::uint32_t expected[15] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(BaudValues[i], expected[i]) << i;

    TDeviceEvents s{deChar};
    s.Include(deCTS).Exclude(deChar);
    EXPECT_TRUE(s.Contains(deCTS));
    EXPECT_FALSE(s.Contains(deChar));
    EXPECT_EQ((TDeviceEvents{deChar, deFlag} * TDeviceEvents{deFlag, deCTS}), TDeviceEvents{deFlag});
    EXPECT_EQ((TDeviceEvents{deChar, deFlag} - TDeviceEvents{deFlag}), TDeviceEvents{deChar});
}

TEST(CommLineSpeed, BaudRateAndCustomValue)
{
    TXComm c;
    c.SetBaudRate(br19200);
    EXPECT_EQ(c.BaudValue(), 19200u);
    EXPECT_EQ(c.BaudRate(), br19200);

    // A custom speed is ignored until brCustom is chosen.
    c.SetBaudValue(31250);
    EXPECT_EQ(c.BaudValue(), 19200u);

    c.SetBaudRate(brCustom);
    EXPECT_EQ(c.BaudValue(), 19200u) << "brCustom keeps the previous value";
    c.SetBaudValue(31250);
    EXPECT_EQ(c.BaudValue(), 31250u);
    EXPECT_EQ(c.BaudRate(), brCustom);

    c.SetBaudRate(br115200);
    EXPECT_EQ(c.BaudValue(), 115200u);

    TXComm d;
    d.SetBaudRate(brCustom);
    EXPECT_EQ(d.BaudValue(), 9600u);
    d.SetBaudRate(static_cast<TBaudRate>(99)); // out of range: ignored, never indexes past the table
    EXPECT_EQ(d.BaudRate(), brCustom);
    EXPECT_EQ(d.BaudValue(), 9600u);
}

TEST(CommLineSettings, RecordForTheProgramsLayout)
{
    TXComm c;
    c.SetBaudRate(br19200);
    const DCB d = BuildLineSettings(c.StoredLineSettings());
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_EQ(DcbFlags(d), 0x0001u);
    EXPECT_EQ(d.XonLim, 512);
    EXPECT_EQ(d.XoffLim, 512);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, 0);
    EXPECT_EQ(d.StopBits, 0);
    EXPECT_EQ(d.XonChar, 17);
    EXPECT_EQ(d.XoffChar, 19);
    EXPECT_EQ(d.ErrorChar, 0);
    EXPECT_EQ(d.EofChar, 0);
    EXPECT_EQ(d.EvtChar, 10);
    EXPECT_EQ(d.wReserved, 0);
    EXPECT_EQ(d.wReserved1, 0);
    // The bit fields and the flag word are the same storage.
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fOutxCtsFlow, 0u);
}

TEST(CommLineSettings, EveryFlagBitAndField)
{
    TLineSettings s;
    s.BaudValue = 31250;
    s.InputSize = 1000;
    s.DataBits = db7;
    s.Parity = paMark;
    s.StopBits = sb2;
    s.XonChar = 1;
    s.XoffChar = 2;
    s.ErrorChar = 3;
    s.EofChar = 4;
    s.EventChar = 5;
    DCB d = BuildLineSettings(s);
    EXPECT_EQ(d.XonLim, 250);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.Parity, 3);
    EXPECT_EQ(d.StopBits, 2);
    EXPECT_EQ(d.ErrorChar, 3);
    EXPECT_EQ(d.EofChar, 4);
    EXPECT_EQ(d.EvtChar, 5);

    struct Bit {
        TLineSettings s;
        DWORD flag;
    };
    auto with = [](auto set) {
        TLineSettings s;
        set(s);
        return s;
    };
    const Bit bits[] = {
        {with([](TLineSettings &s) { s.Options = {coParityCheck}; }), 0x0002},
        {with([](TLineSettings &s) { s.RTS = {fsCTSOut}; }), 0x0004},
        {with([](TLineSettings &s) { s.DTR = {fsDSROut}; }), 0x0008},
        {with([](TLineSettings &s) { s.DTR = {fsDTREnabled}; }), 0x0010},
        {with([](TLineSettings &s) { s.DTR = {fsDTRHandshake}; }), 0x0020},
        {with([](TLineSettings &s) { s.Options = {coLeaveDTROpen}; }), 0x0010},
        {with([](TLineSettings &s) { s.Options = {coDSRSensitivity}; }), 0x0040},
        {with([](TLineSettings &s) { s.Options = {coTXContinueOnXOff}; }), 0x0080},
        {with([](TLineSettings &s) { s.XOnXOff = {fsOutX}; }), 0x0100},
        {with([](TLineSettings &s) { s.XOnXOff = {fsInX}; }), 0x0200},
        {with([](TLineSettings &s) { s.Options = {coErrorChar}; }), 0x0400},
        {with([](TLineSettings &s) { s.Options = {coDiscardNull}; }), 0x0800},
        {with([](TLineSettings &s) { s.RTS = {fsRTSEnabled}; }), 0x1000},
        {with([](TLineSettings &s) { s.RTS = {fsRTSHandshake}; }), 0x2000},
        {with([](TLineSettings &s) { s.Options = {coAbortOnError}; }), 0x4000},
    };
    for (const Bit &b : bits)
        EXPECT_EQ(DcbFlags(BuildLineSettings(b.s)), 0x0001u | b.flag) << std::hex << b.flag;
    TLineSettings toggle;
    toggle.RTS = {fsRTSEnabled, fsRTSHandshake};
    EXPECT_EQ(BuildLineSettings(toggle).fRtsControl, 3u) << "enabled + handshake is toggle mode";
}

TEST(CommHandshake, DerivedSetsAndFlagWords)
{
    TXComm c;
    c.SetFlowControl(fcRtsCts);
    EXPECT_EQ(c.RTSSettings(), (TRTSSettings{fsCTSOut, fsRTSHandshake}));
    EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled});
    EXPECT_TRUE(c.XOnXOffSettings().Empty());
    EXPECT_EQ(FlagsOf(c), 0x2015u);

    c.SetFlowControl(fcDtrDsr);
    EXPECT_EQ(c.DTRSettings(), (TDTRSettings{fsDSROut, fsDTREnabled}));
    EXPECT_EQ(c.RTSSettings(), TRTSSettings{fsRTSEnabled});
    EXPECT_EQ(FlagsOf(c), 0x1019u);

    c.SetFlowControl(fcSoftware);
    EXPECT_EQ(c.XOnXOffSettings(), (TXOnXOffSettings{fsInX, fsOutX}));
    EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled});
    EXPECT_TRUE(c.RTSSettings().Empty());
    EXPECT_EQ(FlagsOf(c), 0x0311u);

    c.SetFlowControl(fcNone);
    EXPECT_TRUE(c.RTSSettings().Empty());
    EXPECT_TRUE(c.DTRSettings().Empty());
    EXPECT_TRUE(c.XOnXOffSettings().Empty());
    EXPECT_EQ(FlagsOf(c), 0x0001u);
}

TEST(CommHandshake, CustomSetsOnlyUnderCustomFlow)
{
    TXComm c;
    c.SetRTSSettings({fsRTSEnabled});
    c.SetDTRSettings({fsDTREnabled});
    c.SetXOnXOffSettings({fsInX});
    EXPECT_TRUE(c.RTSSettings().Empty()) << "ignored without fcCustom";
    EXPECT_TRUE(c.DTRSettings().Empty());
    EXPECT_TRUE(c.XOnXOffSettings().Empty());

    c.SetFlowControl(fcRtsCts);
    c.SetFlowControl(fcCustom);
    EXPECT_EQ(c.RTSSettings(), (TRTSSettings{fsCTSOut, fsRTSHandshake})) << "fcCustom keeps the sets";
    c.SetRTSSettings({});
    EXPECT_TRUE(c.RTSSettings().Empty());
    c.SetXOnXOffSettings({fsOutX});
    EXPECT_EQ(c.XOnXOffSettings(), TXOnXOffSettings{fsOutX});
    EXPECT_EQ(FlagsOf(c), 0x0001u | 0x0010u | 0x0100u);
}

TEST(CommHandshake, DtrRules)
{
    {
        TXComm c;
        c.SetFlowControl(fcCustom);
        c.SetDTRSettings({fsDTREnabled, fsDTRHandshake});
        EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTRHandshake}) << "handshake wins over nothing stored";
        c.SetDTRSettings({fsDTREnabled, fsDTRHandshake});
        EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled}) << "enabled wins when handshake is stored";
        c.SetDTRSettings({fsDSROut});
        EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDSROut});
    }
    {
        TXComm c;
        c.SetOptions({coLeaveDTROpen});
        c.SetFlowControl(fcCustom);
        c.SetDTRSettings({fsDTREnabled, fsDTRHandshake});
        EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled});
        c.SetDTRSettings({fsDTRHandshake});
        EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled}) << "leave-DTR-open forces enabled";
    }
}

TEST(CommOptions, ClosedWritesRederiveTheSets)
{
    TXComm c;
    c.SetFlowControl(fcRtsCts);
    c.SetOptions({coLeaveDTROpen, coParityCheck});
    EXPECT_EQ(c.Options(), (TCommOptions{coLeaveDTROpen, coParityCheck}));
    EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled});
    EXPECT_EQ(FlagsOf(c), 0x2015u | 0x0002u);

    TXComm n;
    n.SetOptions({coLeaveDTROpen});
    EXPECT_EQ(n.DTRSettings(), TDTRSettings{fsDTREnabled}) << "fcNone plus leave-DTR-open";
    n.SetOptions({});
    EXPECT_TRUE(n.DTRSettings().Empty());
}

TEST(CommOptions, ClosedCustomFlowKeepsItsSets)
{
    // Our choice: an Options write does not throw away a closed custom layout.
    TXComm c;
    c.SetFlowControl(fcCustom);
    c.SetRTSSettings({fsRTSEnabled});
    c.SetXOnXOffSettings({fsInX, fsOutX});
    c.SetDTRSettings({fsDTRHandshake});
    c.SetOptions({coAbortOnError});
    EXPECT_EQ(c.RTSSettings(), TRTSSettings{fsRTSEnabled});
    EXPECT_EQ(c.XOnXOffSettings(), (TXOnXOffSettings{fsInX, fsOutX}));
    EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTRHandshake});
    c.SetOptions({coLeaveDTROpen});
    EXPECT_EQ(c.DTRSettings(), TDTRSettings{fsDTREnabled}) << "leave-DTR-open still holds DTR";
    EXPECT_EQ(c.RTSSettings(), TRTSSettings{fsRTSEnabled});
}

TEST(CommQueues, SizesAreClampedToThePlatformLimit)
{
    EXPECT_EQ(QueueSizeLimit(), 4096) << "NT-family 4+ and Linux report 4096";
    TXComm c;
    c.Buffers().SetInputSize(100);
    EXPECT_EQ(c.Buffers().InputSize(), 128);
    c.Buffers().SetInputSize(60000);
    EXPECT_EQ(c.Buffers().InputSize(), 4096);
    c.Buffers().SetOutputSize(0);
    EXPECT_EQ(c.Buffers().OutputSize(), 128);
    c.Buffers().SetOutputSize(65535);
    EXPECT_EQ(c.Buffers().OutputSize(), 4096);
    c.Buffers().SetInputSize(1000);
    EXPECT_EQ(BuildLineSettings(c.StoredLineSettings()).XonLim, 250) << "XON/XOFF limits follow InputSize";
}

TEST(CommGroups, CopyReadsTheSourceAndSkipsClamping)
{
    TXComm a, b;
    a.DataControl().SetDataBits(db7);
    a.DataControl().SetParity(paEven);
    a.DataControl().SetStopBits(sb2);
    b.SetDataControl(a.DataControl());
    EXPECT_EQ(b.DataControl().DataBits(), db7);
    EXPECT_EQ(b.DataControl().Parity(), paEven);
    EXPECT_EQ(b.DataControl().StopBits(), sb2);
    EXPECT_NE(&b.DataControl(), &a.DataControl()) << "copied, not shared";

    a.Buffers().SetInputSize(256);
    a.Buffers().SetOutputTimeout(42);
    a.Buffers().SetInputTimeout(7);
    b.SetBuffers(a.Buffers());
    EXPECT_EQ(b.Buffers().InputSize(), 256);
    EXPECT_EQ(b.Buffers().OutputTimeout(), 42);
    EXPECT_EQ(b.Buffers().InputTimeout(), 7);

    a.EventChars().SetEventChar('\r');
    a.EventChars().SetXonChar('A');
    b.SetEventChars(a.EventChars());
    EXPECT_EQ(b.EventChars().EventChar(), '\r');
    EXPECT_EQ(b.EventChars().XonChar(), 'A');

    a.Timeouts().SetReadConstant(77);
    a.Timeouts().SetWriteMultiplier(3);
    b.SetTimeouts(a.Timeouts());
    EXPECT_EQ(b.Timeouts().ReadConstant(), 77u);
    EXPECT_EQ(b.Timeouts().WriteMultiplier(), 3u);

    b.SetBuffers(b.Buffers()); // its own group: nothing happens
    EXPECT_EQ(b.Buffers().InputSize(), 256);
}

TEST(CommGroups, CopyFromAnotherClassOrNothingRaisesTheConversionError)
{
    TXComm a;
    try {
        a.DataControl().Assign(&a.Buffers());
        FAIL() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TCommBuffers to a TCommDataControl");
    }
    try {
        a.Timeouts().Assign(nullptr);
        FAIL() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TCommTimeoutsEx");
    }
    try {
        a.EventChars().Assign(&a.Timeouts());
        FAIL() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TCommTimeoutsEx to a TCommEventChars");
    }
}

TEST(CommGroups, DeviceNameOnlyWhileClosed)
{
    TXComm c;
    c.SetDeviceName("COM7");
    EXPECT_EQ(c.DeviceName(), "COM7");
    c.SetDeviceName("com7");
    EXPECT_EQ(c.DeviceName(), "com7") << "case-sensitive comparison";
}

TEST(CommLayout, LoadingPropertyByPropertyLosesCustomRtsAndDtr)
{
    // A stored fcCustom layout arrives in published order: RTS and DTR come
    // before FlowControl and are ignored then; XON/XOFF comes after and stays.
    TXComm c;
    c.SetBaudRate(br19200);
    c.SetRTSSettings({fsRTSEnabled});
    c.SetDTRSettings({fsDTREnabled});
    c.SetFlowControl(fcCustom);
    c.SetOptions({});
    c.SetXOnXOffSettings({fsOutX});
    EXPECT_TRUE(c.RTSSettings().Empty());
    EXPECT_TRUE(c.DTRSettings().Empty());
    EXPECT_EQ(c.XOnXOffSettings(), TXOnXOffSettings{fsOutX});
}
