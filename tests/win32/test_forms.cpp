// Every window against its form table: each row's control exists in the
// real window by its name, with the row's kind, place, size, text, hint,
// font, colours and state, scaled by the window's DPI; every control lies
// inside its parent and every caption fits its control. Run at 96 DPI and,
// in a prefix of its own, at 144 DPI (VEXO_DPI names the DPI expected).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "HelpAbout.h"
#include "MainWindowTest.h"
#include "Splash.h"

using forms::TAlign;
using forms::TControl;
using forms::TKind;

namespace {

std::string RichText(HWND view)
{
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto n = SendMessageW(view, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(view, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return Utf8(text);
}

std::string WithoutLineFeeds(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != '\n')
            out += c;
    return out;
}

// The row's font by the table's rule: an empty face is the parent's.
const forms::TFont &TableFont(const forms::TForm &form, const TControl *row)
{
    for (const TControl *r = row; r; r = forms::Find(form, r->parent))
        if (!r->font.face.empty())
            return r->font;
    return form.font;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r')
            lines.back() += c;
    }
    return lines;
}

int ExpectedDpi()
{
    const char *dpi = std::getenv("VEXO_DPI");
    return dpi ? std::atoi(dpi) : 0;
}

// The table's places are at the design DPI; aligned controls and scaled
// sums may round one pixel apart from a scaled single value.
void ExpectNear(const TFormWindow &w, long actual, int design, const char *what)
{
    const long slack = w.Dpi() == w.Form().designDpi ? 0 : 1;
    EXPECT_LE(std::abs(actual - w.Scaled(design)), slack) << what;
}

void CheckToolBar(const TFormWindow &w, const TControl &bar)
{
    HWND h = w.Control(bar.name);
    int index = 0;
    long left = 0;
    for (const TControl &row : w.Form().controls) {
        if (row.parent != bar.name || (row.kind != TKind::ToolButton && row.kind != TKind::Separator))
            continue; // a label on the toolbar is a window of its own
        SCOPED_TRACE(std::string(row.name));
        RECT r{};
        ASSERT_TRUE(SendMessageW(h, TB_GETITEMRECT, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&r)));
        EXPECT_EQ(r.left, left);
        EXPECT_EQ(r.right - r.left, w.Scaled(row.width));
        left = r.right;
        if (row.kind != TKind::ToolButton)
            continue;
        NMTTDISPINFOW info{};
        info.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(h, TB_GETTOOLTIPS, 0, 0));
        info.hdr.idFrom = static_cast<UINT_PTR>(w.CommandId(row.name));
        info.hdr.code = TTN_GETDISPINFOW;
        SendMessageW(w.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.lpszText ? Utf8(info.lpszText) : std::string(), row.hint);
    }
    EXPECT_EQ(SendMessageW(h, TB_BUTTONCOUNT, 0, 0), index);
}

void CheckRow(const TFormWindow &w, const TControl &row)
{
    SCOPED_TRACE(std::string(row.name));
    if (row.kind == TKind::ToolButton || row.kind == TKind::Separator || row.kind == TKind::Timer ||
        row.kind == TKind::Key)
        return; // rows of their toolbar; timers; keys
    HWND h = w.Control(row.name);
    ASSERT_NE(h, nullptr);
    HWND parent = row.parent == w.Form().name ? w.Handle() : w.Control(row.parent);
    EXPECT_EQ(GetParent(h), parent);
    if (row.kind == TKind::ToolBar)
        CheckToolBar(w, row);

    // place and size
    RECT r = PlaceInParent(h);
    if (HWND arrows = w.Control(std::string(row.name) + ".updown"))
        r.right = PlaceInParent(arrows).right; // a spin edit: edit and arrows
    ExpectNear(w, r.left, row.left, "left");
    ExpectNear(w, r.top, row.top, "top");
    if (row.width >= 0)
        ExpectNear(w, r.right - r.left, row.width, "width");
    if (row.height >= 0 && row.kind != TKind::EditCombo) // a combo box's edit follows its font
        ExpectNear(w, r.bottom - r.top, row.height, "height");

    // text and hint
    if (row.kind == TKind::RichEdit) {
        std::string lines;
        for (size_t i = 0; i < row.lines.size(); ++i)
            lines += (i ? "\r" : "") + std::string(row.lines[i]);
        EXPECT_EQ(RichText(h), WithoutLineFeeds(row.text) + lines);
    } else if (row.kind != TKind::Panel && row.kind != TKind::ToolBar && row.kind != TKind::Image) {
        EXPECT_EQ(WindowText(h), row.text);
    }
    if (row.showHint) {
        EXPECT_EQ(w.Controls().Hint(h), row.hint);
    } else {
        EXPECT_EQ(w.Hint(h), row.hint);
    }

    // font, of the controls that show text
    const forms::TFont &want = TableFont(w.Form(), &row);
    if (row.kind == TKind::RichEdit) {
        CHARFORMAT2W f{};
        f.cbSize = sizeof f;
        SendMessageW(h, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&f));
        EXPECT_EQ(Utf8(f.szFaceName), want.face);
        EXPECT_EQ((f.dwEffects & CFE_BOLD) != 0, (want.style & forms::fsBold) != 0);
        EXPECT_EQ((f.dwEffects & CFE_ITALIC) != 0, (want.style & forms::fsItalic) != 0);
    } else if (row.kind != TKind::Panel && row.kind != TKind::ToolBar && row.kind != TKind::Image &&
               row.kind != TKind::BevelLine && row.kind != TKind::ProgressBar) {
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof font, &font));
        EXPECT_EQ(Utf8(font.lfFaceName), want.face);
        EXPECT_EQ(font.lfHeight, -w.Scaled(want.px));
        EXPECT_EQ(font.lfWeight >= FW_BOLD, (want.style & forms::fsBold) != 0);
        EXPECT_EQ(font.lfItalic != 0, (want.style & forms::fsItalic) != 0);
        EXPECT_EQ(font.lfUnderline != 0, (want.style & forms::fsUnderline) != 0);
        EXPECT_EQ(font.lfCharSet, want.cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET);
    }

    // state
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    if (row.kind == TKind::RichEdit) {
        EXPECT_EQ((style & ES_READONLY) != 0, row.readOnly || !row.enabled);
    } else {
        EXPECT_EQ(IsWindowEnabled(h) != FALSE, row.enabled);
    }
    EXPECT_EQ((style & WS_TABSTOP) != 0, row.tabOrder >= 0);
    if (row.kind == TKind::CheckBox) {
        EXPECT_EQ(SendMessageW(h, BM_GETCHECK, 0, 0), row.checked ? BST_CHECKED : BST_UNCHECKED);
    }
    if (row.kind == TKind::EditCombo) {
        ASSERT_EQ(SendMessageW(h, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(row.items.size()));
        for (size_t i = 0; i < row.items.size(); ++i) {
            wchar_t item[64] = {};
            SendMessageW(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(Utf8(item), row.items[i]);
        }
    }
    if (row.kind == TKind::SpinEdit) {
        int lo = 0, hi = 0;
        SendMessageW(w.Control(std::string(row.name) + ".updown"), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo),
                     reinterpret_cast<LPARAM>(&hi));
        EXPECT_EQ(std::pair(lo, hi), std::pair(row.min, row.max));
    }
    if (row.kind == TKind::Image) {
        EXPECT_NE(w.Picture(row.name)->bitmap, nullptr);
    }
    // the hand over the control, or not
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(w.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    if (row.kind != TKind::ToolBar) {
        EXPECT_EQ(GetCursor() == LoadCursorW(nullptr, IDC_HAND), row.cursor == forms::TCursor::Hand);
    }
    // colours: the text colour a label or check box is painted in
    if (row.colour.source == forms::TColour::Rgb && row.kind != TKind::RichEdit) {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(w.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h));
        EXPECT_EQ(GetTextColor(dc), ColourOf(row.colour));
        DeleteDC(dc);
    }
}

// Inside its parent, and no line of its caption wider than it.
void CheckFits(const TFormWindow &w, const TControl &row)
{
    HWND h = w.Control(row.name);
    if (!h)
        return;
    SCOPED_TRACE(std::string(row.name));
    RECT parent, r = PlaceInParent(h);
    GetClientRect(GetParent(h), &parent);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, parent.right);
    EXPECT_LE(r.bottom, parent.bottom);
    if (row.kind != TKind::Button && row.kind != TKind::OkButton && row.kind != TKind::CheckBox &&
        row.kind != TKind::Label && row.kind != TKind::LinkLabel)
        return;
    RECT client;
    GetClientRect(h, &client);
    long room = client.right;
    if (row.kind == TKind::CheckBox)
        room -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);
    if (row.kind == TKind::OkButton)
        room -= w.Scaled(2) + w.Scaled(18); // the picture beside the caption
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    for (const std::string &line : Lines(WindowText(h))) {
        const std::wstring wide = Wide(line);
        SIZE extent{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        EXPECT_LE(extent.cx, room) << line;
    }
    SelectObject(dc, old);
    ReleaseDC(h, dc);
}

void ForEachWindow(const std::function<void(const TFormWindow &)> &check)
{
    TWorkFolder folder;
    {
        TfAT_Vexo main;
        ASSERT_TRUE(main.Create(false));
        if (ExpectedDpi()) {
            EXPECT_EQ(main.Dpi(), ExpectedDpi());
        }
        RECT client;
        GetClientRect(main.Handle(), &client);
        EXPECT_EQ(client.right, main.Scaled(main.Form().clientWidth));
        EXPECT_EQ(client.bottom, main.Scaled(main.Form().clientHeight));
        check(main);
        // the secondary windows as created, before they are shown
        TfHelpATVexo help(main.Handle());
        check(help);
        TAboutForm about(main.Handle());
        check(about);
    }
    TSplashForm splash;
    check(splash);
}

} // namespace

TEST(Forms, EveryControlOfEveryWindowAsItsTableRowSays)
{
    ForEachWindow([](const TFormWindow &w) {
        SCOPED_TRACE(std::string(w.Form().name));
        for (const TControl &row : w.Form().controls)
            CheckRow(w, row);
    });
}

TEST(Forms, EveryControlInsideItsParentAndNoCaptionWiderThanItsControl)
{
    ForEachWindow([](const TFormWindow &w) {
        SCOPED_TRACE(std::string(w.Form().name) + " at " + std::to_string(w.Dpi()) + " DPI");
        for (const TControl &row : w.Form().controls)
            CheckFits(w, row);
    });
}
