#include "MainWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstring>

#include "EventLoopHook.h"
#include "HelpAbout.h"
#include "Pictures.h"
#include "SpinRules.h"
#include "VexoTexts.h"
#include "WinText.h"
#include "pAT_Vexo.h"

namespace {

constexpr wchar_t kClass[] = L"TfAT_Vexo";
constexpr UINT kSyncMessage = WM_APP + 1; // the serial thread's hand-over is pending
constexpr int kClientWidth = 720, kClientHeight = 703;
constexpr int kToolBarHeight = 41, kPanel2Height = 47, kPanel4Height = 304;
constexpr int kSpinMin = 1, kSpinMax = 250;

// Toolbar buttons: name, command id, picture in the image list.
struct TToolButton {
    const char *name;
    int id, image;
};
constexpr TToolButton kToolButtons[] = {
    {"ToolButton3", TfAT_Vexo::idAbout, 2},
    {"TB_Help", TfAT_Vexo::idHelp, 4},
    {"ToolButton6", TfAT_Vexo::idClear, 6},
    {"TB_Exit", TfAT_Vexo::idExit, 0},
};

const vexo_ui::TUiControl *UiControl(const char *name)
{
    for (const auto &c : vexo_ui::kMainControls)
        if (std::strcmp(c.name, name) == 0)
            return &c;
    return nullptr;
}

LRESULT CALLBACK SpinEditProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    // the arrow keys step like the arrows beside it
    if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN)) {
        SetWindowTextW(edit, Wide(SpinStep(WindowText(edit), wp == VK_UP ? 1 : -1, kSpinMin, kSpinMax)).c_str());
        return 0;
    }
    // typed characters: digits, signs and the decimal separators only
    if (msg == WM_CHAR && wp >= 32 && !SpinAccepts(Utf8(std::wstring(1, static_cast<wchar_t>(wp)))))
        return 0;
    return DefSubclassProc(edit, msg, wp, lp);
}

} // namespace

TfAT_Vexo::MessageBoxFn &TfAT_Vexo::MessageBoxHookRef()
{
    static MessageBoxFn hook;
    return hook;
}

void TfAT_Vexo::SetMessageBoxHook(MessageBoxFn hook)
{
    MessageBoxHookRef() = std::move(hook);
}

TfAT_Vexo::TfAT_Vexo() = default;

TfAT_Vexo::~TfAT_Vexo()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    FEngine.reset();
    if (FImages)
        ImageList_Destroy(FImages);
    for (HBITMAP b : {FScanGlyph.normal, FScanGlyph.disabled})
        if (b)
            DeleteObject(b);
}

bool TfAT_Vexo::Create(bool application, HWND owner)
{
    RegisterWidgetClasses();
    FApplication = application;
    RegisterFormClass(kClass, Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // resizable frame, system menu and close button only
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    FWindow = CreateWindowExW(0, kClass, Wide(vexo_ui::kMainCaption).c_str(), style, 319, 157,
                              outer.right - outer.left, outer.bottom - outer.top, owner, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (!FWindow)
        return false;
    FEngine = std::make_unique<TAT_VexoEngine>(*this);
    // the serial thread's hand-overs run here, on the main thread
    SetSerialWake([window = FWindow] { PostMessageW(window, kSyncMessage, 0, 0); });
    FEngine->FormCreate();
    return true;
}

LRESULT CALLBACK TfAT_Vexo::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *self = FormOf<TfAT_Vexo>(window, msg, lp);
    return self ? self->Handle(msg, wp, lp) : DefWindowProcW(window, msg, wp, lp);
}

LRESULT TfAT_Vexo::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_CREATE:
        FControls.Init(FWindow);
        BuildToolbar();
        BuildControls();
        Layout();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return 0;
    case WM_NOTIFY: {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lp);
        if (hdr->code == TTN_GETDISPINFOW && hdr->hwndFrom == reinterpret_cast<HWND>(
                                                 SendMessageW(FToolBar, TB_GETTOOLTIPS, 0, 0))) {
            auto *info = reinterpret_cast<NMTTDISPINFOW *>(lp);
            FToolTipText = Wide(ToolbarHint(static_cast<int>(hdr->idFrom)));
            info->lpszText = FToolTipText.data();
            return 0;
        }
        if (hdr->code == UDN_DELTAPOS && hdr->hwndFrom == FControls["seAdrModBus.updown"]) {
            const auto *ud = reinterpret_cast<const NMUPDOWN *>(lp);
            SetText(TViewText::seAdrModBus,
                    SpinStep(Text(TViewText::seAdrModBus), ud->iDelta, kSpinMin, kSpinMax));
            return TRUE; // the text is ours, not the control's position
        }
        break;
    }
    case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lp);
        if (item->hwndItem == FControls["SpeedButton1"]) {
            DrawGlyphButton(*item, FScanGlyph, 0);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        if (FControls.CtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), result))
            return result;
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wp);
        if (over == FToolBar) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(FToolBar, &p);
            const auto hit = static_cast<int>(SendMessageW(FToolBar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&p)));
            TBBUTTON b{};
            if (hit >= 0 && SendMessageW(FToolBar, TB_GETBUTTON, hit, reinterpret_cast<LPARAM>(&b)) &&
                !(b.fsStyle & BTNS_SEP)) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
        } else if (LOWORD(lp) == HTCLIENT && FControls.SetCursorFor(over)) {
            return TRUE;
        }
        break;
    }
    case WM_TIMER:
        if (!FEngine)
            return 0;
        if (wp == static_cast<WPARAM>(TViewTimer::tInit) + 1)
            FEngine->Run([this] { FEngine->tInitTimer(); });
        else if (wp == static_cast<WPARAM>(TViewTimer::tRdIn_Vexo) + 1)
            FEngine->Run([this] { FEngine->tRdIn_VexoTimer(); });
        else if (wp == static_cast<WPARAM>(TViewTimer::tSetupWindow) + 1)
            FEngine->Run([this] { FEngine->tSetupWindowTimer(); });
        return 0;
    case kSyncMessage:
        ServeSerial();
        return 0;
    case WM_CLOSE:
        // closing never fails: the port is closed and the name saved first
        if (FEngine)
            FEngine->Run([this] { FEngine->FormClose(); });
        if (FApplication) {
            // the program ends with its windows in place (see main.cpp)
            PostQuitMessage(0);
            return 0;
        }
        DestroyWindow(FWindow);
        return 0;
    case WM_DESTROY:
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tInit) + 1);
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tRdIn_Vexo) + 1);
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tSetupWindow) + 1);
        FEngine.reset();
        SetSerialWake(nullptr);
        if (FApplication)
            PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
        FWindow = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(FWindow, msg, wp, lp);
}

void TfAT_Vexo::BuildToolbar()
{
    FToolBar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                   CCS_NOPARENTALIGN | CCS_NODIVIDER,
                               0, 0, kClientWidth, kToolBarHeight, FWindow, nullptr, GetModuleHandleW(nullptr), nullptr);
    FControls.Add("ToolBar1", FToolBar);
    SendMessageW(FToolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    FImages = ImageList_Create(16, 16, ILC_COLOR32, 7, 0);
    for (int i = 0; i <= 6; ++i) {
        const std::wstring name = L"TB" + std::to_wstring(i);
        TPicture picture = LoadPictureResource(name.c_str());
        ImageList_Add(FImages, picture.bitmap, nullptr); // a missing one leaves a gap, nothing more
        if (picture.bitmap)
            DeleteObject(picture.bitmap);
    }
    SendMessageW(FToolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(FImages));
    SendMessageW(FToolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
    // 31 high: some toolbars take the height from the picture and padding
    SendMessageW(FToolBar, TB_SETPADDING, 0, MAKELPARAM(7, 31 - 16));
    SendMessageW(FToolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(72, 31));
    // separators and buttons in the order and widths of the layout
    for (const auto &c : vexo_ui::kMainControls) {
        if (std::strcmp(c.parent, "ToolBar1") != 0)
            continue;
        TBBUTTON b{};
        b.fsState = TBSTATE_ENABLED;
        const TToolButton *tool = nullptr;
        for (const auto &t : kToolButtons)
            if (std::strcmp(t.name, c.name) == 0)
                tool = &t;
        if (tool) {
            b.iBitmap = tool->image;
            b.idCommand = tool->id;
            b.fsStyle = BTNS_BUTTON;
        } else {
            b.iBitmap = c.width; // a separator's width
            b.fsStyle = BTNS_SEP;
        }
        SendMessageW(FToolBar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&b));
    }
    // adding buttons may recompute the size from the pictures: set it again,
    // and each button's own width too
    SendMessageW(FToolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(72, 31));
    for (const auto &t : kToolButtons) {
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_SIZE;
        info.cx = 72;
        SendMessageW(FToolBar, TB_SETBUTTONINFOW, static_cast<WPARAM>(t.id), reinterpret_cast<LPARAM>(&info));
    }
    SendMessageW(FToolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(72, 31));
}

std::string TfAT_Vexo::ToolbarHint(int command) const
{
    for (const auto &t : kToolButtons)
        if (t.id == command)
            if (const auto *c = UiControl(t.name); c && c->hint)
                return c->hint;
    return {};
}

void TfAT_Vexo::BuildControls()
{
    FPanel1 = MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 0, kToolBarHeight, kClientWidth,
                        kClientHeight - kToolBarHeight, FWindow);
    SetWindowLongPtrW(FPanel1, GWLP_USERDATA, kPanelBevel);
    FControls.Add("Panel1", FPanel1);
    const int inner = kClientWidth - 4;
    HWND panel2 = FControls.Add("Panel2", MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 2, 2, inner, kPanel2Height, FPanel1));
    HWND panel4 = FControls.Add("Panel4", MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 2, 2 + kPanel2Height, inner,
                                                    kPanel4Height, FPanel1));
    FPanel3 = FControls.Add("Panel3", MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 2, 2 + kPanel2Height + kPanel4Height,
                                                inner, 100, FPanel1));
    for (HWND p : {panel2, panel4, FPanel3})
        SetWindowLongPtrW(p, GWLP_USERDATA, kPanelBevel);

    HFONT windowFont = FControls.Font({L"MS Sans Serif", 12, false, false, false, DEFAULT_CHARSET});
    SendMessageW(FWindow, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
    SendMessageW(FToolBar, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
    HFONT courier = FControls.Font({L"Courier New", 12});
    HFONT courier15 = FControls.Font({L"Courier New", 15});
    HFONT label6Font = FControls.Font({L"Courier New", 12, false, true});

    for (const auto &c : vexo_ui::kMainControls) {
        const bool inPanel2 = std::strcmp(c.parent, "Panel2") == 0;
        if (!inPanel2 && std::strcmp(c.parent, "Panel4") != 0)
            continue;
        HWND parent = inPanel2 ? panel2 : panel4;
        const std::string kind = c.kind;
        const std::string text = c.text ? c.text : "";
        HWND h = nullptr;
        if (kind == "QPushButton") {
            h = MakeChild(WC_BUTTONW, text, WS_TABSTOP | BS_PUSHBUTTON, c.left, c.top, c.width, c.height, parent);
        } else if (kind == "QToolButton") { // the scanner's picture button
            h = MakeChild(WC_BUTTONW, "", BS_OWNERDRAW, c.left, c.top, c.width, c.height, parent, kScanId);
        } else if (kind == "QLabel") {
            // a label with a hint takes the mouse, so that its tooltip shows
            h = MakeChild(WC_STATICW, text, SS_LEFT | SS_NOPREFIX | (c.hint ? SS_NOTIFY : 0), c.left, c.top, c.width,
                          c.height, parent);
        } else if (kind == "QComboBox" || kind == "TEditCombo") { // all four are editable
            // the height given is the drop-down's; the edit's own follows the font
            h = MakeChild(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, c.left, c.top,
                          c.width, 200, parent);
        } else if (kind == "QProgressBar") {
            h = MakeChild(PROGRESS_CLASSW, "", 0, c.left, c.top, c.width, c.height, parent);
            SendMessageW(h, PBM_SETRANGE32, 0, 100);
            SendMessageW(h, PBM_SETSTEP, 10, 0);
        } else if (kind == "QCheckBox") {
            h = MakeChild(WC_BUTTONW, text, WS_TABSTOP | BS_AUTOCHECKBOX, c.left, c.top, c.width, c.height, parent);
        } else if (kind == "TSpinEdit") {
            // edit and arrows side by side within the spin edit's width; the
            // arrows change the text by the spin rules, not a position
            const int arrows = GetSystemMetrics(SM_CXVSCROLL);
            h = MakeChild(WC_EDITW, "1", WS_TABSTOP | ES_AUTOHSCROLL, c.left, c.top, c.width - arrows, c.height,
                          parent, 0, WS_EX_CLIENTEDGE);
            HWND ud = MakeChild(UPDOWN_CLASSW, "", UDS_NOTHOUSANDS, c.left + c.width - arrows, c.top, arrows,
                                c.height, parent);
            // the control may have sized itself on creation
            SetWindowPos(ud, nullptr, c.left + c.width - arrows, c.top, arrows, c.height, SWP_NOZORDER);
            SendMessageW(ud, UDM_SETRANGE32, kSpinMin, kSpinMax);
            FControls.Add(std::string(c.name) + ".updown", ud);
            SetWindowSubclass(h, SpinEditProc, 1, 0);
        }
        if (!h)
            continue;
        FControls.Add(c.name, h);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(std::strcmp(c.name, "cbRSname") == 0 ? courier15 : courier),
                     FALSE);
        for (int i = 0; i < c.itemCount; ++i)
            SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(c.items[i]).c_str()));
        if (c.hint)
            FControls.SetHint(h, c.hint);
        if (kind == "QPushButton" || kind == "QToolButton" || std::strcmp(c.name, "cbRSname") == 0)
            FControls.SetHandCursor(h);
    }
    std::string error;
    TPicture scan = LoadPictureResource(L"SCANNER", &error);
    TPicture scanOff = LoadPictureResource(L"SCANNER_DISABLED", &error);
    FScanGlyph = {scan.bitmap, scanOff.bitmap, scan.width, scan.height};

    const auto *label6 = UiControl("Label6");
    HWND l6 = FControls.Add("Label6", MakeChild(WC_STATICW, label6 && label6->text ? label6->text : "",
                                                SS_CENTER | SS_NOPREFIX, 2, 2, inner - 4, 16, FPanel3));
    SendMessageW(l6, WM_SETFONT, reinterpret_cast<WPARAM>(label6Font), FALSE);
    FControls.SetTextColour(l6, RGB(128, 0, 0));

    // the log: wraps at its width, vertical scroll bar only when needed
    HWND log = FControls.Add("reWin", MakeChild(MSFTEDIT_CLASS, "", WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                                                        ES_WANTRETURN | ES_NOHIDESEL,
                                                2, 18, inner - 4, 100, FPanel3));
    SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(courier), FALSE);
    SendMessageW(log, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    // no practical limit on the log's length: it is never trimmed
    SendMessageW(log, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void TfAT_Vexo::Layout()
{
    if (!FPanel1)
        return;
    RECT r;
    GetClientRect(FWindow, &r);
    const int w = r.right, h = r.bottom;
    MoveWindow(FToolBar, 0, 0, w, kToolBarHeight, TRUE);
    MoveWindow(FPanel1, 0, kToolBarHeight, w, std::max(0, h - kToolBarHeight), TRUE);
    const int inner = std::max(0, w - 4);
    MoveWindow(FControls["Panel2"], 2, 2, inner, kPanel2Height, TRUE);
    MoveWindow(FControls["Panel4"], 2, 2 + kPanel2Height, inner, kPanel4Height, TRUE);
    // only the log's panel follows the window
    const int top3 = 2 + kPanel2Height + kPanel4Height;
    const int h3 = std::max(0, h - kToolBarHeight - 2 - top3);
    MoveWindow(FPanel3, 2, top3, inner, h3, TRUE);
    MoveWindow(FControls["Label6"], 2, 2, std::max(0, inner - 4), 16, TRUE);
    MoveWindow(FControls["reWin"], 2, 18, std::max(0, inner - 4), std::max(0, h3 - 20), TRUE);
}

void TfAT_Vexo::OnCommand(int id, int code, HWND control)
{
    if (!FEngine)
        return;
    // A click hands the control's name to the engine, which knows its action.
    if (code == BN_CLICKED) {
        for (const auto &t : kToolButtons) {
            if (t.id == id) {
                FEngine->Click(t.name);
                return;
            }
        }
        if (const std::string *name = control ? FControls.NameOf(control) : nullptr) {
            FEngine->Click(*name);
            return;
        }
    }
    if (code == EN_KILLFOCUS && control == FControls["seAdrModBus"]) {
        const std::string text = Text(TViewText::seAdrModBus);
        const std::string clamped = SpinClampOnFocusOut(text, kSpinMin, kSpinMax);
        if (clamped != text)
            SetText(TViewText::seAdrModBus, clamped);
    }
}
