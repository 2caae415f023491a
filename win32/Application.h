// The application's own top-level window: invisible (no size), it carries
// the application title "ПО "AT_Vexo"" as the task-bar button's text and
// owns the main window, which therefore has no button of its own.
#pragma once

#include <windows.h>

class TApplicationWindow {
public:
    TApplicationWindow();
    ~TApplicationWindow();
    HWND Handle() const { return FWindow; }
    // The window that activating the application brings forward.
    void SetMainWindow(HWND main) { FMain = main; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    HWND FWindow = nullptr;
    HWND FMain = nullptr;
};
