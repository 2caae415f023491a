// TFormWindow's messages: the window procedure and its backstop, the
// controls' subclass procedures, clicks and timers, the table's keys and
// the dialog keyboard, the modal showing, and the lookups by control.
// Making the controls is FormBuild.cpp's, placing and scaling them (DPI,
// fonts, layout) FormLayout.cpp's.
#include "FormWindow.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include "FormParts.h"
#include "LateBound.h"
#include "SpinRules.h"
#include "WinText.h"

using forms::TControl;
using forms::TKind;
using formparts::kFormProp;

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

bool IsPushButton(HWND control)
{
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    if (lstrcmpiW(cls, WC_BUTTONW) != 0)
        return false;
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW;
}

} // namespace

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
    MoveToWorkAreaCorner();
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

namespace formparts {

// A label on the toolbar is painted in the colour its form keeps for it:
// the toolbar hands the question to the form, as a panel does.
LRESULT CALLBACK ToolBarProc(HWND bar, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    if (msg == WM_CTLCOLORSTATIC)
        return SendMessageW(GetParent(bar), msg, wp, lp);
    return DefSubclassProc(bar, msg, wp, lp);
}

// A page the operator only reads: no caret, no selection, no focus, and the
// text keeps its own colour (a disabled control would grey it).
LRESULT CALLBACK ReadOnlyProc(HWND view, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    switch (msg) {
    case WM_SETFOCUS:
        SetFocus(GetAncestor(view, GA_ROOT)); // keys belong to the window
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_CONTEXTMENU:
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefSubclassProc(view, msg, wp, lp);
    }
}

} // namespace formparts

LRESULT CALLBACK TFormWindow::ButtonProc(HWND button, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    auto *self = reinterpret_cast<TFormWindow *>(data);
    if (msg == WM_KEYUP) {
        if (const TControl *row = self->RowOf(button))
            self->ButtonKeyUp(*row, wp);
        return 0;
    }
    if (msg == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS | DLGC_BUTTON;
    return DefSubclassProc(button, msg, wp, lp);
}

LRESULT CALLBACK TFormWindow::SpinProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    const TControl *row = reinterpret_cast<const TControl *>(data);
    // the arrow keys step like the arrows beside it
    if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN)) {
        SetWindowTextW(edit, Wide(SpinStep(WindowText(edit), wp == VK_UP ? 1 : -1, row->min, row->max)).c_str());
        return 0;
    }
    // typed characters: digits, signs and the decimal separators only
    if (msg == WM_CHAR && wp >= 32 && !SpinAccepts(Utf8(std::wstring(1, static_cast<wchar_t>(wp)))))
        return 0;
    return DefSubclassProc(edit, msg, wp, lp);
}

LRESULT CALLBACK TFormWindow::RichProc(HWND view, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    // Tab moves to the next control instead of typing a tab
    if (msg == WM_GETDLGCODE && wp == VK_TAB)
        return DefSubclassProc(view, msg, wp, lp) &
               ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTMESSAGE | DLGC_WANTALLKEYS);
    return DefSubclassProc(view, msg, wp, lp);
}

void TFormWindow::Command(int id, int code, HWND from)
{
    TNode *n = from ? NodeOf(from) : nullptr;
    if (!n || n->row->kind == TKind::ToolBar) // a toolbar button: its id
        for (auto &node : FNodes)
            if (node.id == id && node.row->kind == TKind::ToolButton)
                n = &node;
    if (!n || n->row->kind == TKind::ToolBar)
        return;
    const TControl &c = *n->row;
    if (c.kind == TKind::SpinEdit && code == EN_KILLFOCUS) {
        const std::string text = WindowText(n->handle);
        const std::string clamped = SpinClampOnFocusOut(text, c.min, c.max);
        if (clamped != text)
            SetWindowTextW(n->handle, Wide(clamped).c_str());
        return;
    }
    const bool clicked = (c.kind == TKind::Label || c.kind == TKind::LinkLabel) ? code == STN_CLICKED
                                                                                : code == BN_CLICKED;
    if (clicked && c.action != forms::TAction::None)
        Click(c, from);
}

void TFormWindow::Click(const TControl &control, HWND sender)
{
    if (control.action == forms::TAction::CloseForm) {
        FResult = IDOK; // the modal result
        Close();
    } else if (control.action == forms::TAction::OpenHint) {
        OpenHint(sender);
    }
}

void TFormWindow::ShowModal()
{
    FDone = false;
    FResult = 0;
    RunModal(FWindow, FOwner, FDone, FirstTabStop(), PreTranslateFormMessage);
    ShowWindow(FWindow, SW_HIDE);
}

namespace {

// Whether a key press is the table's key text ("F5", "Ctrl+S", "Ctrl+Shift+S", "Escape").
bool IsKey(std::string_view key, const MSG &msg)
{
    const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    const bool wantsCtrl = key.starts_with("Ctrl+");
    if (wantsCtrl)
        key.remove_prefix(5);
    const bool wantsShift = key.starts_with("Shift+");
    if (wantsShift)
        key.remove_prefix(6);
    if (ctrl != wantsCtrl || shift != wantsShift || GetKeyState(VK_MENU) < 0)
        return false;
    if (key == "Escape")
        return msg.wParam == VK_ESCAPE;
    if (key.size() >= 2 && key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
        const int n = key.size() == 2 ? key[1] - '0' : (key[1] - '0') * 10 + (key[2] - '0');
        return msg.wParam == static_cast<WPARAM>(VK_F1 + n - 1);
    }
    return key.size() == 1 && msg.wParam == static_cast<WPARAM>(key[0]);
}

} // namespace

bool PreTranslateFormMessage(MSG &msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd)
        return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (!root || !GetPropW(root, kFormProp))
        return false;
    // the table's keys run their rows' actions wherever the focus is
    if (msg.message == WM_KEYDOWN)
        if (auto *form = static_cast<TFormWindow *>(GetPropW(root, kFormProp)))
            for (const forms::TControl &row : form->Form().controls)
                if (!row.key.empty() && row.action != forms::TAction::None && IsKey(row.key, msg)) {
                    form->Click(row, nullptr);
                    return true;
                }
    // Enter presses the focused push button, as in a dialog
    HWND focus = GetFocus();
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && focus && IsChild(root, focus) &&
        IsPushButton(focus) && IsWindowEnabled(focus) &&
        !(SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTALLKEYS)) {
        SendMessageW(GetParent(focus), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
        return true;
    }
    return IsDialogMessageW(root, &msg) != FALSE;
}
