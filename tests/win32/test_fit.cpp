// The windows in the monitor's work area. On any screen: the main window's
// frame lies in the work area, its client height is the forms' rule's, and
// against the same window at its design height only the log (and the panels
// it fills) is shorter; the same after a DPI change (to 144 DPI from 96 and
// back, or the other way); the help and about
// windows keep their title bar and close or OK button in the area. Run on the
// test display (1280 x 1024, nothing to shorten) and on short screens by
// dpi.sh, where VEXO_SHORT_SCREEN=1 says the log must be shorter. And at 96
// and 144 DPI: the set-up window's time left reads in two lines of its label.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>

#include "HelpAbout.h"
#include "MainWindowTest.h"
#include "SetupWindow.h"

namespace {

bool ShortScreen()
{
    const char *v = std::getenv("VEXO_SHORT_SCREEN");
    return v && *v == '1';
}

RECT WorkArea(HWND window)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

bool Inside(const RECT &inner, const RECT &outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

struct TFrame {
    RECT outer, client;
    int Frame() const { return (outer.bottom - outer.top) - client.bottom; }
};

TFrame FrameOf(HWND window)
{
    TFrame f{};
    GetWindowRect(window, &f.outer);
    GetClientRect(window, &f.client);
    return f;
}

// Every control of the main window in its client coordinates.
std::map<std::string, RECT> Places(const TfAT_Vexo &form)
{
    std::map<std::string, RECT> places;
    for (const forms::TControl &row : form.Form().controls)
        if (HWND h = form.Control(row.name)) {
            RECT r;
            GetWindowRect(h, &r);
            MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT *>(&r), 2);
            places[std::string(row.name)] = r;
        }
    return places;
}

// The window fits with the rule's client height, or, where even its least
// does not fit, keeps its top in the area (the platform may cut it to the
// screen's height); made taller, only the log would be taller.
void ExpectFittedOnlyTheLogShorter(TfAT_Vexo &form)
{
    HWND w = form.Handle();
    const RECT work = WorkArea(w);
    const TFrame now = FrameOf(w);
    const auto fit = forms::FitClientHeight(forms::MainForm, now.Frame(), work.bottom - work.top, form.Dpi());
    EXPECT_EQ(now.client.right, form.Scaled(forms::MainForm.clientWidth));
    if (fit.minClientHeight + now.Frame() <= work.bottom - work.top) {
        EXPECT_EQ(now.client.bottom, fit.clientHeight);
        EXPECT_TRUE(Inside(now.outer, work)) << now.outer.top << ".." << now.outer.bottom << " in " << work.top
                                             << ".." << work.bottom;
    } else {
        EXPECT_LE(now.client.bottom, fit.clientHeight);
        EXPECT_EQ(now.outer.top, work.top) << "the title bar in the area";
        EXPECT_GE(now.outer.left, work.left);
    }
    const int design = form.Scaled(forms::MainForm.clientHeight);
    if (design + now.Frame() > work.bottom - work.top)
        EXPECT_LT(now.client.bottom, design) << "a short screen shortens the log";
    else
        EXPECT_EQ(now.client.bottom, design) << "room enough: the design's height";

    const auto shown = Places(form);
    SetWindowPos(w, nullptr, 0, 0, now.outer.right - now.outer.left, design + now.Frame(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int lost = FrameOf(w).client.bottom - now.client.bottom; // the platform keeps it within the screen
    const auto tall = Places(form);
    ASSERT_EQ(shown.size(), tall.size());
    const std::set<std::string> shortened{"Panel1", "Panel3", "reWin"};
    for (const auto &[name, r] : tall) {
        SCOPED_TRACE(name);
        const RECT s = shown.at(name);
        EXPECT_EQ(s.left, r.left);
        EXPECT_EQ(s.top, r.top);
        EXPECT_EQ(s.right, r.right);
        EXPECT_EQ(s.bottom, r.bottom - (shortened.count(name) ? lost : 0));
    }
    // back as it was
    SetWindowPos(w, nullptr, now.outer.left, now.outer.top, now.outer.right - now.outer.left,
                 now.outer.bottom - now.outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

TEST(ScreenFit, MainWindowFitsTheWorkAreaAndOnlyTheLogIsShorter)
{
    TWorkFolder folder;
    TShownMain m; // after its start timer: in the work area's corner
    ASSERT_TRUE(m.ok);
    const RECT work = WorkArea(m.form.Handle());
    const TFrame f = FrameOf(m.form.Handle());
    EXPECT_EQ(f.outer.left, work.left);
    EXPECT_EQ(f.outer.top, work.top);
    if (ShortScreen()) {
        EXPECT_GT(m.form.Scaled(forms::MainForm.clientHeight) + f.Frame(), work.bottom - work.top)
            << "the screen is shorter than the design";
    }
    ExpectFittedOnlyTheLogShorter(m.form);
}

TEST(ScreenFit, AfterADpiChangeTheMainWindowFitsAgain)
{
    TWorkFolder folder;
    TShownMain m;
    ASSERT_TRUE(m.ok);
    HWND w = m.form.Handle();
    const int from = m.form.Dpi(), to = from == 96 ? 144 : 96;
    const TFrame before = FrameOf(w);
    for (int dpi : {to, from}) {
        SCOPED_TRACE("to " + std::to_string(dpi) + " DPI");
        RECT suggested = FrameOf(w).outer;
        suggested.right = suggested.left + MulDiv(suggested.right - suggested.left, dpi, m.form.Dpi());
        suggested.bottom = suggested.top + MulDiv(suggested.bottom - suggested.top, dpi, m.form.Dpi());
        SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        ASSERT_EQ(m.form.Dpi(), dpi);
        ExpectFittedOnlyTheLogShorter(m.form);
        EXPECT_EQ(PlaceInParent(m["Panel4"]).bottom - PlaceInParent(m["Panel4"]).top, m.form.Scaled(304));
    }
    const TFrame after = FrameOf(w);
    EXPECT_EQ(after.client.bottom, before.client.bottom) << "back at the first DPI, the first height";
}

TEST(ScreenFit, HelpAndAboutKeepTheirTitleBarAndButtonsInTheWorkArea)
{
    TWorkFolder folder;
    TfAT_Vexo main;
    ASSERT_TRUE(main.Create(false));
    const RECT work = WorkArea(main.Handle());
    {
        TfHelpATVexo help(main.Handle());
        const TFrame f = FrameOf(help.Handle());
        EXPECT_EQ(f.client.right, help.Scaled(forms::HelpForm.clientWidth)) << "fixed";
        EXPECT_GE(f.outer.top, work.top);
        EXPECT_GE(f.outer.left, work.left);
        EXPECT_LE(f.outer.right, work.right) << "the close button's corner";
        if (ShortScreen()) {
            EXPECT_GT(f.outer.bottom, work.bottom) << "taller than the area";
            EXPECT_EQ(f.outer.top, work.top);
        }
    }
    TAboutForm about(main.Handle());
    EXPECT_TRUE(Inside(FrameOf(about.Handle()).outer, work));
    RECT ok;
    GetWindowRect(about.Control("OKButton"), &ok);
    EXPECT_TRUE(Inside(ok, work));
}

// Each line the engine writes fits the label's width unbroken, and all of
// it the label's two lines, measured with the label's own font.
TEST(Forms, SetUpWindowTimeLeftReadsInTwoLinesOfItsLabel)
{
    TWorkFolder folder;
    TfAT_Vexo main;
    ASSERT_TRUE(main.Create(false));
    HWND label = main.Control("lSetupWindow");
    ASSERT_NE(label, nullptr);
    RECT room;
    GetClientRect(label, &room);
    const forms::TControl *row = forms::Find(forms::MainForm, "lSetupWindow");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(room.right, main.Scaled(row->left + row->width) - main.Scaled(row->left)) << "the table's width, scaled";
    for (std::int64_t left : {30000, 28000, 9000, 5000, 1, 0}) {
        const TLabelLook look = SetupWindowLook(left);
        SCOPED_TRACE(look.text);
        main.SetLabel("lSetupWindow", look.text, look.colour);
        const std::wstring text = Wide(WindowText(label));
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        int lines = 0;
        for (size_t start = 0; start <= text.size();) {
            size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos)
                end = text.size();
            SIZE extent{};
            GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(end - start), &extent);
            if (left > 0) {
                EXPECT_LE(extent.cx, room.right) << "line " << lines << " unbroken";
            }
            ++lines;
            start = end + 2;
        }
        EXPECT_LE(lines, 2);
        RECT wrapped{0, 0, room.right, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        EXPECT_LE(wrapped.bottom, 2 * tm.tmHeight) << "two lines";
        EXPECT_LE(wrapped.bottom, room.bottom);
    }
}
