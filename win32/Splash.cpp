#include "Splash.h"

#include "Pictures.h"
#include "VexoTexts.h"
#include "WinText.h"
#include "Widgets.h"

namespace {
constexpr wchar_t kClass[] = L"TSplashForm";
}

void DeclareDpiAware()
{
    // Windows 10 1703, then 8.1, then Vista
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    using TContextFn = BOOL(WINAPI *)(HANDLE);
    if (auto f = reinterpret_cast<TContextFn>(
            reinterpret_cast<void *>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
        f && f(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)))) // system aware
        return;
    if (HMODULE shcore = LoadLibraryW(L"shcore.dll")) {
        using TAwarenessFn = HRESULT(WINAPI *)(int);
        if (auto f = reinterpret_cast<TAwarenessFn>(
                reinterpret_cast<void *>(GetProcAddress(shcore, "SetProcessDpiAwareness")));
            f && SUCCEEDED(f(1)))
            return;
    }
    SetProcessDPIAware();
}

int ScreenDpi()
{
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

int TSplashForm::Scaled(int designPixels, int dpi)
{
    return MulDiv(designPixels, dpi, kDesignDpi);
}

// Edges are scaled, not sizes, so neighbouring parts stay flush.
RECT TSplashForm::ScaledRect(int left, int top, int width, int height) const
{
    return {Scaled(left, FDpi), Scaled(top, FDpi), Scaled(left + width, FDpi), Scaled(top + height, FDpi)};
}

TSplashForm::TSplashForm(int dpi)
    : FDpi(dpi > 0 ? dpi : ScreenDpi())
{
    RegisterFormClass(kClass, Proc);
    FStroke = MakeFont({L"Times New Roman", std::max(1, Scaled(20, FDpi)), false, true, true});
    FText = MakeFont({L"MS Sans Serif", std::max(1, Scaled(14, FDpi)), false, false, false, DEFAULT_CHARSET});
    const RECT r = ScaledRect(0, 0, 230, 106);
    const int w = r.right, h = r.bottom;
    CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                    (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

TSplashForm::~TSplashForm()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    DeleteObject(FStroke);
    DeleteObject(FText);
}

void TSplashForm::ShowAndPaint()
{
    ShowWindow(FWindow, SW_SHOWNOACTIVATE);
    UpdateWindow(FWindow); // no message loop runs yet
}

LRESULT CALLBACK TSplashForm::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *self = FormOf<TSplashForm>(window, msg, lp);
    if (self && msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        self->Paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    if (self && msg == WM_NCDESTROY)
        self->FWindow = nullptr;
    return DefWindowProcW(window, msg, wp, lp);
}

void TSplashForm::Paint(HDC dc) const
{
    RECT panel = ScaledRect(0, 0, 230, 106);
    HBRUSH silver = CreateSolidBrush(RGB(192, 192, 192));
    FillRect(dc, &panel, silver);
    DeleteObject(silver);
    DrawEdge(dc, &panel, EDGE_BUMP, BF_RECT); // lowered inner bevel
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    // Label3: 31 blanks, italic and underlined: only the stroke shows
    HGDIOBJ old = SelectObject(dc, FStroke);
    RECT label3 = ScaledRect(38, 26, 155, 22);
    DrawTextW(dc, std::wstring(31, L' ').c_str(), 31, &label3, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
    RECT bevel = ScaledRect(12, 57, 206, 3);
    DrawEdge(dc, &bevel, BDR_RAISEDINNER, BF_RECT);
    SelectObject(dc, FText);
    RECT label1 = ScaledRect(84, 76, 140, 20);
    const std::wstring text = Wide(vexo_ui::kSplashLabel1);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &label1, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
    SelectObject(dc, old);
}
