// The baseline for the Windows program's start-up and exit under Wine: a
// bare top-level window of the main window's client size with a timer
// running, and nothing else. A click in it closes it the usual way
// (WM_CLOSE -> DestroyWindow -> WM_QUIT), as the program's exit button does.
//   bench_bare_window.exe [title]
#include <windows.h>

namespace {
LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_LBUTTONUP:
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_TIMER:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, msg, wp, lp);
    }
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command, int show)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"BenchBareWindow";
    RegisterClassExW(&wc);
    // the main window's style and client size (720 x 703)
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    RECT outer{0, 0, 720, 703};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    HWND window = CreateWindowExW(0, wc.lpszClassName, command && *command ? command : L"bare window", style, 319,
                                  157, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return 1;
    SetTimer(window, 1, 100, nullptr);
    ShowWindow(window, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
