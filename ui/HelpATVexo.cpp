#include "HelpATVexo.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QTextEdit>
#include <QTimer>

#include "FormBuilder.h"
#include "Fonts.h"
#include "ModalForm.h"
#include "Pictures.h"
#include "ScreenFit.h"
#include "VexoAssets.h"

TfHelpATVexo *fHelpATVexo = nullptr;

namespace {

TfHelpATVexo::PictureLookup &PictureLookupHook()
{
    static TfHelpATVexo::PictureLookup lookup;
    return lookup;
}

QStringList Lines(std::span<const std::string_view> lines)
{
    QStringList out;
    for (std::string_view line : lines)
        out << QText(line);
    return out;
}

} // namespace

const QStringList &TfHelpATVexo::WarningLines()
{
    static const QStringList lines = Lines(forms::HelpWarningLines);
    return lines;
}

const QStringList &TfHelpATVexo::HelpLines()
{
    static const QStringList lines = Lines(forms::HelpTextLines);
    return lines;
}

void TfHelpATVexo::SetPictureLookup(PictureLookup lookup)
{
    PictureLookupHook() = std::move(lookup);
}

TfHelpATVexo::TfHelpATVexo(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    InitVexoAssets();
    InstallFontSubstitutions();

    setObjectName(QStringLiteral("fHelpATVexo"));
    setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    TBuildHooks hooks;
    hooks.findPicture = [](const QString &file) {
        const auto &lookup = PictureLookupHook();
        return lookup ? lookup(file) : PicturePath(file);
    };
    const TFormControls controls = BuildForm(forms::HelpForm, this, this, hooks);
    FitIntoWorkArea(this, forms::HelpForm);
    Label1 = controls.Get<QLabel>("Label1");
    Panel1 = controls.Get<QFrame>("Panel1");
    Panel2 = controls.Get<QFrame>("Panel2");
    RichEdit1 = controls.Get<QTextEdit>("RichEdit1");
    Image1 = controls.Get<QLabel>("Image1");
    RichEdit2 = controls.Get<QTextEdit>("RichEdit2");
    tInit = controls.Get<QTimer>("tInit");

    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // two lines, no room for more
    tInit->setSingleShot(true);
    connect(tInit, &QTimer::timeout, this, &TfHelpATVexo::tInitTimer);
}

TfHelpATVexo::~TfHelpATVexo() = default;

void TfHelpATVexo::tInitTimer()
{
    tInit->stop();
    MoveToWorkAreaCorner(this);
}

void TfHelpATVexo::FormKeyUp(QObject *, int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Escape)
        close();
}

void TfHelpATVexo::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject on the press of Escape and look for a default
    // button on Enter; here only the release of Escape closes
    QWidget::keyPressEvent(event);
}

void TfHelpATVexo::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    FormKeyUp(this, event->key(), event->modifiers());
}

void ShowHelpForm(QWidget *owner) { ShowModalOnce(owner, fHelpATVexo); }
