#include "Splash.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <cmath>

#include "FormBuilder.h"
#include "Fonts.h"
#include "Pictures.h"
#include "VexoAssets.h"

namespace {

// A caption of blanks in an underlined face shows nothing but its underline.
// Drawing that stroke directly spares loading the face only to draw blanks;
// the caption and its font stay as the window's description.
class TUnderlineLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        const QRect stroke = TSplashForm::UnderlineStroke(font().pixelSize(), text().size()) & contentsRect();
        QPainter(this).fillRect(stroke, palette().color(foregroundRole()));
    }
};

} // namespace

// Metrics of the serif italic face in its 2048 units per em: ascent 1825,
// underline 123 below the baseline and 100 thick; a blank advances 512. The
// rounding follows the text painter's: the baseline on a whole pixel, the
// underline offset rounded up, the stroke centred on it.
QRect TSplashForm::UnderlineStroke(int pixelSize, int blanks)
{
    const int baseline = (pixelSize * 1825 + 1024) / 2048;
    const int offset = (pixelSize * 123 + 2047) / 2048;
    const int thickness = std::max(1, (pixelSize * 100 + 1024) / 2048);
    const int width = blanks * pixelSize * 512 / 2048;
    return QRect(0, baseline + offset - thickness / 2, width, thickness);
}

int TSplashForm::Scaled(int designPixels, qreal logicalDpi)
{
    return ScaledLength(designPixels, logicalDpi, forms::SplashForm.designDpi);
}

TSplashForm::TSplashForm(QWidget *parent, qreal logicalDpi)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    InitVexoAssets();
    InstallFontSubstitutions();

    QScreen *scr = QGuiApplication::primaryScreen();
    FDpi = logicalDpi > 0 ? logicalDpi : (scr ? scr->logicalDotsPerInch() : qreal(forms::SplashForm.designDpi));

    setObjectName(QStringLiteral("SplashForm"));
    if (QGuiApplication::windowIcon().isNull()) // else the program's, already decoded
        setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    setFocusPolicy(Qt::NoFocus);

    TBuildHooks hooks;
    hooks.dpi = FDpi;
    hooks.make = [](const forms::TControl &row, QWidget *parent) -> QWidget * {
        // only blanks: the underline alone shows, as a stroke above the bevel
        if (row.kind == forms::TKind::Label && QText(row.text).trimmed().isEmpty() && (row.font.style & forms::fsUnderline))
            return new TUnderlineLabel(QText(row.text), parent);
        return nullptr;
    };
    const TFormControls controls = BuildForm(forms::SplashForm, this, this, hooks);
    Panel1 = controls.Get<QFrame>("Panel1");
    Label3 = controls.Get<QLabel>("Label3");
    Bevel1 = controls.Get<QFrame>("Bevel1");
    Label1 = controls.Get<QLabel>("Label1");
}

TSplashForm::~TSplashForm() = default;

void TSplashForm::ShowAndPaint()
{
    show();
    // let the window system map it, then paint synchronously
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
