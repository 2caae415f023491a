#include "HelpAbout.h"

#include "WinText.h"

TAboutForm *AboutForm = nullptr;

TAboutForm::TAboutForm(HWND owner)
    : TFormWindow(forms::AboutForm, owner)
{
    CreateForm(true); // tInit among them
}

LRESULT TAboutForm::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SHOWWINDOW && wp)
        FormShow();
    return TFormWindow::WndProc(msg, wp, lp);
}

void TAboutForm::FormShow()
{
    for (const auto &[name, text] :
         {std::pair{"lNamePO", forms::AboutShownName}, std::pair{"Label_versPr", forms::AboutShownVersion}}) {
        HWND label = Control(name);
        SetWindowTextW(label, Wide(std::string(text)).c_str());
        FitLabel(label);
    }
}

void TAboutForm::OKButtonKeyUp(WPARAM key)
{
    if (key == VK_ESCAPE || key == VK_RETURN)
        Close();
}

void ShowAboutForm(HWND owner) { ShowModalOnce(owner, AboutForm); }
