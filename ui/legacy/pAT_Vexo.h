// The main window's controller: the command engine, port selection, the
// settings file and the command log.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <memory>

#include "XComDrv.h"

class QTimer;
class QTextEdit;
class QComboBox;
namespace Ui {
class TfAT_Vexo;
}

class TfAT_Vexo : public QMainWindow {
    Q_OBJECT
public:
    explicit TfAT_Vexo(QWidget *parent = nullptr);
    ~TfAT_Vexo() override;

    // The exchange.
    void SendCommand(int n);
    void SendRequest(const QByteArray &line);
    void XComm_ATData(TCustomComm *sender, std::uint32_t received);
    void tRdIn_VexoTimer();

    // Port selection and the settings file.
    void SpeedButton1Click();
    void ScanRSPorts();
    bool PortSelected();
    bool PrepareRSPort();
    bool OpenRSPort();
    void CloseRSPort();
    void LoadWorkFile();
    void SaveWorkFile();
    void FormClose();
    void tInitTimer();

    void AddToLog(int kind, const QString &text);
    void ClearLog();
    void ShowHelpForm();
    void ShowAboutForm();

    TXComm &XComm_AT() { return *FXComm; }
    QString OpenedRS() const { return FOpenedRS; }
    int CurCmd() const { return FCurCmd; }
    QByteArray RxText() const { return FRxText; }
    QTimer *tRdIn_Vexo() const { return FReplyTimer; }
    QTimer *tInit() const { return FInitTimer; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Connect();
    void DropPort();
    void SetUpLooks();
    static void StepBar(class QProgressBar *bar);

    std::unique_ptr<Ui::TfAT_Vexo> ui;
    std::unique_ptr<TXComm> FXComm;
    QTimer *FReplyTimer = nullptr;
    QTimer *FInitTimer = nullptr;
    QString FOpenedRS;
    int FCurCmd = 0;
    QByteArray FRxText;
};

// Connects the serial component's hand-over to the Qt event loop, so event
// thread deliveries run on the GUI thread. Call once, from the GUI thread.
void ConnectSerialToEventLoop();
