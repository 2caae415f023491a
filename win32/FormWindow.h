// One top-level window of the program built from its form table: every
// control made by walking the table, laid out by alignment and scaled by
// the window's DPI (relaid on WM_DPICHANGED), the 50 ms start timer, the
// keyboard (tab order, Enter on buttons), modal showing, and the backstop
// that keeps exceptions from crossing the window procedure.
#pragma once

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include <commctrl.h>

#include "Forms.h"
#include "Widgets.h"

class TFormWindow {
public:
    // `dpi` 0: the DPI of the screen the window opens on.
    TFormWindow(const forms::TForm &form, HWND owner, int dpi = 0);
    virtual ~TFormWindow();
    TFormWindow(const TFormWindow &) = delete;
    TFormWindow &operator=(const TFormWindow &) = delete;

    HWND Handle() const { return FWindow; }
    const forms::TForm &Form() const { return FForm; }
    HWND Control(std::string_view name) const { return FControls[std::string(name)]; }
    const TControlSet &Controls() const { return FControls; }
    // The table row of a control of this window; nullptr when it has none.
    const forms::TControl *RowOf(HWND control) const;
    // The WM_COMMAND id a button (also a toolbar button) sends; 0: none.
    int CommandId(std::string_view name) const;
    // The hint a control keeps, also one never shown as a tooltip.
    std::string Hint(HWND control) const;
    // The picture a control shows at its own size.
    const TPictureView *Picture(std::string_view name) const;

    int Dpi() const { return FDpi; }
    // Design pixels (at the form's design DPI) at the window's DPI.
    int Scaled(int designPixels) const;

    // Shows the window modally: the owner takes no input until Close.
    void ShowModal();
    void Close() { FDone = true; }
    int ModalResult() const { return FResult; }
    bool StartTimerFired() const { return FMoved; }

    // Where exceptions that reach a window procedure go (the engine's box
    // queue); without one they are shown in a plain box.
    static void SetErrorSink(std::function<void(std::exception_ptr)> sink);

protected:
    // Makes the window (not shown); `startTimers`: the table's timers that
    // are enabled at creation start counting (else their owner runs them).
    bool CreateForm(bool startTimers);
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
    // A click on a control with an action (button, toolbar button, link).
    virtual void Click(const forms::TControl &control, HWND sender);
    // A tick of one of the table's timers: the start timer's first tick
    // stops it and runs tInitTimer.
    virtual void TimerTick(const forms::TControl &timer);
    // The window goes to the screen's top-left corner.
    virtual void tInitTimer();
    // A key released while an OK button has the focus.
    virtual void ButtonKeyUp(const forms::TControl &, WPARAM) {}
    // Opens a link label's hint through the shell (or the test's opener).
    void OpenHint(HWND sender);
    void FitLabel(HWND label);
    void Layout();
    // Puts the window in its monitor's work area (made, or at another DPI):
    // a form with a least client height gets its design height, or where
    // the area is too short less, given up by its Client-aligned rows (the
    // log); then the window moves inside the area, or one larger than it
    // puts its top-left corner in it.
    void FitWorkArea();
    // To the work area's top-left corner, the top edge first.
    void MoveToWorkAreaCorner();

    HWND FOwner;
    HWND FWindow = nullptr;
    TControlSet FControls;

public:
    // The shell's "open" on a link; tests put a recorder here.
    using LinkOpener = std::function<void(HWND owner, const std::string &file)>;
    static void SetLinkOpener(LinkOpener opener);

private:
    template <typename T>
    friend T *FormOf(HWND, UINT, LPARAM);
    struct TNode {
        const forms::TControl *row = nullptr;
        HWND handle = nullptr;
        HWND updown = nullptr; // a spin edit's arrows
        int id = 0;            // WM_COMMAND id
        TPictureView picture;  // as decoded
        TGlyph glyph;          // at the window's DPI
        TPanelLook look;
    };
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK SpinProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK RichProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Base(UINT msg, WPARAM wp, LPARAM lp);
    void Build();
    void ApplyScale(); // fonts, pictures and the toolbar at FDpi
    void ScaleToolBar(TNode &bar);
    void OrderTabs();
    void LayoutChildren(std::string_view parent, RECT area);
    void DpiChanged(int dpi, const RECT &suggested);
    void Command(int id, int code, HWND from);
    TNode *NodeOf(HWND control);
    TNode *NodeOf(std::string_view name);
    const forms::TFont &TableFont(const forms::TControl *row) const;
    int WidthLimit(const forms::TFont &font) const;
    int FittedHeight(const forms::TFont &font) const; // the height whose characters keep the limit
    HFONT FontFor(const forms::TControl *row);
    COLORREF BackgroundOf(const forms::TControl *row) const;
    HWND FirstTabStop() const;
    friend bool PreTranslateFormMessage(MSG &msg);

    const forms::TForm &FForm;
    int FDpi;
    std::vector<TNode> FNodes;
    std::map<std::string, HFONT> FFonts; // by face, height and style, at FDpi
    std::map<std::string, HBRUSH> FBrushes;
    HIMAGELIST FToolImages = nullptr;
    std::wstring FTipText; // the toolbar tooltip being shown
    HWND FLastFocus = nullptr;
    bool FDone = false, FMoved = false, FStartTimers = false;
    int FResult = 0;
};

// The message loop's step for every window of the program: keyboard
// navigation (Tab, Shift+Tab, Enter and Space on buttons, Escape) before
// the message is dispatched. True when the message was handled.
bool PreTranslateFormMessage(MSG &msg);

// A table colour as the platform's (CLR_INVALID: inherited).
COLORREF ColourOf(const forms::TColour &colour);

// The process handles DPI itself: per-monitor (v2 where Windows offers
// it), system-aware on Windows 7 and 8.
void DeclareDpiAware();
// The DPI of the primary screen; of a window.
int ScreenDpi();
int WindowDpi(HWND window);
