// Helpers for driving the real windows in-process.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>
#include <functional>
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "FormWindow.h"
#include "WinText.h"

// Handles messages until `done` or `timeoutMs`; true if done came.
inline bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (PreTranslateFormMessage(msg)) // the keyboard, as the program's loops handle it
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    return true;
}

// Runs `step` from inside whatever modal loop is running, as soon as
// `ready` holds (polled by a thread timer every 5 ms); once.
class TWhenReady {
public:
    TWhenReady(std::function<bool()> ready, std::function<void()> step)
        : FReady(std::move(ready)), FStep(std::move(step))
    {
        All().push_back(this);
        if (All().size() == 1)
            Timer() = SetTimer(nullptr, 0, 5, &Tick);
    }
    ~TWhenReady()
    {
        auto &all = All();
        all.erase(std::remove(all.begin(), all.end(), this), all.end());
        if (all.empty())
            KillTimer(nullptr, Timer());
    }
    bool Ran() const { return FRan; }

private:
    static std::vector<TWhenReady *> &All()
    {
        static std::vector<TWhenReady *> all;
        return all;
    }
    static UINT_PTR &Timer()
    {
        static UINT_PTR timer = 0;
        return timer;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        const auto all = All(); // a step may open a nested loop
        for (TWhenReady *self : all) {
            if (std::find(All().begin(), All().end(), self) == All().end())
                continue;
            if (self->FRan || self->FBusy || !self->FReady())
                continue;
            self->FBusy = true;
            self->FRan = true;
            self->FStep();
            self->FBusy = false;
        }
    }
    std::function<bool()> FReady;
    std::function<void()> FStep;
    bool FRan = false, FBusy = false;
};

// Running under Wine (which differs from Windows in a few places the tests
// name and skip).
inline bool IsWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// A child's place in its parent's client area, and its size.
inline RECT PlaceInParent(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

inline std::string ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Utf8(name);
}

// Key press and release as the keyboard would deliver them to `window`.
inline void PressKey(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, (1u << 30) | (1u << 31) | 1);
}

// A caption, the client area `width` x `height`, a resizable frame with the
// system menu and close button only.
inline void ExpectSizableWindow(HWND w, const std::string &caption, LONG width, LONG height)
{
    EXPECT_EQ(WindowText(w), caption);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}
