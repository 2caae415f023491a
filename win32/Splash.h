// The splash window: borderless, centred, painted at once, laid out for
// 120 DPI and scaled to the screen's.
#pragma once

#include <windows.h>

#include "FormWindow.h"

class TSplashForm final : public TFormWindow {
public:
    explicit TSplashForm(int dpi = 0); // 0: the screen's
    void ShowAndPaint();
};
