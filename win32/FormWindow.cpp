#include "FormWindow.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>

#include "Pictures.h"
#include "LateBound.h"
#include "SpinRules.h"
#include "WinText.h"

using forms::TAlign;
using forms::TBevel;
using forms::TControl;
using forms::TKind;

namespace {

std::function<void(std::exception_ptr)> &ErrorSink()
{
    static std::function<void(std::exception_ptr)> sink;
    return sink;
}

TFormWindow::LinkOpener &Opener()
{
    static TFormWindow::LinkOpener opener;
    return opener;
}

template <typename F>
F RuntimeProc(const wchar_t *module, const char *name)
{
    HMODULE h = GetModuleHandleW(module);
    return h ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(h, name))) : nullptr;
}

std::string FontKey(const forms::TFont &f)
{
    return std::string(f.face) + '/' + std::to_string(f.px) + '/' + std::to_string(f.style) + '/' +
           (f.cyrillic ? "1" : "0");
}

} // namespace

COLORREF ColourOf(const forms::TColour &c)
{
    switch (c.source) {
    case forms::TColour::Rgb:
        return RGB(c.r, c.g, c.b);
    case forms::TColour::ButtonFace:
        return GetSysColor(COLOR_BTNFACE);
    case forms::TColour::WindowText:
        return GetSysColor(COLOR_WINDOWTEXT);
    case forms::TColour::Inherit:
        break;
    }
    return CLR_INVALID;
}

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

void TFormWindow::SetErrorSink(std::function<void(std::exception_ptr)> sink)
{
    ErrorSink() = std::move(sink);
}

void TFormWindow::SetLinkOpener(LinkOpener opener)
{
    Opener() = std::move(opener);
}

TFormWindow::TFormWindow(const forms::TForm &form, HWND owner, int dpi)
    : FOwner(owner), FForm(form), FDpi(dpi > 0 ? dpi : ScreenDpi())
{
}

TFormWindow::~TFormWindow()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    if (FToolImages)
        ImageList_Destroy(FToolImages);
    for (auto &n : FNodes)
        for (HBITMAP b : {n.picture.bitmap, n.glyph.normal, n.glyph.disabled})
            if (b)
                DeleteObject(b);
    for (auto &[key, font] : FFonts)
        DeleteObject(font);
    for (auto &[key, brush] : FBrushes)
        DeleteObject(brush);
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
    using TAdjustFn = BOOL(WINAPI *)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = RuntimeProc<TAdjustFn>(L"user32.dll", "AdjustWindowRectExForDpi"))
        adjust(&outer, style, FALSE, ex, static_cast<UINT>(FDpi));
    else
        AdjustWindowRectEx(&outer, style, FALSE, ex);
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
    // the focus rectangle shows from the start, not only after a first Tab
    SendMessageW(FWindow, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return true;
}

LRESULT CALLBACK TFormWindow::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    // no exception crosses the window procedure: it goes to the error box
    try {
        auto *self = FormOf<TFormWindow>(window, msg, lp);
        return self ? self->WndProc(msg, wp, lp) : DefWindowProcW(window, msg, wp, lp);
    } catch (...) {
        try {
            if (const auto &sink = ErrorSink(); sink) {
                sink(std::current_exception());
            } else {
                std::string text = "?";
                try {
                    throw;
                } catch (const std::exception &e) {
                    text = e.what();
                } catch (...) {
                }
                MessageBoxW(window, Wide(text).c_str(), nullptr, MB_OK | MB_ICONERROR);
            }
        } catch (...) {
        }
        return 0;
    }
}

LRESULT TFormWindow::Default(UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcW(FWindow, msg, wp, lp);
}

LRESULT TFormWindow::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    return Base(msg, wp, lp);
}

LRESULT TFormWindow::Base(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_CREATE:
        FControls.Init(FWindow);
        Build();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DPICHANGED:
        DpiChanged(LOWORD(wp), *reinterpret_cast<const RECT *>(lp));
        return 0;
    case WM_COMMAND:
        Command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return 0;
    case WM_NOTIFY: {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lp);
        if (hdr->code == TTN_GETDISPINFOW) {
            // a toolbar button's tooltip, by its id
            const auto id = static_cast<int>(hdr->idFrom);
            for (const auto &n : FNodes)
                if (n.id == id && n.row->kind == TKind::ToolButton) {
                    auto *info = reinterpret_cast<NMTTDISPINFOW *>(lp);
                    FTipText = Wide(std::string(n.row->hint));
                    info->lpszText = FTipText.data();
                    return 0;
                }
        }
        if (hdr->code == UDN_DELTAPOS)
            for (const auto &n : FNodes)
                if (n.updown && n.updown == hdr->hwndFrom) {
                    const auto *ud = reinterpret_cast<const NMUPDOWN *>(lp);
                    SetWindowTextW(n.handle, Wide(SpinStep(WindowText(n.handle), ud->iDelta, n.row->min,
                                                           n.row->max)).c_str());
                    return TRUE; // the text is ours, not the control's position
                }
        break;
    }
    case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lp);
        if (TNode *n = NodeOf(item->hwndItem)) {
            DrawGlyphButton(*item, n->glyph, n->row->kind == TKind::OkButton ? Scaled(2) : 0);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        HWND control = reinterpret_cast<HWND>(lp);
        const COLORREF back = BackgroundOf(RowOf(control));
        if (!FControls.CtlColor(dc, control, result))
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, back);
        auto &brush = FBrushes[std::to_string(back)];
        if (!brush)
            brush = CreateSolidBrush(back);
        return reinterpret_cast<LRESULT>(brush);
    }
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wp);
        const TControl *row = RowOf(over);
        if (row && row->kind == TKind::ToolBar) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(over, &p);
            const auto hit = static_cast<int>(SendMessageW(over, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&p)));
            TBBUTTON b{};
            if (hit >= 0 && SendMessageW(over, TB_GETBUTTON, hit, reinterpret_cast<LPARAM>(&b)))
                for (const auto &n : FNodes)
                    if (n.id == b.idCommand && n.row->cursor == forms::TCursor::Hand) {
                        SetCursor(LoadCursorW(nullptr, IDC_HAND));
                        return TRUE;
                    }
        } else if (LOWORD(lp) == HTCLIENT && FControls.SetCursorFor(over)) {
            return TRUE;
        }
        break;
    }
    case WM_GETDLGCODE:
        // a window without a control that takes the focus gets every key
        return FirstTabStop() ? 0 : DLGC_WANTALLKEYS;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(FWindow, focus))
                FLastFocus = focus;
        } else {
            HWND to = FLastFocus && IsWindow(FLastFocus) ? FLastFocus : FirstTabStop();
            SetFocus(to ? to : FWindow);
        }
        return 0;
    case WM_TIMER:
        for (const auto &n : FNodes)
            if (n.row->kind == TKind::Timer && static_cast<WPARAM>(n.id) == wp) {
                TimerTick(*n.row);
                return 0;
            }
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_NCDESTROY: {
        HWND window = FWindow;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        FWindow = nullptr;
        return DefWindowProcW(window, msg, wp, lp);
    }
    default:
        break;
    }
    return Default(msg, wp, lp);
}

void TFormWindow::TimerTick(const TControl &timer)
{
    KillTimer(FWindow, static_cast<UINT_PTR>(CommandId(timer.name)));
    tInitTimer();
}

void TFormWindow::tInitTimer()
{
    MoveTopThenLeft(FWindow);
    FMoved = true;
}

const TControl *TFormWindow::RowOf(HWND control) const
{
    for (const auto &n : FNodes)
        if (n.handle == control || (n.updown && n.updown == control))
            return n.row;
    return nullptr;
}

TFormWindow::TNode *TFormWindow::NodeOf(HWND control)
{
    for (auto &n : FNodes)
        if (n.handle == control)
            return &n;
    return nullptr;
}

TFormWindow::TNode *TFormWindow::NodeOf(std::string_view name)
{
    for (auto &n : FNodes)
        if (n.row->name == name)
            return &n;
    return nullptr;
}

int TFormWindow::CommandId(std::string_view name) const
{
    for (const auto &n : FNodes)
        if (n.row->name == name)
            return n.id;
    return 0;
}

std::string TFormWindow::Hint(HWND control) const
{
    const TControl *row = RowOf(control);
    return row ? std::string(row->hint) : std::string();
}

const TPictureView *TFormWindow::Picture(std::string_view name) const
{
    for (const auto &n : FNodes)
        if (n.row->name == name)
            return &n.picture;
    return nullptr;
}

const forms::TFont &TFormWindow::TableFont(const TControl *row) const
{
    // an empty face: the parent's font, up to the form's
    for (const TControl *r = row; r; r = forms::Find(FForm, r->parent))
        if (!r->font.face.empty())
            return r->font;
    return FForm.font;
}

namespace {

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

} // namespace

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

COLORREF TFormWindow::BackgroundOf(const TControl *row) const
{
    for (const TControl *r = row; r; r = forms::Find(FForm, r->parent))
        if (const COLORREF c = ColourOf(r->background); c != CLR_INVALID)
            return c;
    return GetSysColor(COLOR_BTNFACE);
}

HWND TFormWindow::FirstTabStop() const
{
    const TNode *first = nullptr;
    for (const auto &n : FNodes)
        if (n.row->tabOrder >= 0 && n.row->enabled && n.handle && (!first || n.row->tabOrder < first->row->tabOrder))
            first = &n;
    return first ? first->handle : nullptr;
}

void TFormWindow::OpenHint(HWND sender)
{
    const TControl *row = RowOf(sender);
    if (!row || row->kind != TKind::LinkLabel)
        return;
    const std::string file(row->hint);
    // the shell's owner: the application's own top-level window
    HWND owner = FOwner ? GetAncestor(FOwner, GA_ROOTOWNER) : nullptr;
    try {
        if (const auto &opener = Opener(); opener) {
            opener(owner, file);
            return;
        }
        // the hints are ASCII web and mail addresses; the result does not
        // matter: a link that cannot be opened is ignored
        LateShellExecuteA(owner, "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } catch (...) {
        // silently: the window stays open
    }
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
