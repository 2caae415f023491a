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
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QAbstractButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include "About.h"
#include "ErrorBox.h"
#include "HelpATVexo.h"
#include "LogView.h"
#include "Pictures.h"
#include "PortList.h"
#include "ScreenFit.h"
#include "SpinEdit.h"
#include "EventLoopHook.h"

namespace {

QString Q(const std::string &utf8) { return QString::fromStdString(utf8); }

// The last folder a file dialog was left in, for this run.
QString &LastFolder()
{
    static QString folder;
    return folder;
}

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

TfAT_Vexo::TfAT_Vexo(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QText(forms::MainForm.name));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("centralwidget"));
    setCentralWidget(client);
    FControls = BuildForm(forms::MainForm, this, client);
    FitIntoWorkArea(this, forms::MainForm);
    SetUpLooks();

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
    FPortBox = FControls.Get<QComboBox>(TViewText::cbRSname);
    FLog = FControls.Get<QTextEdit>("reWin");
    FWriteBar = FControls.Get<QProgressBar>("prB_Wr");
    FReadBar = FControls.Get<QProgressBar>("prB_rd");
    FInitTimer = FControls.Get<QTimer>("tInit");
    FReplyTimer = FControls.Get<QTimer>("tRdIn_Vexo");
    FReplyTimer->setTimerType(Qt::PreciseTimer); // the verdict is due 500 ms after the request
    FReplyTimer->setSingleShot(true);
    FSetupWindowTimer = FControls.Get<QTimer>("tSetupWindow");
    ShowPortNotes(FPortBox); // what each port is, beside its name in the drop-down

    // the operator may type any character into the log
    QFont typed = FLog->font();
    typed.setStyleStrategy(QFont::PreferDefault);
    FLog->setFont(typed);
    FLog->setFrameShape(QFrame::NoFrame);

    if (QGuiApplication::windowIcon().isNull()) // else the program's, already decoded
        setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
}

void TfAT_Vexo::Connect()
{
    TAT_VexoEngine *e = FEngine.get();
    // Every control that does something hands its name to the engine.
    for (const TFormControls::TEntry &entry : FControls.Entries()) {
        if (entry.row->action == forms::TAction::None)
            continue;
        const std::string_view name = entry.row->name;
        if (auto *key = qobject_cast<QShortcut *>(entry.object)) {
            connect(key, &QShortcut::activated, this, [e, name] { e->Click(name); });
            continue;
        }
        auto *button = qobject_cast<QAbstractButton *>(entry.object);
        if (!button)
            continue;
        connect(button, &QAbstractButton::clicked, this, [e, name, button] {
            // A toggle is down exactly while its sequence runs: the engine says.
            if (button->isCheckable())
                button->setChecked(!button->isChecked());
            e->Click(name);
        });
    }
    connect(FInitTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tInitTimer(); }); });
    connect(FReplyTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tRdIn_VexoTimer(); }); });
    connect(FSetupWindowTimer, &QTimer::timeout, this, [e] { e->Run([&] { e->tSetupWindowTimer(); }); });
    connect(FPortBox, &QComboBox::currentTextChanged, this, [e] { e->Run([&] { e->PortBoxChanged(); }); });
}

void TfAT_Vexo::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // the frame counts from now on; and again on another screen
    FitIntoWorkArea(this, forms::MainForm);
    if (QWindow *native = windowHandle(); native && !FWatchingScreen) {
        FWatchingScreen = true;
        connect(native, &QWindow::screenChanged, this, [this] { FitIntoWorkArea(this, forms::MainForm); });
    }
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
    QObject *w = FControls.Find(control);
    if (auto *spin = qobject_cast<TSpinEdit *>(w))
        return spin->Text().toStdString();
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentText().toStdString();
    return {};
}

void TfAT_Vexo::SetText(std::string_view control, const std::string &text)
{
    QObject *w = FControls.Find(control);
    if (auto *spin = qobject_cast<TSpinEdit *>(w))
        spin->SetText(Q(text));
    else if (auto *box = qobject_cast<QComboBox *>(w))
        box->setEditText(Q(text));
}

bool TfAT_Vexo::Checked(std::string_view control) const
{
    const auto *box = FControls.Get<QCheckBox>(control);
    return box && box->isChecked();
}

void TfAT_Vexo::SetChecked(std::string_view control, bool checked)
{
    if (auto *box = FControls.Get<QCheckBox>(control))
        box->setChecked(checked);
}

void TfAT_Vexo::ClearPortList()
{
    const QString text = FPortBox->currentText();
    FPortBox->clear();
    FPortBox->setEditText(text);
}

void TfAT_Vexo::AddPortItem(const std::string &name)
{
    // The first item added would become the current one: the list never picks an entry.
    const QString text = FPortBox->currentText();
    FPortBox->addItem(Q(name));
    FPortBox->setCurrentIndex(-1);
    FPortBox->setEditText(text);
}

void TfAT_Vexo::SetPortItemNote(const std::string &name, const std::string &note)
{
    SetPortNote(FPortBox, Q(name), Q(note));
}

void TfAT_Vexo::SetHint(std::string_view control, const std::string &text)
{
    if (auto *w = FControls.Get<QWidget>(control))
        w->setToolTip(Q(text));
}

void TfAT_Vexo::SetLabel(std::string_view control, const std::string &text, TColour colour)
{
    auto *label = FControls.Get<QLabel>(control);
    if (!label)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(colour.r, colour.g, colour.b));
    label->setPalette(palette);
    label->setText(Q(text));
}

void TfAT_Vexo::SetButtonDown(std::string_view control, bool down)
{
    if (auto *button = FControls.Get<QAbstractButton>(control))
        button->setChecked(down);
}

TSaveChoice TfAT_Vexo::AskSaveFile(const std::string &caption, const std::string &suggestedName,
                                   const std::vector<TSaveFilter> &filters)
{
    QStringList titles;
    for (const TSaveFilter &f : filters)
        titles << Q(f.title);
    QString chosen = titles.value(0);
    QString &folder = LastFolder();
    const QString start = QDir(folder.isEmpty() ? QDir::currentPath() : folder)
                              .filePath(Q(suggestedName) + (filters.empty() ? QString() : '.' + Q(filters[0].extension)));
    const QString path = QFileDialog::getSaveFileName(this, Q(caption), start, titles.join(QStringLiteral(";;")), &chosen);
    if (path.isEmpty())
        return {};
    folder = QFileInfo(path).absolutePath();
    return {path.toStdString(), std::max<int>(0, int(titles.indexOf(chosen)))};
}

std::string TfAT_Vexo::AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters)
{
    QStringList titles;
    for (const TSaveFilter &f : filters)
        titles << Q(f.title);
    QString &folder = LastFolder();
    const QString path = QFileDialog::getOpenFileName(this, Q(caption), folder.isEmpty() ? QDir::currentPath() : folder,
                                                      titles.join(QStringLiteral(";;")));
    if (path.isEmpty())
        return {};
    folder = QFileInfo(path).absolutePath();
    return path.toStdString();
}

void TfAT_Vexo::AppendLogLine(const std::string &text, TColour colour)
{
    AppendLine(FLog, Q(text), QColor(colour.r, colour.g, colour.b));
}

void TfAT_Vexo::ClearLogView() { ClearLog(FLog); }

void TfAT_Vexo::SetBarPosition(TViewBar bar, int position)
{
    (bar == TViewBar::prB_Wr ? FWriteBar : FReadBar)->setValue(position);
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
    MoveToWorkAreaCorner(this);
    FitIntoWorkArea(this, forms::MainForm); // a window manager tells the frame late
}

void TfAT_Vexo::ShowHelpForm() { ::ShowHelpForm(this); }

void TfAT_Vexo::ShowAboutForm() { ::ShowAboutForm(this); }

void TfAT_Vexo::CloseWindow() { close(); }
