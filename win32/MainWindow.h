// The main window "TfAT_Vexo" on the Win32 API: built from its form table,
// with the engine that drives it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <windows.h>

#include "FormWindow.h"
#include "MainView.h"
#include "PortBox.h"

class TAT_VexoEngine;

class TfAT_Vexo final : public TFormWindow, public IMainView {
public:
    TfAT_Vexo();
    ~TfAT_Vexo() override;

    // Builds the window and its controls (not yet shown) at the design place;
    // the engine's start timer begins to count. `application`: closing the
    // window ends the message loop. `owner`: the application's window.
    bool Create(bool application, HWND owner = nullptr);
    TAT_VexoEngine &Engine() { return *FEngine; }

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
    void SetPortItemNote(const std::string &name, const std::string &note) override;
    void SetHint(std::string_view control, const std::string &text) override;
    std::string PortBoxHint() const; // the port box's tooltip text
    void SetLabel(std::string_view control, const std::string &text, TColour colour) override;
    void SetButtonDown(std::string_view control, bool down) override;
    TSaveChoice AskSaveFile(const std::string &caption, const std::string &suggestedName,
                            const std::vector<TSaveFilter> &filters) override;
    std::string AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters) override;
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

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void Click(const forms::TControl &control, HWND sender) override;

private:
    bool FApplication = false;
    TPortBox FPortBox; // the drop-down's notes
    std::unique_ptr<TAT_VexoEngine> FEngine;
};
