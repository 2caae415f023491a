// Building a form's controls from its table, laying them out at the
// window's DPI, the keyboard, and the modal showing.
#include "FormWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <climits>

#include "Pictures.h"
#include "SpinRules.h"
#include "WinText.h"

using forms::TAlign;
using forms::TBevel;
using forms::TControl;
using forms::TKind;

namespace {

constexpr int kFirstId = 100;        // + the control's row in its form
constexpr int kDropDownHeight = 200; // a combo box's list; its edit follows the font
constexpr wchar_t kFormProp[] = L"VexoForm";

const wchar_t *ResourceOf(forms::TPicture picture, bool disabled = false)
{
    using P = forms::TPicture;
    switch (picture) {
    case P::ToolAbout:
        return L"TB2";
    case P::ToolHelp:
        return L"TB4";
    case P::ToolClear:
        return L"TB6";
    case P::ToolExit:
        return L"TB0";
    case P::ToolWait:
        return L"TB7";
    case P::ToolReadAll:
        return L"TB8";
    case P::ToolWriteAll:
        return L"TB9";
    case P::ToolSaveLog:
        return L"TB10";
    case P::Scanner:
        return disabled ? L"SCANNER_DISABLED" : L"SCANNER";
    case P::OkCheck:
        return disabled ? L"OK_DISABLED" : L"OK";
    case P::HelpPhoto:
        return L"HELP_VEXO";
    case P::AboutLogo:
        return L"ABOUT_LOGO";
    case P::None:
        break;
    }
    return nullptr;
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

// A page the operator only reads: no caret, no selection, no focus, and the
// text keeps its own colour (a disabled control would grey it).
// A label on the toolbar is painted in the colour its form keeps for it:
// the toolbar hands the question to the form, as a panel does.
LRESULT CALLBACK ToolBarProc(HWND bar, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    if (msg == WM_CTLCOLORSTATIC)
        return SendMessageW(GetParent(bar), msg, wp, lp);
    return DefSubclassProc(bar, msg, wp, lp);
}

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

void TFormWindow::Build()
{
    SetPropW(FWindow, kFormProp, reinterpret_cast<HANDLE>(this));
    FNodes.clear();
    FNodes.reserve(FForm.controls.size()); // the nodes never move
    int row = 0;
    for (const TControl &c : FForm.controls) {
        TNode &n = FNodes.emplace_back();
        n.row = &c;
        n.id = kFirstId + row++;
        HWND parent = c.parent == FForm.name ? FWindow : Control(c.parent);
        const std::string text(c.text);
        const DWORD tab = c.tabOrder >= 0 ? WS_TABSTOP : 0;
        HWND h = nullptr;
        switch (c.kind) {
        case TKind::Panel:
        case TKind::BevelLine:
            h = MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 0, 0, 0, 0, parent, 0,
                          c.kind == TKind::Panel ? WS_EX_CONTROLPARENT : 0);
            n.look.edge = c.bevel == TBevel::Lowered  ? TPanelLook::Lowered
                          : c.bevel == TBevel::Raised ? TPanelLook::Raised
                                                      : TPanelLook::None;
            if (c.background.source == forms::TColour::Rgb)
                n.look.background = RGB(c.background.r, c.background.g, c.background.b);
            SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&n.look));
            break;
        case TKind::ToolBar:
            h = MakeChild(TOOLBARCLASSNAMEW, "",
                          TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, 0, 0,
                          0, parent);
            SendMessageW(h, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
            SetWindowSubclass(h, ToolBarProc, 1, 0);
            break;
        case TKind::ToolButton:
        case TKind::Separator:
            break; // rows of their toolbar, added below
        case TKind::Key: // a key, no window
            break;
        case TKind::Timer:
            if (c.enabled && FStartTimers)
                SetTimer(FWindow, static_cast<UINT_PTR>(n.id), static_cast<UINT>(c.interval), nullptr);
            break;
        case TKind::Button:
            h = MakeChild(WC_BUTTONW, text, tab | BS_PUSHBUTTON, 0, 0, 0, 0, parent, n.id);
            break;
        case TKind::GlyphButton:
        case TKind::OkButton:
            h = MakeChild(WC_BUTTONW, text, tab | BS_OWNERDRAW, 0, 0, 0, 0, parent, n.id);
            if (c.kind == TKind::OkButton)
                SetWindowSubclass(h, ButtonProc, 1, reinterpret_cast<DWORD_PTR>(this));
            break;
        case TKind::EditCombo:
            h = MakeChild(WC_COMBOBOXW, "", tab | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, 0, 0, 0, parent,
                          n.id);
            for (std::string_view item : c.items)
                SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(std::string(item)).c_str()));
            SetWindowTextW(h, Wide(text).c_str());
            break;
        case TKind::CheckBox:
            h = MakeChild(WC_BUTTONW, text, tab | BS_AUTOCHECKBOX, 0, 0, 0, 0, parent, n.id);
            SendMessageW(h, BM_SETCHECK, c.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case TKind::SpinEdit:
            // the arrows change the text by the spin rules, not a position
            h = MakeChild(WC_EDITW, text, tab | ES_AUTOHSCROLL, 0, 0, 0, 0, parent, n.id, WS_EX_CLIENTEDGE);
            n.updown = MakeChild(UPDOWN_CLASSW, "", UDS_NOTHOUSANDS, 0, 0, 0, 0, parent);
            SendMessageW(n.updown, UDM_SETRANGE32, c.min, c.max);
            FControls.Add(std::string(c.name) + ".updown", n.updown);
            SetWindowSubclass(h, SpinProc, 1, reinterpret_cast<DWORD_PTR>(&c));
            break;
        case TKind::ProgressBar:
            h = MakeChild(PROGRESS_CLASSW, "", 0, 0, 0, 0, 0, parent);
            SendMessageW(h, PBM_SETRANGE32, 0, 100);
            SendMessageW(h, PBM_SETSTEP, 10, 0);
            break;
        case TKind::Label:
        case TKind::LinkLabel: {
            // a label with a hint or a click takes the mouse
            const DWORD align = c.textAlign == forms::TTextAlign::Centre ? SS_CENTER
                                : c.wordWrap                            ? SS_LEFT
                                                                        : SS_LEFTNOWORDWRAP;
            const bool mouse = c.kind == TKind::LinkLabel || (c.showHint && !c.hint.empty());
            h = MakeChild(WC_STATICW, text, align | SS_NOPREFIX | (mouse ? SS_NOTIFY : 0), 0, 0, 0, 0, parent, n.id);
            break;
        }
        case TKind::RichEdit: {
            const bool page = !c.enabled; // read, never typed into
            h = MakeChild(MSFTEDIT_CLASS, "",
                          tab | WS_VSCROLL | ES_MULTILINE |
                              (page || c.readOnly ? ES_READONLY : ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL),
                          0, 0, 0, 0, parent, n.id);
            // no practical limit on the length: a log is never trimmed
            SendMessageW(h, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
            if (const COLORREF back = ColourOf(c.background); back != CLR_INVALID)
                SendMessageW(h, EM_SETBKGNDCOLOR, 0, back);
            std::string all = text;
            for (size_t i = 0; i < c.lines.size(); ++i) // a page's lines
                all += (i ? "\r\n" : "") + std::string(c.lines[i]);
            SetWindowTextW(h, Wide(all).c_str());
            SetWindowSubclass(h, page ? ReadOnlyProc : RichProc, 1, 0);
            break;
        }
        case TKind::Image: {
            h = MakeChild(kPictureClass, "", 0, 0, 0, 0, 0, parent);
            // a missing or damaged picture leaves the control empty, nothing more
            TPicture picture = LoadPictureResource(ResourceOf(c.picture));
            n.picture = {picture.bitmap, picture.width, picture.height};
            SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&n.picture));
            break;
        }
        }
        n.handle = h;
        if (!h)
            continue;
        FControls.Add(std::string(c.name), h);
        if (c.showHint && !c.hint.empty())
            FControls.SetHint(h, std::string(c.hint));
        if (c.cursor == forms::TCursor::Hand)
            FControls.SetHandCursor(h);
        if (const COLORREF colour = ColourOf(c.colour); colour != CLR_INVALID && c.kind != TKind::RichEdit)
            FControls.SetTextColour(h, colour);
        if (!c.enabled && c.kind != TKind::RichEdit)
            EnableWindow(h, FALSE);
    }
    OrderTabs();
    ApplyScale();
    Layout();
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

void TFormWindow::OrderTabs()
{
    // Tab follows the z-order, into panels (WS_EX_CONTROLPARENT): siblings
    // go in the order of the first tab stop they hold
    std::map<std::string_view, int> first;
    for (const auto &n : FNodes)
        if (n.row->tabOrder >= 0)
            for (const TControl *r = n.row; r; r = forms::Find(FForm, r->parent))
                if (auto [it, added] = first.emplace(r->name, n.row->tabOrder); !added)
                    it->second = std::min(it->second, n.row->tabOrder);
    const auto key = [&](const TNode *n) {
        const auto it = first.find(n->row->name);
        return it == first.end() ? INT_MAX : it->second;
    };
    std::map<std::string_view, std::vector<const TNode *>> children;
    for (const auto &n : FNodes)
        if (n.handle)
            children[n.row->parent].push_back(&n);
    for (auto &[parent, list] : children) {
        std::stable_sort(list.begin(), list.end(), [&](auto a, auto b) { return key(a) < key(b); });
        HWND after = HWND_TOP;
        for (const TNode *n : list) {
            SetWindowPos(n->handle, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = n->handle;
            if (n->updown) {
                SetWindowPos(n->updown, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                after = n->updown;
            }
        }
    }
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
    Layout();
    RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
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

// Whether a key press is the table's key text ("F5", "Ctrl+S", "Escape").
bool IsKey(std::string_view key, const MSG &msg)
{
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool wantsCtrl = key.starts_with("Ctrl+");
    if (wantsCtrl)
        key.remove_prefix(5);
    if (ctrl != wantsCtrl || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0)
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
