// The Qt main window: its widgets and timers, built from the main window's
// table, and the command engine behind them. Every handler runs through the
// engine's top-level error handling.
#pragma once

#include <QMainWindow>

#include <memory>

#include "MainView.h"
#include "pAT_Vexo.h"

#include "FormBuilder.h"

class QComboBox;
class QProgressBar;
class QTextEdit;
class QTimer;

class TfAT_Vexo : public QMainWindow, public IMainView {
    Q_OBJECT
public:
    explicit TfAT_Vexo(QWidget *parent = nullptr);
    ~TfAT_Vexo() override;

    TAT_VexoEngine &Engine() { return *FEngine; }
    QTimer *tRdIn_Vexo() const { return FReplyTimer; }
    QTimer *tInit() const { return FInitTimer; }

    // IMainView
    std::string Text(std::string_view control) const override;
    void SetText(std::string_view control, const std::string &text) override;
    bool Checked(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    void ClearPortList() override;
    void AddPortItem(const std::string &name) override;
    void SetPortItemNote(const std::string &name, const std::string &note) override;
    void SetHint(std::string_view control, const std::string &text) override;
    void SetLabel(std::string_view control, const std::string &text, TColour colour) override;
    void SetButtonDown(std::string_view control, bool down) override;
    std::string AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters) override;
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

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void SetUpLooks();
    void Connect();
    QTimer *Timer(TViewTimer timer) const;

    TFormControls FControls; // built from the main window's table
    QComboBox *FPortBox = nullptr;
    QTextEdit *FLog = nullptr;
    QProgressBar *FWriteBar = nullptr;
    QProgressBar *FReadBar = nullptr;
    QTimer *FReplyTimer = nullptr;
    QTimer *FInitTimer = nullptr;
    QTimer *FSetupWindowTimer = nullptr;
    std::unique_ptr<TAT_VexoEngine> FEngine;
    bool FWatchingScreen = false;
};

// Connects the serial component to the Qt event loop, so that its events
// are delivered on the GUI thread. From the GUI thread, before any port is
// opened; calling it again changes nothing.
void ConnectSerialToEventLoop();
