#include "Widgets.h"

#include <commctrl.h>

#include <algorithm>

#include "Pictures.h"
#include "WinText.h"

namespace {

LRESULT CALLBACK PanelProc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_VSCROLL: {
        // the top-level window owns the controls' behaviour
        HWND root = GetAncestor(window, GA_ROOT);
        if (root && root != window)
            return SendMessageW(root, msg, wp, lp);
        break;
    }
    case WM_ERASEBKGND: {
        const auto *look = reinterpret_cast<const TPanelLook *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        RECT r;
        GetClientRect(window, &r);
        if (look && look->background != CLR_INVALID) {
            SetBkColor(reinterpret_cast<HDC>(wp), look->background);
            ExtTextOutW(reinterpret_cast<HDC>(wp), 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
        } else {
            FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
        }
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const auto *look = reinterpret_cast<const TPanelLook *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (look && look->edge != TPanelLook::None) {
            RECT r;
            GetClientRect(window, &r);
            DrawEdge(dc, &r, look->edge == TPanelLook::Lowered ? EDGE_BUMP : BDR_RAISEDINNER, BF_RECT);
        }
        EndPaint(window, &ps);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window, msg, wp, lp);
}

LRESULT CALLBACK PictureProc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const auto *view = reinterpret_cast<const TPictureView *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (view && view->bitmap) {
            RECT r;
            GetClientRect(window, &r);
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, view->bitmap);
            // from the top-left corner; the control's edge cuts it
            if (view->scale == 100) {
                BitBlt(dc, 0, 0, std::min<int>(r.right, view->width), std::min<int>(r.bottom, view->height), mem, 0,
                       0, SRCCOPY);
            } else {
                const int oldMode = SetStretchBltMode(dc, HALFTONE);
                SetBrushOrgEx(dc, 0, 0, nullptr);
                StretchBlt(dc, 0, 0, MulDiv(view->width, view->scale, 100), MulDiv(view->height, view->scale, 100),
                           mem, 0, 0, view->width, view->height, SRCCOPY);
                SetStretchBltMode(dc, oldMode);
            }
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, msg, wp, lp);
}

} // namespace

void RegisterFormClass(const wchar_t *name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc))
        return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    wc.hIcon = ProgramIcon(32);
    wc.hIconSm = ProgramIcon(16);
    RegisterClassExW(&wc);
}

void RegisterWidgetClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                             ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryW(L"Msftedit.dll");
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPanelClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = PictureProc;
    wc.lpszClassName = kPictureClass;
    RegisterClassExW(&wc);
}

TControlSet::~TControlSet()
{
    for (auto *t : FTipTexts)
        delete t;
}

void TControlSet::Init(HWND owner)
{
    FOwner = owner;
    FTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                            0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    // a wide limit lets CR LF break the lines and nothing else
    SendMessageW(FTips, TTM_SETMAXTIPWIDTH, 0, 2000);
}

HWND TControlSet::Add(const std::string &name, HWND control)
{
    FByName[name] = control;
    FNames[control] = name;
    return control;
}

HWND TControlSet::operator[](const std::string &name) const
{
    const auto it = FByName.find(name);
    return it == FByName.end() ? nullptr : it->second;
}

const std::string *TControlSet::NameOf(HWND control) const
{
    const auto it = FNames.find(control);
    return it == FNames.end() ? nullptr : &it->second;
}

std::vector<std::string> TControlSet::Names() const
{
    std::vector<std::string> names;
    for (const auto &[name, hwnd] : FByName)
        names.push_back(name);
    return names;
}

void TControlSet::SetHint(HWND control, const std::string &hint)
{
    auto *text = new std::wstring(Wide(hint));
    FTipTexts.push_back(text);
    const auto add = [&](HWND target) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = FOwner;
        ti.uId = reinterpret_cast<UINT_PTR>(target);
        ti.lpszText = text->data();
        SendMessageW(FTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    };
    add(control);
    // the mouse over an editable combo box is over its edit
    COMBOBOXINFO cbi{};
    cbi.cbSize = sizeof cbi;
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    if (lstrcmpiW(cls, WC_COMBOBOXW) == 0 && GetComboBoxInfo(control, &cbi) && cbi.hwndItem)
        add(cbi.hwndItem);
}

std::string TControlSet::Hint(HWND control) const
{
    wchar_t buffer[1024] = {};
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = FOwner;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = buffer;
    if (!SendMessageW(FTips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)))
        return {};
    ti.lpszText = buffer;
    SendMessageW(FTips, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&ti));
    return Utf8(buffer);
}

bool TControlSet::CtlColor(HDC dc, HWND control, LRESULT &result) const
{
    const auto it = FColours.find(control);
    if (it == FColours.end())
        return false;
    SetTextColor(dc, it->second);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
}

bool TControlSet::SetCursorFor(HWND control) const
{
    for (HWND h : FHand) {
        if (h == control || IsChild(h, control)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return true;
        }
    }
    return false;
}

HWND MakeChild(const wchar_t *cls, const std::string &text, DWORD style, int x, int y, int w, int h, HWND parent,
               int id, DWORD exStyle)
{
    return CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void DrawGlyphButton(const DRAWITEMSTRUCT &item, const TGlyph &glyph, int margin)
{
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool down = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));
    const int shift = down ? 1 : 0;
    wchar_t caption[64] = {};
    const int length = GetWindowTextW(item.hwndItem, caption, 64);
    HBITMAP picture = disabled && glyph.disabled ? glyph.disabled : glyph.normal;
    int textLeft = r.left;
    if (picture) {
        const int x = length ? r.left + margin : r.left + (r.right - r.left - glyph.width) / 2;
        const int y = r.top + (r.bottom - r.top - glyph.height) / 2;
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, picture);
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x + shift, y + shift, glyph.width, glyph.height, mem, 0, 0, glyph.width, glyph.height, blend);
        SelectObject(mem, old);
        DeleteDC(mem);
        textLeft = r.left + margin + glyph.width;
    }
    if (length) {
        RECT t{textLeft + shift, r.top + shift, r.right + shift, r.bottom + shift};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        DrawTextW(dc, caption, length, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT f = r;
        InflateRect(&f, -4, -4);
        DrawFocusRect(dc, &f);
    }
}

void RunModal(HWND window, HWND owner, const bool &done, HWND focus, bool (*preTranslate)(MSG &))
{
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner)
        EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetFocus(focus ? focus : window);
    MSG msg;
    while (!done && IsWindow(window)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam)); // for the outer loop
            break;
        }
        if (preTranslate && preTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner && ownerWasEnabled) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}
