// The system DLLs that only a click needs are bound at their first call: the
// call must reach the real function and return its own answer.
#include "LateBound.h"

#include <shellapi.h>

#include <gtest/gtest.h>

TEST(LateBound, EachCallReachesItsDllsFunctionAndGetsItsAnswer)
{
    const auto shell = reinterpret_cast<INT_PTR>(
        LateShellExecuteA(nullptr, "open", "Z:\\no\\such\\folder\\vexo-none.txt", nullptr, nullptr, SW_HIDE));
    EXPECT_LE(shell, 32) << "a file that is not there cannot be opened";
    EXPECT_NE(shell, SE_ERR_DLLNOTFOUND) << "shell32 was not bound";
    EXPECT_NE(GetModuleHandleW(L"shell32.dll"), nullptr);

    OPENFILENAMEW ofn{}; // lStructSize 0: refused before any dialog shows
    EXPECT_FALSE(LateGetSaveFileNameW(&ofn));
    EXPECT_FALSE(LateGetOpenFileNameW(&ofn));
    EXPECT_NE(GetModuleHandleW(L"comdlg32.dll"), nullptr) << "comdlg32 was not bound";
}
