// The Windows enumeration and monitor under Wine, on the test display: what Wine lists (its
// SERIALCOMM map and whatever SetupAPI has), and real WM_DEVICECHANGE
// messages posted to the monitor's window, debounced into one change.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PortInfo.h"
#include "PortMonitor.h"

namespace {

// Serves this thread's messages until `done` holds or `ms` pass.
template <typename F>
bool Serve(F done, DWORD ms = 5000)
{
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done() && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - GetTickCount64()), QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    return done();
}

TEST(PortInfoWin, EveryListedPortHasItsComNameAndDevice)
{
    const auto ports = ListPortInfo();
    int last = 0;
    for (const TPortInfo &p : ports) {
        std::printf("  %s %s kind %d product \"%s\"\n", p.name.c_str(), p.device.c_str(), int(p.kind), p.product.c_str());
        ASSERT_EQ(p.name.rfind("COM", 0), 0u) << p.name;
        EXPECT_EQ(p.device, "\\\\.\\" + p.name);
        const int n = std::atoi(p.name.c_str() + 3);
        EXPECT_GT(n, last) << "in number order, each once";
        last = n;
    }
}

TEST(PortMonitorWin, DeviceChangeMessagesAreOneDebouncedChange)
{
    int changes = 0;
    TPortMonitorOptions o;
    o.quietMs = 50;
    TPortMonitor monitor([&] { ++changes; }, o);
    EXPECT_EQ(monitor.Sources(), "devicechange");
    HWND window = FindWindowW(L"AT_Vexo.PortMonitor", nullptr);
    ASSERT_NE(window, nullptr);
    // The notices with a structure (arrival, removal) may only be sent, not posted.
    DEV_BROADCAST_DEVICEINTERFACE_W port{};
    port.dbcc_size = sizeof port;
    port.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    const LPARAM about = reinterpret_cast<LPARAM>(&port);
    ASSERT_TRUE(PostMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, about);
    ASSERT_TRUE(PostMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    ASSERT_TRUE(Serve([&] { return changes > 0; }));
    EXPECT_EQ(changes, 1);
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, about);
    ASSERT_TRUE(Serve([&] { return changes > 1; }));
    EXPECT_EQ(changes, 2);
    // A reminder is a change without a notice.
    monitor.Remind(10);
    ASSERT_TRUE(Serve([&] { return changes > 2; }));
}

} // namespace

// ---------------------------------------------------------------- the program's port box

#include "MainWindowTest.h"

namespace {

std::vector<std::string> BoxItems(HWND box)
{
    std::vector<std::string> items;
    for (LRESULT i = 0; i < SendMessageW(box, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t item[128] = {};
        SendMessageW(box, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item));
        items.push_back(Utf8(item));
    }
    return items;
}

TEST(PortBoxWin, TheDropDownShowsTheNotesTheBoxKeepsTheBareNameTheHintNamesTheAdapter)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND box = m["cbRSname"];
    m.form.ClearPortList();
    m.form.AddPortItem("COM1");
    m.form.AddPortItem("COM6");
    m.form.SetPortItemNote("COM6", "USB: FT232R USB UART");
    m.form.SetText("cbRSname", "COM3");
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    EXPECT_EQ(BoxItems(box), (std::vector<std::string>{"COM1", "COM6  USB: FT232R USB UART"})) << "while it is down";
    EXPECT_EQ(WindowText(box), "COM3");
    SendMessageW(box, CB_SETCURSEL, 1, 0); // the operator picks COM6
    SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(BoxItems(box), (std::vector<std::string>{"COM1", "COM6"}));
    EXPECT_EQ(WindowText(box), "COM6") << "the bare name";
    m.form.SetHint("cbRSname", "COM6: FT232R USB UART (FTDI, 0403:6001, № A50285BI)");
    EXPECT_EQ(m.form.PortBoxHint(), "COM6: FT232R USB UART (FTDI, 0403:6001, № A50285BI)");
    m.form.SetHint("cbRSname", "");
    EXPECT_EQ(m.form.PortBoxHint(), "") << "replaced, not added beside";
}

} // namespace
