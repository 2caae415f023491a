// Making a form's controls by walking its table: one window per row (none
// for keys and toolbar rows), their texts, items, hints, cursors, colours
// and states, and the tab order. Placing and scaling them is
// FormLayout.cpp's, their messages FormWindow.cpp's.
#include "FormWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <climits>

#include "FormParts.h"
#include "Pictures.h"
#include "WinText.h"

using forms::TBevel;
using forms::TControl;
using forms::TKind;
using formparts::kFormProp;
using formparts::ReadOnlyProc;
using formparts::ResourceOf;
using formparts::ToolBarProc;

namespace {

constexpr int kFirstId = 100; // + the control's row in its form

} // namespace

namespace formparts {

const wchar_t *ResourceOf(forms::TPicture picture, bool disabled)
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

} // namespace formparts

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
