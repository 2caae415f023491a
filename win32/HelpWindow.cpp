#include "HelpAbout.h"

#include <commctrl.h>
#include <richedit.h>

#include "Pictures.h"
#include "VexoTexts.h"
#include "WinText.h"

TfHelpATVexo *fHelpATVexo = nullptr;

namespace {

constexpr wchar_t kClass[] = L"TfHelpATVexo";
constexpr UINT_PTR kInitTimer = 1;
constexpr int kClientWidth = 593, kClientHeight = 727;
constexpr int kLabelHeight = 20, kWarningHeight = 39, kPhotoHeight = 312;

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
    case WM_SETCURSOR:
        if (msg == WM_SETCURSOR)
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return msg == WM_SETCURSOR;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefSubclassProc(view, msg, wp, lp);
    }
}

HWND ReadOnlyView(const std::wstring &text, COLORREF colour, HFONT font, int x, int y, int w, int h, HWND parent,
                  bool scroll)
{
    HWND view = CreateWindowExW(0, MSFTEDIT_CLASS, nullptr,
                                WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | (scroll ? WS_VSCROLL : 0), x, y,
                                w, h, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(view, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    // a 1 px inner margin, as the lines were laid out for
    SendMessageW(view, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
    SetWindowTextW(view, text.c_str());
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = colour;
    SendMessageW(view, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SetWindowSubclass(view, ReadOnlyProc, 1, 0);
    return view;
}

template <size_t N>
std::wstring Lines(const char *const (&lines)[N])
{
    std::wstring text;
    for (size_t i = 0; i < N; ++i)
        text += (i ? L"\r" : L"") + Wide(lines[i]);
    return text;
}

} // namespace

TfHelpATVexo::TfHelpATVexo(HWND owner)
    : FOwner(owner)
{
    RegisterWidgetClasses();
    RegisterFormClass(kClass, Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    CreateWindowExW(0, kClass, Wide(vexo_ui::kHelpCaption).c_str(), style, 368, 211, outer.right - outer.left,
                    outer.bottom - outer.top, owner, nullptr, GetModuleHandleW(nullptr), this);
}

TfHelpATVexo::~TfHelpATVexo()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    if (FPhoto.bitmap)
        DeleteObject(FPhoto.bitmap);
}

LRESULT CALLBACK TfHelpATVexo::Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *self = FormOf<TfHelpATVexo>(window, msg, lp);
    return self ? self->Handle(msg, wp, lp) : DefWindowProcW(window, msg, wp, lp);
}

LRESULT TfHelpATVexo::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    switch (msg) {
    case WM_CREATE: {
        FControls.Init(FWindow);
        HFONT courier = FControls.Font({L"Courier New", 12});
        SendMessageW(FWindow, WM_SETFONT, reinterpret_cast<WPARAM>(courier), FALSE);
        HWND label = FControls.Add("Label1", MakeChild(WC_STATICW, vexo_ui::kHelpLabel1, SS_CENTER | SS_NOPREFIX, 0,
                                                       0, kClientWidth, kLabelHeight, FWindow));
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(FControls.Font({L"Courier New", 17, true, true})),
                     FALSE);
        FControls.SetTextColour(label, RGB(0, 0, 255));
        HWND panel1 = FControls.Add("Panel1", MakeChild(kPanelClass, "", WS_CLIPCHILDREN, 0, kLabelHeight,
                                                        kClientWidth, kClientHeight - kLabelHeight, FWindow));
        SetWindowLongPtrW(panel1, GWLP_USERDATA, kPanelBevel);
        const int inner = kClientWidth - 4;
        HWND panel2 = FControls.Add("Panel2", MakeChild(kPanelClass, "", 0, 2, 2, inner, kWarningHeight, panel1));
        FControls.Add("RichEdit1", ReadOnlyView(Lines(vexo_ui::kHelpWarning), RGB(255, 0, 0), courier, 0, 0, inner,
                                                kWarningHeight, panel2, false));
        // a missing or damaged picture leaves the control empty, nothing more
        TPicture photo = LoadPictureResource(L"HELP_VEXO");
        FPhoto = {photo.bitmap, photo.width, photo.height};
        HWND image = FControls.Add("Image1", MakeChild(kPictureClass, "", 0, 2, 2 + kWarningHeight, inner,
                                                       kPhotoHeight, panel1));
        SetWindowLongPtrW(image, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&FPhoto));
        const int top2 = 2 + kWarningHeight + kPhotoHeight;
        FControls.Add("RichEdit2", ReadOnlyView(Lines(vexo_ui::kHelpLines), GetSysColor(COLOR_WINDOWTEXT), courier, 2,
                                                top2, inner, kClientHeight - kLabelHeight - 2 - top2, panel1, true));
        SetTimer(FWindow, kInitTimer, 50, nullptr);
        return 0;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_CTLCOLORSTATIC:
        if (FControls.CtlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), result))
            return result;
        break;
    case WM_TIMER:
        if (wp == kInitTimer)
            tInitTimer();
        return 0;
    case WM_KEYUP:
        FormKeyUp(wp);
        return 0;
    case WM_CLOSE:
        FDone = true;
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

void TfHelpATVexo::Layout()
{
    HWND panel1 = FControls["Panel1"];
    if (!panel1)
        return;
    RECT r;
    GetClientRect(FWindow, &r);
    MoveWindow(FControls["Label1"], 0, 0, r.right, kLabelHeight, TRUE);
    const int h1 = std::max<int>(0, r.bottom - kLabelHeight);
    MoveWindow(panel1, 0, kLabelHeight, r.right, h1, TRUE);
    const int inner = std::max<int>(0, r.right - 4);
    MoveWindow(FControls["Panel2"], 2, 2, inner, kWarningHeight, TRUE);
    MoveWindow(FControls["RichEdit1"], 0, 0, inner, kWarningHeight, TRUE);
    MoveWindow(FControls["Image1"], 2, 2 + kWarningHeight, inner, kPhotoHeight, TRUE);
    const int top2 = 2 + kWarningHeight + kPhotoHeight;
    MoveWindow(FControls["RichEdit2"], 2, top2, inner, std::max(0, h1 - 2 - top2), TRUE);
}

void TfHelpATVexo::tInitTimer()
{
    KillTimer(FWindow, kInitTimer);
    MoveTopThenLeft(FWindow);
    FMoved = true;
}

void TfHelpATVexo::FormKeyUp(WPARAM key)
{
    if (key == VK_ESCAPE)
        Close();
}

void TfHelpATVexo::ShowModal()
{
    FDone = false;
    RunModal(FWindow, FOwner, FDone);
    ShowWindow(FWindow, SW_HIDE);
}

void ShowHelpForm(HWND owner) { ShowModalOnce(owner, fHelpATVexo); }
