#include "HelpAbout.h"

TfHelpATVexo *fHelpATVexo = nullptr;

TfHelpATVexo::TfHelpATVexo(HWND owner)
    : TFormWindow(forms::HelpForm, owner)
{
    CreateForm(true); // tInit among them
}

LRESULT TfHelpATVexo::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_KEYUP) {
        FormKeyUp(wp);
        return 0;
    }
    return TFormWindow::WndProc(msg, wp, lp);
}

void TfHelpATVexo::FormKeyUp(WPARAM key)
{
    if (key == VK_ESCAPE)
        Close();
}

void ShowHelpForm(HWND owner) { ShowModalOnce(owner, fHelpATVexo); }
