// The help window "TfHelpATVexo" and the about window "TAboutForm": each
// created anew for one modal showing, owned by the main window, and destroyed
// afterwards.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <windows.h>

#include "Widgets.h"

class TfHelpATVexo {
public:
    explicit TfHelpATVexo(HWND owner);
    ~TfHelpATVexo();
    HWND Handle() const { return FWindow; }
    HWND Control(const std::string &name) const { return FControls[name]; }
    const TPictureView &Photo() const { return FPhoto; }
    void ShowModal();
    void Close() { FDone = true; }
    bool StartTimerFired() const { return FMoved; }

    // handlers
    void tInitTimer();
    void FormKeyUp(WPARAM key);

private:
    template <typename T>
    friend T *FormOf(HWND, UINT, LPARAM);
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Layout();
    HWND FOwner, FWindow = nullptr;
    TControlSet FControls;
    TPictureView FPhoto;
    bool FDone = false, FMoved = false;
};

class TAboutForm {
public:
    explicit TAboutForm(HWND owner);
    ~TAboutForm();
    HWND Handle() const { return FWindow; }
    HWND Control(const std::string &name) const { return FControls[name]; }
    const TPictureView &Logo() const { return FLogo; }
    // The hint of a link label: what a click opens (never shown).
    std::string Hint(HWND label) const;
    int ModalResult() const { return FResult; }
    void ShowModal();
    void Close() { FDone = true; }
    bool StartTimerFired() const { return FMoved; }

    // handlers
    void FormShow();
    void tInitTimer();
    void OKButtonKeyUp(WPARAM key);
    void l_httpClick(HWND sender);
    void l_mailClick(HWND sender);

    // The shell's "open" on a link; tests put a recorder here.
    using LinkOpener = std::function<void(HWND owner, const std::string &file)>;
    static void SetLinkOpener(LinkOpener opener);

private:
    template <typename T>
    friend T *FormOf(HWND, UINT, LPARAM);
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OpenHint(HWND sender);
    void FitLabel(HWND label);
    HWND FOwner, FWindow = nullptr;
    TControlSet FControls;
    std::map<HWND, std::string> FHints;
    TPictureView FLogo;
    TGlyph FCheck;
    bool FDone = false, FMoved = false;
    int FResult = 0;
};

// The program-wide references the openers set while a window is shown.
extern TfHelpATVexo *fHelpATVexo;
extern TAboutForm *AboutForm;

void ShowHelpForm(HWND owner);
void ShowAboutForm(HWND owner);

// Creates a window of class T owned by `owner`, points `current` at it while
// it is shown modally and releases it afterwards, however the showing ended.
template <typename T>
void ShowModalOnce(HWND owner, T *&current)
{
    T form(owner);
    current = &form;
    struct TForget {
        T *&current;
        ~TForget() { current = nullptr; }
    } forget{current};
    form.ShowModal();
}
