// Captures the four windows as they appear on the screen, for review:
// win32_screenshots <out-dir> writes splash.bmp, main.bmp, help.bmp and
// about.bmp (the screenshots-win target turns them into PNG files).
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "Commands.h"
#include "HelpAbout.h"
#include "MainWindow.h"
#include "SetupWindow.h"
#include "Splash.h"
#include "pAT_Vexo.h"

namespace {

std::wstring gOut;

void Pump(const std::function<bool()> &done)
{
    const DWORD end = GetTickCount() + 5000;
    MSG msg;
    while (!done() && GetTickCount() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// The window's screen area, drawn at once, as a 24-bit BMP.
bool Capture(HWND window, const wchar_t *name)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    GdiFlush();
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u), size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader)};
    const std::wstring path = gOut + L"\\" + name + L".bmp";
    FILE *f = _wfopen(path.c_str(), L"wb");
    bool ok = f != nullptr;
    if (f) {
        ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             fwrite(bits, size, 1, f) == 1;
        fclose(f);
    }
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

// Captures a modal window from inside its loop once its start timer has run.
struct TModalShot {
    static inline std::function<HWND()> find;
    static inline const wchar_t *name = nullptr;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        HWND w = find();
        if (!w)
            return;
        KillTimer(nullptr, id);
        Capture(w, name);
        PostMessageW(w, WM_CLOSE, 0, 0);
    }
};

} // namespace

int wmain(int argc, wchar_t **argv)
{
    gOut = argc > 1 ? argv[1] : L".";
    DeclareDpiAware();
    RegisterWidgetClasses();
    bool ok = true;
    {
        TSplashForm splash;
        splash.ShowAndPaint();
        ok &= Capture(splash.Handle(), L"splash");
    }
    TfAT_Vexo main;
    if (!main.Create(false))
        return 1;
    ShowWindow(main.Handle(), SW_SHOWNORMAL);
    Pump([&] {
        RECT r;
        GetWindowRect(main.Handle(), &r);
        return r.left == 0 && r.top == 0;
    });
    // a line of each colour, from the catalogue
    for (int kind = 1; kind <= 3; ++kind)
        main.Engine().AddToLog(kind, std::string(Catalogue[kind].title) + " -> " + std::string(Catalogue[kind].command));
    const TLabelLook left = SetupWindowLook(28000); // the set-up window's time left
    main.SetLabel("lSetupWindow", left.text, left.colour);
    ok &= Capture(main.Handle(), L"main");

    TModalShot::find = [] { return fHelpATVexo && fHelpATVexo->StartTimerFired() ? fHelpATVexo->Handle() : nullptr; };
    TModalShot::name = L"help";
    SetTimer(nullptr, 0, 20, &TModalShot::Tick);
    main.ShowHelpForm();
    TModalShot::find = [] { return AboutForm && AboutForm->StartTimerFired() ? AboutForm->Handle() : nullptr; };
    TModalShot::name = L"about";
    SetTimer(nullptr, 0, 20, &TModalShot::Tick);
    main.ShowAboutForm();
    std::printf("%s\n", ok ? "captured" : "capture failed");
    return ok ? 0 : 1;
}
