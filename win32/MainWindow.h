// The main window "TfAT_Vexo" on the Win32 API: every control of the fixed
// layout, the toolbar, the command log, and the engine that drives them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <windows.h>

#include <commctrl.h>

#include "MainView.h"
#include "Widgets.h"

class TAT_VexoEngine;

class TfAT_Vexo final : public IMainView {
public:
    TfAT_Vexo();
    ~TfAT_Vexo() override;
    TfAT_Vexo(const TfAT_Vexo &) = delete;
    TfAT_Vexo &operator=(const TfAT_Vexo &) = delete;

    // Builds the window and its controls (not yet shown) at the design place;
    // the engine's start timer begins to count. `application`: closing the
    // window ends the message loop. `owner`: the application's window.
    bool Create(bool application, HWND owner = nullptr);
    HWND Handle() const { return FWindow; }
    HWND Control(const std::string &name) const { return FControls[name]; }
    const TControlSet &Controls() const { return FControls; }
    TAT_VexoEngine &Engine() { return *FEngine; }
    // The tooltip a toolbar button shows.
    std::string ToolbarHint(int command) const;

    // The modal message box; tests may watch it instead of a real one.
    using MessageBoxFn = std::function<void(HWND owner, const std::string &caption, const std::string &text)>;
    static void SetMessageBoxHook(MessageBoxFn hook);
    static MessageBoxFn &MessageBoxHookRef();

    // IMainView
    std::string Text(std::string_view control) const override;
    void SetText(std::string_view control, const std::string &text) override;
    bool Checked(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    void ClearPortList() override;
    void AddPortItem(const std::string &name) override;
    void SetLabel(std::string_view control, const std::string &text, TColour colour) override;
    void SetButtonDown(std::string_view control, bool down) override;
    TSaveChoice AskSaveFile(const std::string &caption, const std::string &suggestedName,
                            const std::vector<TSaveFilter> &filters) override;
    void AppendLogLine(const std::string &text, TColour colour) override;
    void ClearLogView() override;
    void SetBarPosition(TViewBar bar, int position) override;
    void ShowMessageBox(const std::string &caption, const std::string &text) override;
    void StartTimer(TViewTimer timer, int intervalMs) override;
    void StopTimer(TViewTimer timer) override;
    void MoveToTopLeft() override;
    void ShowHelpForm() override;
    void ShowAboutForm() override;
    void CloseWindow() override;

    // Toolbar command ids, also the ids of TTN_GETDISPINFO.
    enum : int { idAbout = 201, idHelp, idClear, idExit };
    static constexpr int kScanId = 300;

private:
    template <typename T>
    friend T *FormOf(HWND, UINT, LPARAM);
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void BuildToolbar();
    void BuildControls();
    void Layout();
    void OnCommand(int id, int code, HWND control);

    HWND FWindow = nullptr;
    bool FApplication = false;
    TControlSet FControls;
    HWND FPanel1 = nullptr, FPanel3 = nullptr, FToolBar = nullptr;
    HIMAGELIST FImages = nullptr;
    TGlyph FScanGlyph;
    std::wstring FToolTipText; // the toolbar tooltip being shown
    std::unique_ptr<TAT_VexoEngine> FEngine;
};
