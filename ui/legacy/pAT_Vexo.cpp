#include "pAT_Vexo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QTextEdit>
#include <QTimer>

#include "About.h"
#include "Commands.h"
#include "ErrorHandler.h"
#include "HelpATVexo.h"
#include "LogHelpers.h"
#include "Str_UtRx.h"
#include "Thread.h"
#include "WorkFile.h"
#include "ui_fAT_Vexo.h"

namespace {

// Far more than a Vexo ever answers in 500 ms; a flood beyond it is still
// drained from the port but not kept.
constexpr qsizetype MaxReplyBytes = 64 * 1024;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QFont PixelFont(const QString &family, int px, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(px);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QIcon Picture(const QString &normal, const QString &disabled = QString())
{
    QIcon icon(normal);
    if (!disabled.isEmpty())
        icon.addFile(disabled, QSize(), QIcon::Disabled);
    return icon;
}

} // namespace

void ConnectSerialToEventLoop()
{
    SetMainThread();
    SetWakeMainThread([] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

TfAT_Vexo::TfAT_Vexo(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfAT_Vexo>()), FXComm(std::make_unique<TXComm>(this))
{
    ui->setupUi(this);
    SetUpLooks();

    FInitTimer = new QTimer(this);
    FInitTimer->setObjectName(QStringLiteral("tInit"));
    FInitTimer->setInterval(50);
    FReplyTimer = new QTimer(this);
    FReplyTimer->setObjectName(QStringLiteral("tRdIn_Vexo"));
    FReplyTimer->setInterval(500);
    FReplyTimer->setTimerType(Qt::PreciseTimer); // the verdict is due 500 ms after the request
    FReplyTimer->setSingleShot(true);

    FXComm->OnData = [this](TCustomComm *sender, std::uint32_t received) { XComm_ATData(sender, received); };
    Connect();
    FInitTimer->start();
}

TfAT_Vexo::~TfAT_Vexo()
{
    // The port goes first: its event thread must not hand anything to a
    // half-destroyed window.
    FXComm.reset();
}

void TfAT_Vexo::SetUpLooks()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    move(319, 157); // the design position, until the start timer moves the window
    // Line breaks in captions and hints are CR LF (the layout file cannot hold a CR).
    for (QWidget *w : findChildren<QWidget *>()) {
        if (w->toolTip().contains(u'\n') && !w->toolTip().contains(u'\r'))
            w->setToolTip(w->toolTip().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
        if (auto *l = qobject_cast<QLabel *>(w); l && l->text().contains(u'\n') && !l->text().contains(u'\r'))
            l->setText(l->text().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 12));
    ui->Panel1->setFont(PixelFont(QStringLiteral("Courier New"), 12));
    ui->cbRSname->setFont(PixelFont(QStringLiteral("Courier New"), 15));
    ui->cbRSname->setEditText(QString());
    ui->cbSpeed_Cor->setEditText(QStringLiteral("19200"));
    ui->cbSpeed_SeA->setEditText(QStringLiteral("115200"));
    ui->cbSpeed_SeA_Prn->setEditText(QStringLiteral("19200"));
    ui->seAdrModBus->SetRange(1, 250);
    ui->seAdrModBus->SetValue(1);
    ui->chKLV707->setChecked(false);
    for (QProgressBar *bar : {ui->prB_Wr, ui->prB_rd}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }

    QPalette maroon = ui->Label6->palette();
    maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
    ui->Label6->setPalette(maroon);
    ui->Label6->setFont(PixelFont(QStringLiteral("Courier New"), 12, false, true));

    QPalette face = ui->reWin->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    ui->reWin->setPalette(face);
    ui->reWin->setFont(PixelFont(QStringLiteral("Courier New"), 12));
    ui->reWin->setUndoRedoEnabled(false); // log lines are no undo steps

    ui->SpeedButton1->setIcon(Picture(QStringLiteral(":/pictures/scanner.png"),
                                      QStringLiteral(":/pictures/scanner_disabled.png")));
    ui->ToolButton3->setIcon(Picture(QStringLiteral(":/pictures/tb2.png")));
    ui->TB_Help->setIcon(Picture(QStringLiteral(":/pictures/tb4.png")));
    ui->ToolButton6->setIcon(Picture(QStringLiteral(":/pictures/tb6.png")));
    ui->TB_Exit->setIcon(Picture(QStringLiteral(":/pictures/tb0.png")));
    for (QWidget *b : {static_cast<QWidget *>(ui->ToolButton3), static_cast<QWidget *>(ui->TB_Help),
                       static_cast<QWidget *>(ui->ToolButton6), static_cast<QWidget *>(ui->TB_Exit)})
        static_cast<QAbstractButton *>(b)->setIconSize(QSize(16, 16));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));

    // Every control is reachable by name for screen readers and test tools.
    for (QWidget *w : findChildren<QWidget *>()) {
        if (!w->accessibleName().isEmpty())
            continue;
        if (auto *b = qobject_cast<QAbstractButton *>(w); b && !b->text().isEmpty())
            w->setAccessibleName(b->text());
        else if (!w->toolTip().isEmpty())
            w->setAccessibleName(w->toolTip());
        else if (auto *l = qobject_cast<QLabel *>(w))
            w->setAccessibleName(l->text());
        else if (!w->objectName().isEmpty())
            w->setAccessibleName(w->objectName());
    }
}

void TfAT_Vexo::Connect()
{
    struct Button {
        QPushButton *button;
        int command;
    };
    const Button buttons[] = {
        {ui->bRd_Inf, acInfo},           {ui->bRdSpeed_SeA, acRdSpeedRS},
        {ui->bRdSpeed_SeA_Prn, acRdSpeedPrn}, {ui->bRdAdr_ModBus, acRdAdrModBus},
        {ui->bWrSpeed_SeA, acWrSpeedRS}, {ui->bWrSpeed_SeA_Prn, acWrSpeedPrn},
        {ui->bWrAdrModBus, acWrAdrModBus}, {ui->rdKLV707, acRdKLV707},
        {ui->wrKLV707, acWrKLV707},      {ui->rdSpeed_Cor, acRdSpeedIO},
        {ui->wrSpeed_Cor, acWrSpeedIO},
    };
    for (const Button &b : buttons) {
        const int n = b.command;
        connect(b.button, &QPushButton::clicked, this, Guarded([this, n] { SendCommand(n); }));
    }
    connect(ui->SpeedButton1, &QToolButton::clicked, this, Guarded([this] { SpeedButton1Click(); }));
    connect(ui->ToolButton3, &QToolButton::clicked, this, Guarded([this] { ShowAboutForm(); }));
    connect(ui->TB_Help, &QToolButton::clicked, this, Guarded([this] { ShowHelpForm(); }));
    connect(ui->ToolButton6, &QToolButton::clicked, this, Guarded([this] { ClearLog(); }));
    connect(ui->TB_Exit, &QToolButton::clicked, this, Guarded([this] { close(); }));
    connect(FInitTimer, &QTimer::timeout, this, Guarded([this] { tInitTimer(); }));
    connect(FReplyTimer, &QTimer::timeout, this, Guarded([this] { tRdIn_VexoTimer(); }));
}

// ---------------------------------------------------------------- exchange

void TfAT_Vexo::SendCommand(int n)
{
    if (n < 0 || n >= ATCommandCount)
        return;
    if (!PrepareRSPort())
        return;
    QString parameter, shown;
    switch (n) {
    case acWrSpeedRS:
        shown = ui->cbSpeed_SeA->currentText();
        parameter = SpeedToCode(shown);
        break;
    case acWrSpeedPrn:
        shown = ui->cbSpeed_SeA_Prn->currentText();
        parameter = SpeedToCode(shown);
        break;
    case acWrSpeedIO:
        shown = ui->cbSpeed_Cor->currentText();
        parameter = SpeedToCode(shown);
        break;
    case acWrAdrModBus:
        parameter = shown = ui->seAdrModBus->Text();
        break;
    case acWrKLV707:
        if (ui->chKLV707->isChecked()) {
            parameter = QStringLiteral("1");
            shown = U("включить поддержку КЛВ-707");
        } else {
            parameter = QStringLiteral("0");
            shown = U("выключить поддержку КЛВ-707");
        }
        break;
    default:
        break;
    }
    FCurCmd = n;
    QString announce = U("выдать команду в \"Vexo\" - \"") + U(AT_Title[n]);
    if (!shown.isEmpty())
        announce += u' ' + shown;
    announce += u'"';
    AddToLog(lkCommand, announce);
    SendRequest(QByteArray(AT_Cmd[n]) + Cp1251Encode(parameter) + "\r\n");
}

void TfAT_Vexo::SendRequest(const QByteArray &line)
{
    FRxText.clear();
    const QString name = QString::fromLatin1(FXComm->DeviceName());
    if (!RSPortPresent(name)) {
        // The port vanished since it was opened: close it, forget it so the
        // next press opens it afresh, and say so.
        DropPort();
        AddToLog(lkError, U("ошибка инициализации порта ") + name);
        return;
    }
    if (FXComm->Opened()) {
        // A late reply to the previous request may still sit in the port,
        // its hand-over not yet run: it is no reply to this one.
        std::string stale;
        FXComm->ReadString(stale);
    }
    StepBar(ui->prB_Wr);
    if (FXComm->SendString(line.toStdString())) {
        // The wait starts as the request leaves, before the log line is drawn.
        if (!FReplyTimer->isActive()) // a wait already running is not restarted
            FReplyTimer->start();
        AddToLog(lkCommand, U("запрос \"Vexo\" -> \"") + StripCtrl(Cp1251Decode(line)) + u'"');
    } else {
        // A port that takes nothing is reopened by the next press.
        DropPort();
        ShowErrorBox(this, QStringLiteral("Error"), U("ОШИБКА COM порта"));
    }
}

void TfAT_Vexo::DropPort()
{
    if (FXComm->Opened())
        FXComm->Close();
    FOpenedRS.clear();
}

void TfAT_Vexo::XComm_ATData(TCustomComm *, std::uint32_t)
{
    std::string text;
    FXComm->ReadString(text);
    StepBar(ui->prB_rd);
    if (!text.empty() && FRxText.size() < MaxReplyBytes) {
        const qsizetype room = MaxReplyBytes - FRxText.size();
        FRxText.append(text.data(), std::min<qsizetype>(room, static_cast<qsizetype>(text.size())));
    }
}

void TfAT_Vexo::tRdIn_VexoTimer()
{
    FReplyTimer->stop();
    if (FRxText.isEmpty()) {
        AddToLog(lkError, U("нет ответа от \"Vexo\""));
        return;
    }
    const QString r = StripCtrl(Cp1251Decode(FRxText));
    AddToLog(lkReply, U("ответ  \"Vexo\" <- ") + Verdict(FCurCmd, r));
}

void TfAT_Vexo::StepBar(QProgressBar *bar)
{
    const int next = bar->value() + 10;
    bar->setValue(next > bar->maximum() ? bar->minimum() : next);
}

// ---------------------------------------------------------------- port and settings file

void TfAT_Vexo::SpeedButton1Click()
{
    ui->cbRSname->clear();
    ui->cbRSname->setEditText(QString());
    ScanRSPorts();
}

void TfAT_Vexo::ScanRSPorts()
{
    for (int n = 1; n <= 100; ++n) {
        const QString name = QStringLiteral("COM") + QString::number(n);
        if (RSPortPresent(name))
            ui->cbRSname->addItem(name);
    }
    // Filling the list must not pick an entry: the box stays empty.
    ui->cbRSname->setCurrentIndex(-1);
    ui->cbRSname->setEditText(QString());
}

bool TfAT_Vexo::PortSelected()
{
    if (ui->cbRSname->currentText().isEmpty()) {
        ShowErrorBox(this, QStringLiteral("Error"), U("Не определен \"RS\" порт"));
        return false;
    }
    return true;
}

bool TfAT_Vexo::PrepareRSPort()
{
    if (!PortSelected())
        return false;
    const QString name = ui->cbRSname->currentText();
    if (name == FOpenedRS)
        return true;
    if (FXComm->Opened()) {
        FXComm->Close();
        FOpenedRS.clear();
    }
    FXComm->SetBaudRate(br19200);
    FXComm->SetDeviceName(name.toLatin1().toStdString());
    OpenRSPort();
    if (FXComm->Opened()) {
        FOpenedRS = name;
        return true;
    }
    AddToLog(lkError, U("ошибка инициализации порта ") + name);
    return false;
}

bool TfAT_Vexo::OpenRSPort()
{
    if (FXComm->Opened())
        return true;
    FXComm->Open();
    return FXComm->Opened();
}

void TfAT_Vexo::CloseRSPort()
{
    if (FXComm->Opened())
        FXComm->Close();
}

void TfAT_Vexo::LoadWorkFile()
{
    if (const auto line = ReadLastLine(WorkFilePath()))
        ui->cbRSname->setEditText(OneSpace(*line));
}

void TfAT_Vexo::SaveWorkFile() { WriteLineAtomically(WorkFilePath(), ui->cbRSname->currentText()); }

void TfAT_Vexo::FormClose()
{
    CloseRSPort();
    SaveWorkFile();
}

void TfAT_Vexo::closeEvent(QCloseEvent *event)
{
    // Closing never fails: whatever goes wrong is shown, and the window still closes.
    Guarded([this] { CloseRSPort(); })();
    Guarded([this] { SaveWorkFile(); })();
    event->accept();
}

void TfAT_Vexo::tInitTimer()
{
    FInitTimer->stop();
    move(x(), 0);
    move(0, 0);
    FOpenedRS.clear();
    LoadWorkFile();
}

// ---------------------------------------------------------------- log and windows

void TfAT_Vexo::AddToLog(int kind, const QString &text) { ::AddToLog(ui->reWin, kind, text); }

void TfAT_Vexo::ClearLog() { ::ClearLog(ui->reWin); }

void TfAT_Vexo::ShowHelpForm() { ::ShowHelpForm(this); }

void TfAT_Vexo::ShowAboutForm() { ::ShowAboutForm(this); }
