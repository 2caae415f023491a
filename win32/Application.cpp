#include "Application.h"

#include "ErrorText.h"
#include "Pictures.h"
#include "Widgets.h"
#include "WinText.h"

namespace {
constexpr wchar_t kClass[] = L"TApplication";
}

TApplicationWindow::TApplicationWindow()
{
    RegisterFormClass(kClass, Proc);
    // shown but of no size: only its task-bar button is seen
    FWindow = CreateWindowExW(0, kClass, Wide(AppTitle()).c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (FWindow) {
        SetWindowPos(FWindow, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

TApplicationWindow::~TApplicationWindow()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
}

LRESULT CALLBACK TApplicationWindow::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams));
    auto *self = reinterpret_cast<TApplicationWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (msg) {
    case WM_ACTIVATE:
        // the task-bar button brings the main window (or its open box) forward
        if (LOWORD(wp) != WA_INACTIVE && self && self->FMain && IsWindow(self->FMain)) {
            SetActiveWindow(GetLastActivePopup(self->FMain));
            return 0;
        }
        break;
    case WM_CLOSE:
        // closing from the task bar closes the main window, which ends the program
        if (self && self->FMain && IsWindow(self->FMain))
            PostMessageW(self->FMain, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wp, lp);
}
