// The Windows enumeration and monitor under Wine, on the test display: what Wine lists (its
// SERIALCOMM map and whatever SetupAPI has), and real WM_DEVICECHANGE
// messages posted to the monitor's window, debounced into one change.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <cstdio>

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
