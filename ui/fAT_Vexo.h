// The Qt main window: the layout, its widgets and timers, and the command
// engine behind them. Every handler runs through the engine's top-level
// error handling.
#pragma once

#include <QMainWindow>

#include <memory>

#include "MainView.h"
#include "pAT_Vexo.h"

class QTimer;
namespace Ui {
class TfAT_Vexo;
}

class TfAT_Vexo : public QMainWindow, public IMainView {
    Q_OBJECT
public:
    explicit TfAT_Vexo(QWidget *parent = nullptr);
    ~TfAT_Vexo() override;

    TAT_VexoEngine &Engine() { return *FEngine; }
    QTimer *tRdIn_Vexo() const { return FReplyTimer; }
    QTimer *tInit() const { return FInitTimer; }

    // IMainView
    std::string Text(TViewText control) const override;
    void SetText(TViewText control, const std::string &text) override;
    void ClearPortList() override;
    void AddPortItem(const std::string &name) override;
    bool KLV707Checked() const override;
    void SetKLV707Checked(bool checked) override;
    void SetLabel(TViewLabel label, const std::string &text, TColour colour) override;
    void SetButtonDown(TViewButton button, bool down) override;
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

private:
    void SetUpLooks();
    void Connect();
    QTimer *Timer(TViewTimer timer) const;

    std::unique_ptr<Ui::TfAT_Vexo> ui;
    QTimer *FReplyTimer = nullptr;
    QTimer *FInitTimer = nullptr;
    QTimer *FSetupWindowTimer = nullptr;
    std::unique_ptr<TAT_VexoEngine> FEngine;
};

// Connects the serial component to the Qt event loop, so that its events
// are delivered on the GUI thread. From the GUI thread, before any port is
// opened; calling it again changes nothing.
void ConnectSerialToEventLoop();
