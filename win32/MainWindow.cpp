#include "MainWindow.h"

#include "EventLoopHook.h"
#include "HelpAbout.h"
#include "pAT_Vexo.h"

namespace {
constexpr UINT kSyncMessage = WM_APP + 1; // the serial thread's hand-over is pending
}

TfAT_Vexo::MessageBoxFn &TfAT_Vexo::MessageBoxHookRef()
{
    static MessageBoxFn hook;
    return hook;
}

void TfAT_Vexo::SetMessageBoxHook(MessageBoxFn hook)
{
    MessageBoxHookRef() = std::move(hook);
}

TfAT_Vexo::TfAT_Vexo()
    : TFormWindow(forms::MainForm, nullptr)
{
}

TfAT_Vexo::~TfAT_Vexo()
{
    if (FWindow && IsWindow(FWindow))
        DestroyWindow(FWindow);
    FEngine.reset();
}

bool TfAT_Vexo::Create(bool application, HWND owner)
{
    FApplication = application;
    FOwner = owner;
    if (!CreateForm(false))
        return false;
    FEngine = std::make_unique<TAT_VexoEngine>(*this);
    // every exception that reaches a window goes to the engine's box queue
    SetErrorSink([engine = FEngine.get()](std::exception_ptr e) { engine->ShowException(e); });
    // the serial thread's hand-overs run here, on the main thread
    SetSerialWake([window = FWindow] { PostMessageW(window, kSyncMessage, 0, 0); });
    FEngine->FormCreate();
    return true;
}

LRESULT TfAT_Vexo::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        if (!FEngine)
            return 0;
        if (wp == static_cast<WPARAM>(TViewTimer::tInit) + 1)
            FEngine->Run([this] { FEngine->tInitTimer(); });
        else if (wp == static_cast<WPARAM>(TViewTimer::tRdIn_Vexo) + 1)
            FEngine->Run([this] { FEngine->tRdIn_VexoTimer(); });
        else if (wp == static_cast<WPARAM>(TViewTimer::tSetupWindow) + 1)
            FEngine->Run([this] { FEngine->tSetupWindowTimer(); });
        return 0;
    case WM_COMMAND:
        // the port box: its drop-down's notes, and its hint following its text
        if (reinterpret_cast<HWND>(lp) == Control("cbRSname") && lp) {
            const WORD code = HIWORD(wp);
            if (!FPortBox.Notice(reinterpret_cast<HWND>(lp), code) && FEngine &&
                (code == CBN_EDITCHANGE || code == CBN_SELCHANGE))
                FEngine->Run([this] { FEngine->PortBoxChanged(); });
        }
        break;
    case kSyncMessage:
        if (FEngine)
            FEngine->Run([] { ServeSerial(); });
        return 0;
    case WM_CLOSE:
        // closing never fails: the port is closed and the name saved first
        if (FEngine)
            FEngine->Run([this] { FEngine->FormClose(); });
        if (FApplication) {
            // the program ends with its windows in place (see main.cpp)
            PostQuitMessage(0);
            return 0;
        }
        DestroyWindow(FWindow);
        return 0;
    case WM_DESTROY:
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tInit) + 1);
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tRdIn_Vexo) + 1);
        KillTimer(FWindow, static_cast<UINT_PTR>(TViewTimer::tSetupWindow) + 1);
        SetSerialWake(nullptr);
        SetErrorSink(nullptr);
        FEngine.reset();
        if (FApplication)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return TFormWindow::WndProc(msg, wp, lp);
}

void TfAT_Vexo::Click(const forms::TControl &control, HWND sender)
{
    // A toggle is down exactly while its sequence runs: the engine says, so
    // the toolbar's own flip on a click is undone first (a key flips nothing).
    if (control.toggle && sender)
        if (const int id = CommandId(control.name); id) {
            HWND bar = Control(control.parent);
            const bool down = SendMessageW(bar, TB_ISBUTTONCHECKED, static_cast<WPARAM>(id), 0) != 0;
            SendMessageW(bar, TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(down ? FALSE : TRUE, 0));
        }
    if (FEngine)
        FEngine->Click(control.name); // runs the table's action for it
}
