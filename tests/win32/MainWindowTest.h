// A main window for a test: created in a fresh working folder, shown on the
// test display, the log read back line by line with its colours.
#pragma once

#include <windows.h>

#include <richedit.h>

#include <filesystem>
#include <string>
#include <vector>

#include "MainWindow.h"
#include "WinTestUtil.h"

struct TLogLine {
    std::string text;
    COLORREF colour;
};

// The number of lines, read without touching the selection (a changed
// selection repaints, and a pending paint holds the timers back).
inline size_t LogLineCount(HWND log)
{
    GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
    const auto n = static_cast<LONG>(SendMessageW(log, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    if (n == 0)
        return 0;
    std::wstring all(static_cast<size_t>(n) + 1, L'\0');
    TEXTRANGEW range{{0, n}, all.data()};
    SendMessageW(log, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    size_t lines = 1;
    for (LONG i = 0; i < n; ++i)
        lines += all[static_cast<size_t>(i)] == L'\r';
    return lines;
}

// The lines with their colours (moves the selection and back).
inline std::vector<TLogLine> LogLines(HWND log)
{
    std::vector<TLogLine> lines;
    GETTEXTLENGTHEX length{GTL_NUMCHARS, 1200};
    const auto n = static_cast<LONG>(SendMessageW(log, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    std::wstring all(static_cast<size_t>(n) + 1, L'\0');
    TEXTRANGEW range{{0, n}, all.data()};
    SendMessageW(log, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    all.resize(static_cast<size_t>(n));
    CHARRANGE keep;
    SendMessageW(log, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&keep));
    LONG start = 0;
    while (start <= n && n > 0) {
        LONG end = start;
        while (end < n && all[static_cast<size_t>(end)] != L'\r')
            ++end;
        CHARRANGE sel{start, end};
        SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
        CHARFORMAT2W f{};
        f.cbSize = sizeof f;
        SendMessageW(log, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
        lines.push_back({Utf8(all.substr(static_cast<size_t>(start), static_cast<size_t>(end - start))),
                         (f.dwMask & CFM_COLOR) ? f.crTextColor : CLR_INVALID});
        start = end + 1;
    }
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&keep));
    return lines;
}

// A fresh working folder (optionally with Work\) for the settings file.
class TWorkFolder {
public:
    explicit TWorkFolder(bool withWork = true)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        FDir = std::filesystem::path(temp) / ("vexo-win32-" + std::to_string(GetCurrentProcessId()) + "-" +
                                              std::to_string(++Count()));
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(withWork ? FDir / "Work" : FDir);
        FOld = std::filesystem::current_path();
        std::filesystem::current_path(FDir);
    }
    ~TWorkFolder()
    {
        std::filesystem::current_path(FOld);
        std::error_code ec;
        std::filesystem::remove_all(FDir, ec);
    }
    std::filesystem::path Settings() const { return FDir / "Work" / "ATVexo.000"; }

private:
    static int &Count()
    {
        static int n = 0;
        return n;
    }
    std::filesystem::path FDir, FOld;
};

// Message boxes the engine shows, recorded instead of shown.
struct TBoxes {
    std::vector<std::pair<std::string, std::string>> shown; // caption, text
    TBoxes()
    {
        TfAT_Vexo::SetMessageBoxHook(
            [this](HWND, const std::string &caption, const std::string &text) { shown.emplace_back(caption, text); });
    }
    ~TBoxes() { TfAT_Vexo::SetMessageBoxHook(nullptr); }
};

// The main window, shown, after its start timer has run.
struct TShownMain {
    TfAT_Vexo form;
    bool ok = false;
    TShownMain()
    {
        ok = form.Create(false);
        if (!ok)
            return;
        ShowWindow(form.Handle(), SW_SHOWNORMAL);
        UpdateWindow(form.Handle());
        RECT r{};
        ok = PumpUntil([&] {
            GetWindowRect(form.Handle(), &r);
            return r.left == 0 && r.top == 0;
        });
    }
    HWND operator[](const char *name) const { return form.Control(name); }
};

inline void Click(HWND button)
{
    SendMessageW(button, BM_CLICK, 0, 0);
}
