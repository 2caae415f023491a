#include "Splash.h"

TSplashForm::TSplashForm(int dpi)
    : TFormWindow(forms::SplashForm, nullptr, dpi)
{
    CreateForm(false);
}

void TSplashForm::ShowAndPaint()
{
    ShowWindow(FWindow, SW_SHOWNOACTIVATE);
    // no message loop runs yet: the window and its controls paint now
    RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}
