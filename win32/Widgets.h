// Pieces shared by the program's windows: bevelled panels, named controls
// with tooltips and colours, picture buttons and pictures, and the modal
// loop of the secondary windows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <windows.h>

// Registers the window classes below (once per process).
void RegisterWidgetClasses();

// Registers a top-level window class of the program once: its icon, the
// arrow cursor and `background` (none: the window paints all of it).
void RegisterFormClass(const wchar_t *name, WNDPROC proc, HBRUSH background = nullptr);

// The object behind a top-level window: taken from the creation parameter at
// WM_NCCREATE (and its `FWindow` set), read from the window's data after.
template <typename T>
T *FormOf(HWND window, UINT msg, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto *self = static_cast<T *>(reinterpret_cast<CREATESTRUCTW *>(lp)->lpCreateParams);
        self->FWindow = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    return reinterpret_cast<T *>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// "VexoPanel": a panel that hands its children's notifications to its
// top-level window, with its look in the window's user data (a TPanelLook,
// or none: plain button face).
inline constexpr wchar_t kPanelClass[] = L"VexoPanel";
struct TPanelLook {
    enum TEdge { None, Lowered, Raised } edge = None; // Lowered: raised outer and lowered inner line
    COLORREF background = CLR_INVALID;                // CLR_INVALID: button face
};

// The controls of one window, by name, with what the window paints for them.
class TControlSet {
public:
    ~TControlSet();
    void Init(HWND owner);
    HWND Add(const std::string &name, HWND control);
    HWND operator[](const std::string &name) const; // null when unknown
    const std::string *NameOf(HWND control) const;
    std::vector<std::string> Names() const;

    // Tooltip text (UTF-8, CR LF breaks lines); for combo boxes also their edit.
    void SetHint(HWND control, const std::string &hint);
    std::string Hint(HWND control) const; // read back from the tooltip control
    HWND Tooltips() const { return FTips; }

    void SetTextColour(HWND control, COLORREF colour) { FColours[control] = colour; }
    void SetHandCursor(HWND control) { FHand.push_back(control); }
    // WM_CTLCOLORSTATIC / WM_SETCURSOR answers for the controls here.
    bool CtlColor(HDC dc, HWND control, LRESULT &result) const;
    bool SetCursorFor(HWND control) const;

private:
    HWND FOwner = nullptr;
    HWND FTips = nullptr;
    std::map<std::string, HWND> FByName;
    std::map<HWND, std::string> FNames;
    std::map<HWND, COLORREF> FColours;
    std::vector<HWND> FHand;
    std::vector<std::wstring *> FTipTexts;
};

HWND MakeChild(const wchar_t *cls, const std::string &text, DWORD style, int x, int y, int w, int h, HWND parent,
               int id = 0, DWORD exStyle = 0);

// An owner-drawn push button with a picture `margin` px from its left edge
// (centred when it has no caption) and the caption centred beside it; the
// grey twin when disabled.
struct TGlyph {
    HBITMAP normal = nullptr, disabled = nullptr;
    int width = 0, height = 0;
};
void DrawGlyphButton(const DRAWITEMSTRUCT &item, const TGlyph &glyph, int margin);

// A picture drawn from its top-left corner at `scale` percent of its size
// (smoothly), cut off at the control's edges ("VexoPicture"; the window's
// user data points here).
struct TPictureView {
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
    int scale = 100;
};
inline constexpr wchar_t kPictureClass[] = L"VexoPicture";

// Runs a modal loop for `window` (shown, owner disabled, `focus` or the
// window itself focused) until `done`; `preTranslate` sees each message first.
void RunModal(HWND window, HWND owner, const bool &done, HWND focus, bool (*preTranslate)(MSG &));
