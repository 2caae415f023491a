// The port monitor on Windows: a hidden top-level window (message-only
// windows get no broadcasts, and DBT_DEVNODES_CHANGED is one) registered for
// the COM port interface; its WM_DEVICECHANGE notices are debounced with a
// window timer. It lives on the thread that made it, whose message loop
// serves it: nothing runs between notices.
#include "PortMonitor.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <dbt.h>

namespace {

const wchar_t *const ClassName = L"AT_Vexo.PortMonitor";
const GUID ComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr UINT_PTR DebounceTimer = 1;
constexpr UINT_PTR RemindTimer = 2;

LRESULT CALLBACK MonitorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

} // namespace

struct TPortMonitor::State {
    std::function<void()> changed;
    TDebounce debounce;
    HWND window = nullptr;
    HDEVNOTIFY notify = nullptr;

    explicit State(const TPortMonitorOptions &o) : debounce(o.quietMs, o.longestMs) {}

    void Arm(std::int64_t due)
    {
        const std::int64_t wait = due - std::int64_t(GetTickCount64());
        SetTimer(window, DebounceTimer, UINT(wait > 0 ? wait : 1), nullptr);
    }
    void Notice() { Arm(debounce.Notice(std::int64_t(GetTickCount64()))); }
    void Timer()
    {
        KillTimer(window, DebounceTimer);
        if (debounce.Fire(std::int64_t(GetTickCount64()))) {
            if (changed)
                changed();
        } else if (debounce.Pending()) {
            Arm(debounce.DueAt());
        }
    }
};

namespace {

LRESULT CALLBACK MonitorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *s = reinterpret_cast<TPortMonitor::State *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (s && msg == WM_DEVICECHANGE) {
        if (wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE || wp == DBT_DEVNODES_CHANGED)
            s->Notice();
        return TRUE;
    }
    if (s && msg == WM_TIMER && wp == DebounceTimer) {
        s->Timer();
        return 0;
    }
    if (s && msg == WM_TIMER && wp == RemindTimer) {
        KillTimer(hwnd, RemindTimer);
        if (s->changed)
            s->changed();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

TPortMonitor::TPortMonitor(std::function<void()> changed, TPortMonitorOptions options)
    : F(std::make_unique<State>(options))
{
    F->changed = std::move(changed);
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = MonitorProc;
    wc.hInstance = module;
    wc.lpszClassName = ClassName;
    RegisterClassW(&wc); // a second monitor finds the class there already
    F->window = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    if (!F->window)
        return;
    SetWindowLongPtrW(F->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(F.get()));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = ComPortInterface;
    F->notify = RegisterDeviceNotificationW(F->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

TPortMonitor::~TPortMonitor()
{
    if (F->notify)
        UnregisterDeviceNotification(F->notify);
    if (F->window) {
        SetWindowLongPtrW(F->window, GWLP_USERDATA, 0);
        DestroyWindow(F->window);
    }
}

void TPortMonitor::Remind(int ms)
{
    if (F->window)
        SetTimer(F->window, RemindTimer, UINT(ms > 0 ? ms : 1), nullptr);
}

std::string TPortMonitor::Sources() const { return F->window ? "devicechange" : ""; }
