// The splash window: borderless, centred, painted at once, laid out for
// 120 DPI and scaled to the screen's.
#pragma once

#include <windows.h>

class TSplashForm {
public:
    static constexpr int kDesignDpi = 120;
    explicit TSplashForm(int dpi = 0); // 0: the screen's
    ~TSplashForm();
    HWND Handle() const { return FWindow; }
    void ShowAndPaint();
    static int Scaled(int designPixels, int dpi);

private:
    template <typename T>
    friend T *FormOf(HWND, UINT, LPARAM);
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC dc) const;
    RECT ScaledRect(int left, int top, int width, int height) const;
    HWND FWindow = nullptr;
    int FDpi;
    HFONT FStroke = nullptr, FText = nullptr;
};

// The process handles DPI itself (system-aware), with fallbacks down to
// Windows 7: the fixed layouts stay in pixels, only the splash scales.
void DeclareDpiAware();
// The DPI of the primary screen.
int ScreenDpi();
