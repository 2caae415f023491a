// AT_Vexo for Windows: the splash while the main window is built, then the
// message loop until the main window closes, which ends the process.
#include <windows.h>

#include "Application.h"
#include "MainWindow.h"
#include "Splash.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    DeclareDpiAware();
    RegisterWidgetClasses();
    auto splash = std::make_unique<TSplashForm>();
    splash->ShowAndPaint();
    // the application title, on the task-bar button
    TApplicationWindow application;
    TfAT_Vexo main;
    if (!main.Create(true, application.Handle()))
        return 1;
    application.SetMainWindow(main.Handle());
    ShowWindow(splash->Handle(), SW_HIDE);
    splash.reset();
    ShowWindow(main.Handle(), SW_SHOWNORMAL);
    UpdateWindow(main.Handle());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslateFormMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The port is closed and the settings are saved (WM_CLOSE): the windows,
    // threads and memory go with the process, at once. Tearing the top-level
    // windows down one by one first gains nothing and costs time: a display
    // without a window manager keeps Wine waiting 2 s for each one it hides.
    ExitProcess(static_cast<UINT>(msg.wParam));
}
