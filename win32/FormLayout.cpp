// TFormWindow's places and sizes: the process's DPI awareness, the window
// made at its size and place, the fonts and pictures at the window's DPI
// (again on WM_DPICHANGED), and the controls laid out by their alignment.
// Making the controls is FormBuild.cpp's, their messages FormWindow.cpp's.
#include "FormWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

#include "FormParts.h"
#include "Pictures.h"
#include "WinText.h"

using forms::TAlign;
using forms::TBevel;
using forms::TControl;
using forms::TKind;
using formparts::ResourceOf;
using formparts::RuntimeProc;

namespace {

constexpr int kDropDownHeight = 200; // a combo box's list; its edit follows the font

std::string FontKey(const forms::TFont &f)
{
    return std::string(f.face) + '/' + std::to_string(f.px) + '/' + std::to_string(f.style) + '/' +
           (f.cyrillic ? "1" : "0");
}

HFONT MakeFont(const forms::TFont &font, int height, int width)
{
    return CreateFontW(-height, width, 0, 0, (font.style & forms::fsBold) ? FW_BOLD : FW_NORMAL,
                       (font.style & forms::fsItalic) != 0, (font.style & forms::fsUnderline) != 0, FALSE,
                       font.cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(std::string(font.face)).c_str());
}

int AverageWidth(const forms::TFont &font, int height)
{
    HFONT f = MakeFont(font, height, 0);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(f);
    return tm.tmAveCharWidth;
}

// A picture resource at `percent` of its size, smoothly scaled.
TPicture ScaledResource(const wchar_t *name, int percent)
{
    if (!name)
        return {};
    TPicture picture = LoadPictureResource(name);
    if (!picture.bitmap || percent == 100)
        return picture;
    TPicture scaled =
        ScalePicture(picture, MulDiv(picture.width, percent, 100), MulDiv(picture.height, percent, 100));
    DeleteObject(picture.bitmap);
    return scaled;
}

// The outer rectangle of a window whose client area is `r`, at `dpi`.
void AdjustForDpi(RECT &r, DWORD style, DWORD ex, int dpi)
{
    using TAdjustFn = BOOL(WINAPI *)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = RuntimeProc<TAdjustFn>(L"user32.dll", "AdjustWindowRectExForDpi"))
        adjust(&r, style, FALSE, ex, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&r, style, FALSE, ex);
}

RECT WorkAreaOf(HWND window)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

// `toggle`: the button stays down while its sequence runs (the engine says when).
void AddTool(HWND bar, int id, int image, int width, bool toggle)
{
    TBBUTTON b{};
    b.fsState = TBSTATE_ENABLED;
    b.idCommand = id;
    b.iBitmap = image;
    b.fsStyle = image < 0 ? BTNS_SEP : toggle ? BTNS_CHECK : BTNS_BUTTON;
    if (image < 0)
        b.iBitmap = width; // a separator's width
    SendMessageW(bar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
}

} // namespace

void DeclareDpiAware()
{
    // Windows 10 1703 (per-monitor v2), 1607 (per-monitor), 8.1, then Vista
    using TContextFn = BOOL(WINAPI *)(HANDLE);
    if (auto f = RuntimeProc<TContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        for (INT_PTR context : {-4, -3}) // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE(_V2)
            if (f(reinterpret_cast<HANDLE>(context)) || GetLastError() == ERROR_ACCESS_DENIED) // the manifest's
                return;
    }
    if (auto f = RuntimeProc<HANDLE(WINAPI *)(HANDLE)>(L"user32.dll", "SetThreadDpiAwarenessContext"))
        if (f(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))) || f(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3))))
            return;
    if (HMODULE shcore = LoadLibraryW(L"shcore.dll")) {
        using TAwarenessFn = HRESULT(WINAPI *)(int);
        if (auto f = reinterpret_cast<TAwarenessFn>(
                reinterpret_cast<void *>(GetProcAddress(shcore, "SetProcessDpiAwareness")));
            f && SUCCEEDED(f(2))) // PROCESS_PER_MONITOR_DPI_AWARE
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

int WindowDpi(HWND window)
{
    if (auto f = RuntimeProc<UINT(WINAPI *)(HWND)>(L"user32.dll", "GetDpiForWindow"))
        if (const UINT dpi = f(window); dpi > 0)
            return static_cast<int>(dpi);
    return ScreenDpi();
}

int TFormWindow::Scaled(int designPixels) const
{
    return MulDiv(designPixels, FDpi, FForm.designDpi);
}

bool TFormWindow::CreateForm(bool startTimers)
{
    FStartTimers = startTimers;
    RegisterWidgetClasses();
    const std::wstring cls = Wide(std::string(FForm.name));
    RegisterFormClass(cls.c_str(), Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    DWORD style = WS_CLIPCHILDREN, ex = WS_EX_CONTROLPARENT;
    if (FForm.style & forms::wsCaption)
        style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    else
        style |= WS_POPUP;
    if (FForm.style & forms::wsResizable)
        style |= WS_THICKFRAME;
    if (!FOwner && !(FForm.style & forms::wsCaption))
        ex |= WS_EX_TOOLWINDOW; // a borderless window of its own: no task-bar button
    // edges are scaled, not sizes, so that neighbours stay flush
    RECT outer{0, 0, Scaled(FForm.clientWidth), Scaled(FForm.clientHeight)};
    AdjustForDpi(outer, style, ex, FDpi);
    const int w = outer.right - outer.left, h = outer.bottom - outer.top;
    int x = Scaled(FForm.left), y = Scaled(FForm.top);
    if (FForm.place == forms::TPlace::ScreenCentre) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    CreateWindowExW(ex, cls.c_str(), Wide(std::string(FForm.caption)).c_str(), style, x, y, w, h, FOwner, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!FWindow)
        return false;
    // opened on a screen of another DPI than the one it was laid out for
    if (FForm.designDpi == 96)
        if (const int dpi = WindowDpi(FWindow); dpi != FDpi) {
            RECT r;
            GetWindowRect(FWindow, &r);
            r.right = r.left + MulDiv(r.right - r.left, dpi, FDpi);
            r.bottom = r.top + MulDiv(r.bottom - r.top, dpi, FDpi);
            DpiChanged(dpi, r);
        }
    FitWorkArea();
    // the focus rectangle shows from the start, not only after a first Tab
    SendMessageW(FWindow, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return true;
}

const forms::TFont &TFormWindow::TableFont(const TControl *row) const
{
    // an empty face: the parent's font, up to the form's
    for (const TControl *r = row; r; r = forms::Find(FForm, r->parent))
        if (!r->font.face.empty())
            return r->font;
    return FForm.font;
}

// Hinted glyphs grow faster than the height: scaled up, the characters keep
// at most the design width times the scale, so that every caption that
// fits at the design DPI fits at this one too.
int TFormWindow::WidthLimit(const forms::TFont &font) const
{
    return FDpi > FForm.designDpi ? AverageWidth(font, font.px) * FDpi / FForm.designDpi : 0;
}

int TFormWindow::FittedHeight(const forms::TFont &font) const
{
    int height = Scaled(font.px);
    if (const int limit = WidthLimit(font))
        while (height > font.px && AverageWidth(font, height) > limit)
            --height;
    return height;
}

HFONT TFormWindow::FontFor(const TControl *row)
{
    const forms::TFont &font = TableFont(row);
    HFONT &f = FFonts[FontKey(font)];
    if (!f)
        f = MakeFont(font, Scaled(font.px), WidthLimit(font));
    return f;
}

void TFormWindow::FitLabel(HWND label)
{
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    const std::wstring text = Wide(WindowText(label));
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormWindow::ApplyScale()
{
    // the window's and every control's font at this DPI; the old ones go after
    std::map<std::string, HFONT> old;
    old.swap(FFonts);
    SendMessageW(FWindow, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(nullptr)), FALSE);
    for (auto &n : FNodes) {
        const TControl &c = *n.row;
        if (c.kind == TKind::ToolBar)
            ScaleToolBar(n);
        if (!n.handle)
            continue;
        SendMessageW(n.handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(&c)), TRUE);
        if (c.kind == TKind::RichEdit) {
            CHARFORMAT2W format{};
            format.cbSize = sizeof format;
            format.dwMask = CFM_COLOR;
            format.crTextColor = ColourOf(c.colour) == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT) : ColourOf(c.colour);
            if (!c.enabled) // a page's own colour; a log's lines keep theirs
                SendMessageW(n.handle, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
            if (!c.enabled)
                SendMessageW(n.handle, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(Scaled(1), Scaled(1)));
            // a rich-text view takes the face and height of a font, not its
            // width: it gets the height whose characters keep the limit
            if (FDpi > FForm.designDpi) {
                CHARFORMAT2W size{};
                size.cbSize = sizeof size;
                size.dwMask = CFM_SIZE;
                HDC dc = GetDC(n.handle);
                size.yHeight = MulDiv(FittedHeight(TableFont(&c)), 1440, GetDeviceCaps(dc, LOGPIXELSY));
                ReleaseDC(n.handle, dc);
                SendMessageW(n.handle, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&size));
                SendMessageW(n.handle, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&size));
            }
        }
        if ((c.kind == TKind::Label || c.kind == TKind::LinkLabel) && c.width < 0 && c.align == TAlign::None)
            FitLabel(n.handle);
        if (c.kind == TKind::GlyphButton || c.kind == TKind::OkButton) {
            for (HBITMAP b : {n.glyph.normal, n.glyph.disabled})
                if (b)
                    DeleteObject(b);
            const int percent = MulDiv(100, FDpi, FForm.designDpi);
            TPicture on = ScaledResource(ResourceOf(c.picture), percent);
            TPicture off = ScaledResource(ResourceOf(c.picture, true), percent);
            n.glyph = {on.bitmap, off.bitmap, on.width, on.height};
        }
        if (c.kind == TKind::Image)
            n.picture.scale = MulDiv(100, FDpi, FForm.designDpi);
    }
    for (auto &[key, font] : old)
        DeleteObject(font);
}

void TFormWindow::ScaleToolBar(TNode &bar)
{
    HWND h = bar.handle;
    while (SendMessageW(h, TB_BUTTONCOUNT, 0, 0) > 0)
        SendMessageW(h, TB_DELETEBUTTON, 0, 0);
    if (FToolImages)
        ImageList_Destroy(FToolImages);
    const int side = Scaled(16);
    FToolImages = ImageList_Create(side, side, ILC_COLOR32, 4, 0);
    SendMessageW(h, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(FToolImages));
    SendMessageW(h, TB_SETBITMAPSIZE, 0, MAKELPARAM(side, side));
    int width = 0, height = 0, image = 0;
    for (const auto &n : FNodes) {
        if (n.row->parent != bar.row->name)
            continue;
        if (n.row->kind == TKind::ToolButton) {
            width = n.row->width;
            height = n.row->height;
            TPicture picture = ScaledResource(ResourceOf(n.row->picture), MulDiv(100, FDpi, FForm.designDpi));
            ImageList_Add(FToolImages, picture.bitmap, nullptr); // a missing one leaves a gap, nothing more
            if (picture.bitmap)
                DeleteObject(picture.bitmap);
        }
    }
    // the buttons' height: some toolbars take it from the picture and padding
    SendMessageW(h, TB_SETPADDING, 0, MAKELPARAM(Scaled(7), Scaled(height) - side));
    SendMessageW(h, TB_SETBUTTONSIZE, 0, MAKELPARAM(Scaled(width), Scaled(height)));
    // the toolbar's own rows; a label on it is a child window, not a tool
    for (const auto &n : FNodes)
        if (n.row->parent == bar.row->name && (n.row->kind == TKind::ToolButton || n.row->kind == TKind::Separator))
            AddTool(h, n.id, n.row->kind == TKind::ToolButton ? image++ : -1, Scaled(n.row->width), n.row->toggle);
    // adding buttons may recompute the size from the pictures: set it again,
    // and each button's own width too
    for (const auto &n : FNodes)
        if (n.row->parent == bar.row->name && n.row->kind == TKind::ToolButton) {
            TBBUTTONINFOW info{};
            info.cbSize = sizeof info;
            info.dwMask = TBIF_SIZE;
            info.cx = static_cast<WORD>(Scaled(n.row->width));
            SendMessageW(h, TB_SETBUTTONINFOW, static_cast<WPARAM>(n.id), reinterpret_cast<LPARAM>(&info));
        }
    SendMessageW(h, TB_SETBUTTONSIZE, 0, MAKELPARAM(Scaled(width), Scaled(height)));
}

void TFormWindow::Layout()
{
    if (!FWindow || FNodes.empty())
        return;
    RECT r;
    GetClientRect(FWindow, &r);
    LayoutChildren(FForm.name, r);
}

void TFormWindow::LayoutChildren(std::string_view parent, RECT area)
{
    for (auto &n : FNodes) {
        const TControl &c = *n.row;
        if (c.parent != parent || !n.handle)
            continue;
        RECT r{};
        if (c.align == TAlign::Top) {
            r = {area.left, area.top, area.right, area.top + Scaled(c.height)};
            area.top = r.bottom;
        } else if (c.align == TAlign::Client) {
            r = area;
        } else {
            RECT now;
            GetWindowRect(n.handle, &now);
            r.left = Scaled(c.left);
            r.top = Scaled(c.top);
            r.right = c.width >= 0 ? Scaled(c.left + c.width) : r.left + (now.right - now.left);
            r.bottom = c.height >= 0 ? Scaled(c.top + c.height) : r.top + (now.bottom - now.top);
            if (c.kind == TKind::EditCombo)
                r.bottom = r.top + Scaled(kDropDownHeight);
        }
        r.right = std::max(r.right, r.left);
        r.bottom = std::max(r.bottom, r.top);
        if (n.updown) {
            // edit and arrows side by side within the spin edit's width
            const int arrows = std::min<int>(MulDiv(GetSystemMetrics(SM_CXVSCROLL), FDpi, ScreenDpi()), r.right - r.left);
            MoveWindow(n.handle, r.left, r.top, r.right - r.left - arrows, r.bottom - r.top, TRUE);
            MoveWindow(n.updown, r.right - arrows, r.top, arrows, r.bottom - r.top, TRUE);
            continue;
        }
        MoveWindow(n.handle, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        if (c.kind == TKind::ToolBar) // its buttons are its own; other children take their places
            LayoutChildren(c.name, RECT{0, 0, r.right - r.left, r.bottom - r.top});
        if (c.kind == TKind::Panel) {
            RECT inner{0, 0, r.right - r.left, r.bottom - r.top};
            if (c.bevel != TBevel::None)
                InflateRect(&inner, -Scaled(2), -Scaled(2));
            LayoutChildren(c.name, inner);
        }
    }
}

void TFormWindow::DpiChanged(int dpi, const RECT &suggested)
{
    if (dpi <= 0)
        return;
    FDpi = dpi;
    ApplyScale();
    SetWindowPos(FWindow, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FitWorkArea(); // the suggestion scales the old size, which may not fit this monitor
    Layout();
    RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void TFormWindow::FitWorkArea()
{
    const RECT work = WorkAreaOf(FWindow);
    RECT outer;
    GetWindowRect(FWindow, &outer);
    int width = outer.right - outer.left, height = outer.bottom - outer.top;
    if ((FForm.style & forms::wsResizable) && FForm.minClientHeight > 0) {
        // the frame as it is, not as AdjustWindowRectExForDpi would have it at
        // this DPI: a system that draws frames at its own DPI (Wine) differs
        RECT client;
        GetClientRect(FWindow, &client);
        const int frameWidth = width - client.right, frameHeight = height - client.bottom;
        const forms::TFittedHeight fit = forms::FitClientHeight(FForm, frameHeight, work.bottom - work.top, FDpi);
        // the design's size, or less height where the area is short
        width = Scaled(FForm.clientWidth) + frameWidth;
        height = fit.clientHeight + frameHeight;
    }
    const forms::TPoint at = forms::ClampIntoArea(outer.left, outer.top, width, height,
                                                  {work.left, work.top, work.right - work.left, work.bottom - work.top});
    if (at.x != outer.left || at.y != outer.top || width != outer.right - outer.left ||
        height != outer.bottom - outer.top)
        SetWindowPos(FWindow, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormWindow::MoveToWorkAreaCorner()
{
    const RECT work = WorkAreaOf(FWindow);
    RECT r;
    GetWindowRect(FWindow, &r);
    SetWindowPos(FWindow, nullptr, r.left, work.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(FWindow, nullptr, work.left, work.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
