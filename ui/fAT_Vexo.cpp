#include "fAT_Vexo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QTimer>

#include "About.h"
#include "Commands.h"
#include "ErrorBox.h"
#include "HelpATVexo.h"
#include "LogView.h"
#include "Pictures.h"
#include "Thread.h"
#include "ui_fAT_Vexo.h"

namespace {

// The faces cover code page 1251 whole, so no fallback face is ever needed
// for what the window shows; looking fallbacks up costs start-up time.
QFont PixelFont(const QString &family, int px, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(px);
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

QString Q(const std::string &utf8) { return QString::fromStdString(utf8); }

} // namespace

void ConnectSerialToEventLoop()
{
    SetMainThread();
    // The loop watches the component's own descriptor: an arrival on a port
    // wakes this thread directly, which then delivers it itself.
    static QPointer<QSocketNotifier> watch;
    const int fd = QCoreApplication::instance() ? MainLoopFd() : -1;
    if (fd >= 0) {
        if (!watch) {
            watch = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
            QObject::connect(watch, &QSocketNotifier::activated, [] { CheckSynchronize(); });
        }
        return;
    }
    SetWakeMainThread([] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

TfAT_Vexo::TfAT_Vexo(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::TfAT_Vexo>())
{
    // The controls measure their text as they are made: give them the work
    // area's face from the start, so no other face is loaded for that.
    setFont(PixelFont(QStringLiteral("Courier New"), 12));
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
    FSetupWindowTimer = new QTimer(this);
    FSetupWindowTimer->setObjectName(QStringLiteral("tSetupWindow"));

    FEngine = std::make_unique<TAT_VexoEngine>(*this);
    Connect();
    FEngine->FormCreate();
}

TfAT_Vexo::~TfAT_Vexo()
{
    // The engine and its port go first: the event thread must not hand
    // anything to a half-destroyed window.
    FEngine.reset();
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
    ui->Panel1->setFont(PixelFont(QStringLiteral("Courier New"), 12)); // first: its controls keep their face
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 12));
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
    QFont typed = PixelFont(QStringLiteral("Courier New"), 12);
    typed.setStyleStrategy(QFont::PreferDefault); // the operator may type any character here
    ui->reWin->setFont(typed);
    ui->reWin->setUndoRedoEnabled(false); // log lines are no undo steps

    ui->SpeedButton1->setIcon(PngIcon(QStringLiteral(":/pictures/scanner.png"),
                                      QStringLiteral(":/pictures/scanner_disabled.png")));
    ui->ToolButton3->setIcon(PngIcon(QStringLiteral(":/pictures/tb2.png")));
    ui->TB_Help->setIcon(PngIcon(QStringLiteral(":/pictures/tb4.png")));
    ui->ToolButton6->setIcon(PngIcon(QStringLiteral(":/pictures/tb6.png")));
    ui->TB_Exit->setIcon(PngIcon(QStringLiteral(":/pictures/tb0.png")));
    for (QWidget *b : {static_cast<QWidget *>(ui->ToolButton3), static_cast<QWidget *>(ui->TB_Help),
                       static_cast<QWidget *>(ui->ToolButton6), static_cast<QWidget *>(ui->TB_Exit)})
        static_cast<QAbstractButton *>(b)->setIconSize(QSize(16, 16));
    if (QGuiApplication::windowIcon().isNull()) // else the program's, already decoded
        setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));

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
    TAT_VexoEngine *e = FEngine.get();
    for (const Button &b : buttons) {
        const int n = b.command;
        connect(b.button, &QPushButton::clicked, this, [e, n] { e->Run([&] { e->SendCommand(n); }); });
    }
    connect(ui->SpeedButton1, &QToolButton::clicked, this, [e] { e->Run([&] { e->SpeedButton1Click(); }); });
    connect(ui->ToolButton3, &QToolButton::clicked, this, [e] { e->Run([&] { e->ToolButton3Click(); }); });
    connect(ui->TB_Help, &QToolButton::clicked, this, [e] { e->Run([&] { e->TB_HelpClick(); }); });
    connect(ui->ToolButton6, &QToolButton::clicked, this, [e] { e->Run([&] { e->ToolButton6Click(); }); });
    connect(ui->TB_Exit, &QToolButton::clicked, this, [e] { e->Run([&] { e->TB_ExitClick(); }); });
    connect(FInitTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tInitTimer(); }); });
    connect(FReplyTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tRdIn_VexoTimer(); }); });
    connect(FSetupWindowTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tSetupWindowTimer(); }); });
}

void TfAT_Vexo::closeEvent(QCloseEvent *event)
{
    // Closing never fails: whatever goes wrong is shown, and the window still closes.
    FEngine->FormClose();
    event->accept();
}

// ---------------------------------------------------------------- IMainView

std::string TfAT_Vexo::Text(TViewText control) const
{
    switch (control) {
    case TViewText::cbRSname:
        return ui->cbRSname->currentText().toStdString();
    case TViewText::cbSpeed_Cor:
        return ui->cbSpeed_Cor->currentText().toStdString();
    case TViewText::cbSpeed_SeA:
        return ui->cbSpeed_SeA->currentText().toStdString();
    case TViewText::cbSpeed_SeA_Prn:
        return ui->cbSpeed_SeA_Prn->currentText().toStdString();
    case TViewText::seAdrModBus:
        return ui->seAdrModBus->Text().toStdString();
    }
    return {};
}

void TfAT_Vexo::SetText(TViewText control, const std::string &text)
{
    switch (control) {
    case TViewText::cbRSname:
        ui->cbRSname->setEditText(Q(text));
        break;
    case TViewText::cbSpeed_Cor:
        ui->cbSpeed_Cor->setEditText(Q(text));
        break;
    case TViewText::cbSpeed_SeA:
        ui->cbSpeed_SeA->setEditText(Q(text));
        break;
    case TViewText::cbSpeed_SeA_Prn:
        ui->cbSpeed_SeA_Prn->setEditText(Q(text));
        break;
    case TViewText::seAdrModBus:
        ui->seAdrModBus->SetText(Q(text));
        break;
    }
}

void TfAT_Vexo::ClearPortList()
{
    const QString text = ui->cbRSname->currentText();
    ui->cbRSname->clear();
    ui->cbRSname->setEditText(text);
}

void TfAT_Vexo::AddPortItem(const std::string &name)
{
    // The first item added would become the current one: the list never picks an entry.
    const QString text = ui->cbRSname->currentText();
    ui->cbRSname->addItem(Q(name));
    ui->cbRSname->setCurrentIndex(-1);
    ui->cbRSname->setEditText(text);
}

bool TfAT_Vexo::KLV707Checked() const { return ui->chKLV707->isChecked(); }

void TfAT_Vexo::SetKLV707Checked(bool checked) { ui->chKLV707->setChecked(checked); }

// The toolbar's new buttons and label come with the shared layout tables;
// until then there is nothing to show these on.
void TfAT_Vexo::SetLabel(TViewLabel, const std::string &, TColour) {}
void TfAT_Vexo::SetButtonDown(TViewButton, bool) {}
TSaveChoice TfAT_Vexo::AskSaveFile(const std::string &, const std::string &, const std::vector<TSaveFilter> &)
{
    return {};
}

void TfAT_Vexo::AppendLogLine(const std::string &text, TColour colour)
{
    AppendLine(ui->reWin, Q(text), QColor(colour.r, colour.g, colour.b));
}

void TfAT_Vexo::ClearLogView() { ClearLog(ui->reWin); }

void TfAT_Vexo::SetBarPosition(TViewBar bar, int position)
{
    (bar == TViewBar::prB_Wr ? ui->prB_Wr : ui->prB_rd)->setValue(position);
}

void TfAT_Vexo::ShowMessageBox(const std::string &caption, const std::string &text)
{
    ShowErrorBox(this, Q(caption), Q(text));
}

QTimer *TfAT_Vexo::Timer(TViewTimer timer) const
{
    switch (timer) {
    case TViewTimer::tInit: return FInitTimer;
    case TViewTimer::tRdIn_Vexo: return FReplyTimer;
    case TViewTimer::tSetupWindow: break;
    }
    return FSetupWindowTimer;
}

void TfAT_Vexo::StartTimer(TViewTimer timer, int intervalMs) { Timer(timer)->start(intervalMs); }

void TfAT_Vexo::StopTimer(TViewTimer timer) { Timer(timer)->stop(); }

void TfAT_Vexo::MoveToTopLeft()
{
    move(x(), 0);
    move(0, 0);
}

void TfAT_Vexo::ShowHelpForm() { ::ShowHelpForm(this); }

void TfAT_Vexo::ShowAboutForm() { ::ShowAboutForm(this); }

void TfAT_Vexo::CloseWindow() { close(); }
