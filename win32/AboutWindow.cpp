#include "HelpAbout.h"

#include <commctrl.h>
#include <shellapi.h>

#include "Forms.h"
#include "Pictures.h"
#include "VexoTexts.h"
#include "WinText.h"

TAboutForm *AboutForm = nullptr;

namespace {

constexpr wchar_t kClass[] = L"TAboutForm";
constexpr UINT_PTR kInitTimer = 1;
constexpr int kClientWidth = 368, kClientHeight = 252;
constexpr int kOkId = 1; // IDOK: the modal result
constexpr COLORREF kNavy = RGB(0, 0, 128), kBlue = RGB(0, 0, 255), kTeal = RGB(0, 128, 128), kBlack = RGB(0, 0, 0);

TAboutForm::LinkOpener &Opener()
{
    static TAboutForm::LinkOpener opener;
    return opener;
}

} // namespace

void TAboutForm::SetLinkOpener(LinkOpener opener)
{
    Opener() = std::move(opener);
}

TAboutForm::TAboutForm(HWND owner)
    : FOwner(owner)
{
    RegisterWidgetClasses();
    RegisterFormClass(kClass, Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // no border, no title bar; centred on the screen
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kClientWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kClientHeight) / 2;
    CreateWindowExW(0, kClass, Wide(vexo_ui::kAboutCaption).c_str(), WS_POPUP | WS_CLIPCHILDREN, x, y, kClientWidth,
                    kClientHeight, owner, nullptr, GetModuleHandleW(nullptr), this);
}

TAboutForm::~TAboutForm()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    for (HBITMAP b : {FLogo.bitmap, FCheck.normal, FCheck.disabled})
        if (b)
            DeleteObject(b);
}

LRESULT CALLBACK TAboutForm::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *self = FormOf<TAboutForm>(window, msg, lp);
    return self ? self->Handle(msg, wp, lp) : DefWindowProcW(window, msg, wp, lp);
}

LRESULT CALLBACK TAboutForm::ButtonProc(HWND button, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self)
{
    if (msg == WM_KEYUP) {
        reinterpret_cast<TAboutForm *>(self)->OKButtonKeyUp(wp);
        return 0;
    }
    if (msg == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return DefSubclassProc(button, msg, wp, lp);
}

void TAboutForm::FitLabel(HWND label)
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

LRESULT TAboutForm::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_CREATE: {
        FControls.Init(FWindow);
        TPicture logo = LoadPictureResource(L"ABOUT_LOGO");
        FLogo = {logo.bitmap, logo.width, logo.height};
        HWND image = FControls.Add("Image1", MakeChild(kPictureClass, "", 0, 0, 0, 169, 161, FWindow));
        SetWindowLongPtrW(image, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&FLogo));
        struct TLabel {
            const char *name, *text;
            int x, y;
            TFontStyle font;
            COLORREF colour;
            DWORD align;
        };
        const TLabel labels[] = {
            {"lNamePO", vexo_ui::kAbout_lNamePO, 188, 32, {L"MS Sans Serif", 20, true, true}, kNavy, SS_CENTER},
            {"Label5", vexo_ui::kAbout_Label5, 188, 72, {L"MS Sans Serif", 12, true, true}, kNavy, SS_LEFT},
            {"Label2", vexo_ui::kAbout_Label2, 176, 120, {L"MS Sans Serif", 12}, kBlack, SS_LEFT},
            {"Label_versPr", vexo_ui::kAbout_Label_versPr, 224, 120, {L"MS Sans Serif", 12, true, true}, kNavy, SS_LEFT},
            {"Label1", vexo_ui::kAbout_Label1, 174, 156, {L"MS Sans Serif", 12}, kBlack, SS_CENTER},
            {"address", vexo_ui::kAbout_address, 10, 176, {L"MS Sans Serif", 12}, kBlack, SS_LEFT},
            {"l_http", vexo_ui::kAbout_l_http, 8, 200, {L"MS Sans Serif", 12, true}, kBlue, SS_LEFT | SS_NOTIFY},
            {"l_mail", vexo_ui::kAbout_l_mail, 8, 224, {L"MS Sans Serif", 12, true}, kTeal, SS_LEFT | SS_NOTIFY},
        };
        for (const auto &l : labels) {
            HWND h = FControls.Add(l.name, MakeChild(WC_STATICW, l.text, l.align | SS_NOPREFIX, l.x, l.y, 10, 10,
                                                     FWindow));
            SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(FControls.Font(l.font)), FALSE);
            FControls.SetTextColour(h, l.colour);
            FitLabel(h);
        }
        FHints[FControls["l_http"]] = vexo_ui::kAboutHint_l_http;
        FHints[FControls["l_mail"]] = vexo_ui::kAboutHint_l_mail;
        FControls.SetHandCursor(FControls["l_http"]);
        FControls.SetHandCursor(FControls["l_mail"]);

        TPicture check = LoadPictureResource(L"OK");
        TPicture checkOff = LoadPictureResource(L"OK_DISABLED");
        FCheck = {check.bitmap, checkOff.bitmap, check.width, check.height};
        HWND ok = FControls.Add("OKButton", MakeChild(WC_BUTTONW, vexo_ui::kAboutOK, WS_TABSTOP | BS_OWNERDRAW, 271,
                                                      207, 74, 33, FWindow, kOkId));
        SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(FControls.Font({L"MS Sans Serif", 12, true})), FALSE);
        FControls.SetHandCursor(ok);
        SetWindowSubclass(ok, ButtonProc, 1, reinterpret_cast<DWORD_PTR>(this));
        SetTimer(FWindow, kInitTimer, 50, nullptr);
        return 0;
    }
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lp);
        if (LOWORD(wp) == kOkId && HIWORD(wp) == BN_CLICKED) {
            FResult = kOkId;
            Close();
        } else if (HIWORD(wp) == STN_CLICKED && from == FControls["l_http"]) {
            l_httpClick(from);
        } else if (HIWORD(wp) == STN_CLICKED && from == FControls["l_mail"]) {
            l_mailClick(from);
        }
        return 0;
    }
    case WM_DRAWITEM: {
        const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lp);
        if (item->hwndItem == FControls["OKButton"]) {
            DrawGlyphButton(*item, FCheck, 2);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        if (FControls.CtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), result))
            return result;
        break;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && FControls.SetCursorFor(reinterpret_cast<HWND>(wp)))
            return TRUE;
        break;
    case WM_SHOWWINDOW:
        if (wp)
            FormShow();
        break;
    case WM_TIMER:
        if (wp == kInitTimer)
            tInitTimer();
        return 0;
    case WM_CLOSE:
        Close();
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

std::string TAboutForm::Hint(HWND label) const
{
    const auto it = FHints.find(label);
    return it == FHints.end() ? std::string() : it->second;
}

void TAboutForm::FormShow()
{
    for (const auto &[name, text] : {std::pair{"lNamePO", forms::AboutShownName},
                                     std::pair{"Label_versPr", forms::AboutShownVersion}}) {
        HWND label = FControls[name];
        SetWindowTextW(label, Wide(std::string(text)).c_str());
        FitLabel(label);
    }
}

void TAboutForm::tInitTimer()
{
    KillTimer(FWindow, kInitTimer);
    MoveTopThenLeft(FWindow);
    FMoved = true;
}

void TAboutForm::OKButtonKeyUp(WPARAM key)
{
    if (key == VK_ESCAPE || key == VK_RETURN)
        Close();
}

void TAboutForm::l_httpClick(HWND sender)
{
    OpenHint(sender);
}

void TAboutForm::l_mailClick(HWND sender)
{
    OpenHint(sender);
}

void TAboutForm::OpenHint(HWND sender)
{
    const auto it = FHints.find(sender);
    if (it == FHints.end())
        return; // not a link label
    // the shell's owner: the application's own top-level window
    HWND owner = FOwner ? GetAncestor(FOwner, GA_ROOTOWNER) : nullptr;
    try {
        if (const auto &opener = Opener(); opener) {
            opener(owner, it->second);
            return;
        }
        // the hints are ASCII web and mail addresses; the result does not
        // matter: a link that cannot be opened is ignored
        ShellExecuteA(owner, "open", it->second.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } catch (...) {
        // silently: the window stays open
    }
}

void TAboutForm::ShowModal()
{
    FDone = false;
    FResult = 0;
    RunModal(FWindow, FOwner, FDone, FControls["OKButton"]);
    ShowWindow(FWindow, SW_HIDE);
}

void ShowAboutForm(HWND owner) { ShowModalOnce(owner, AboutForm); }
