#include "fAT_Vexo.h"

#include <QCloseEvent>
#include <QCheckBox>
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
#include "ErrorBox.h"
#include "EventLoopHook.h"
#include "HelpATVexo.h"
#include "LogView.h"
#include "Pictures.h"
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
    // The loop watches the component's own descriptor: an arrival on a port
    // wakes this thread directly, which then delivers it itself.
    static QPointer<QSocketNotifier> watch;
    const int fd = QCoreApplication::instance() ? SerialLoopFd() : -1;
    if (fd >= 0) {
        if (!watch) {
            watch = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
            QObject::connect(watch, &QSocketNotifier::activated, [] { ServeSerial(); });
        }
        return;
    }
    SetSerialWake([] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { ServeSerial(); }, Qt::QueuedConnection);
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
    ui->seAdrModBus->SetRange(1, 250);
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
    TAT_VexoEngine *e = FEngine.get();
    // Every button hands its name to the engine, which knows its action.
    for (QAbstractButton *b : findChildren<QAbstractButton *>()) {
        connect(b, &QAbstractButton::clicked, this,
                [e, name = b->objectName().toStdString()] { e->Click(name); });
    }
    connect(FInitTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tInitTimer(); }); });
    connect(FReplyTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tRdIn_VexoTimer(); }); });
}

void TfAT_Vexo::closeEvent(QCloseEvent *event)
{
    // Closing never fails: whatever goes wrong is shown, and the window still closes.
    FEngine->FormClose();
    event->accept();
}

// ---------------------------------------------------------------- IMainView

std::string TfAT_Vexo::Text(std::string_view control) const
{
    QWidget *w = findChild<QWidget *>(QString::fromUtf8(control.data(), qsizetype(control.size())));
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentText().toStdString();
    if (auto *spin = qobject_cast<TSpinEdit *>(w))
        return spin->Text().toStdString();
    return {};
}

void TfAT_Vexo::SetText(std::string_view control, const std::string &text)
{
    QWidget *w = findChild<QWidget *>(QString::fromUtf8(control.data(), qsizetype(control.size())));
    if (auto *box = qobject_cast<QComboBox *>(w))
        box->setEditText(Q(text));
    else if (auto *spin = qobject_cast<TSpinEdit *>(w))
        spin->SetText(Q(text));
}

bool TfAT_Vexo::Checked(std::string_view control) const
{
    const auto *box = findChild<QCheckBox *>(QString::fromUtf8(control.data(), qsizetype(control.size())));
    return box && box->isChecked();
}

void TfAT_Vexo::SetChecked(std::string_view control, bool checked)
{
    if (auto *box = findChild<QCheckBox *>(QString::fromUtf8(control.data(), qsizetype(control.size()))))
        box->setChecked(checked);
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
    return timer == TViewTimer::tInit ? FInitTimer : FReplyTimer;
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
