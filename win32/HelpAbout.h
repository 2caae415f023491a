// The help window "TfHelpATVexo" and the about window "TAboutForm": each
// created anew for one modal showing, owned by the main window, and destroyed
// afterwards.
#pragma once

#include <string>

#include <windows.h>

#include "FormWindow.h"

class TfHelpATVexo final : public TFormWindow {
public:
    explicit TfHelpATVexo(HWND owner);
    const TPictureView &Photo() const { return *Picture("Image1"); }

    // handlers
    void FormKeyUp(WPARAM key);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

class TAboutForm final : public TFormWindow {
public:
    explicit TAboutForm(HWND owner);
    const TPictureView &Logo() const { return *Picture("Image1"); }

    // handlers
    void FormShow();
    void OKButtonKeyUp(WPARAM key);
    void l_httpClick(HWND sender) { OpenHint(sender); }
    void l_mailClick(HWND sender) { OpenHint(sender); }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void ButtonKeyUp(const forms::TControl &, WPARAM key) override { OKButtonKeyUp(key); }
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
