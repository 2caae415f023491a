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

#include "Fonts.h"
#include "Pictures.h"
#include "VexoAssets.h"

namespace {

QFont ScaledFont(const char *family, int designPixels, qreal dpi)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(std::max(1, TSplashForm::Scaled(designPixels, dpi)));
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

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

void SetTextColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

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
    return static_cast<int>(std::lround(designPixels * logicalDpi / kDesignDpi));
}

// Edges are scaled, not sizes, so neighbouring controls stay flush.
QRect TSplashForm::ScaledRect(int left, int top, int width, int height) const
{
    const int x = Scaled(left, FDpi);
    const int y = Scaled(top, FDpi);
    return QRect(x, y, Scaled(left + width, FDpi) - x, Scaled(top + height, FDpi) - y);
}

TSplashForm::TSplashForm(QWidget *parent, qreal logicalDpi)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    InitVexoAssets();
    InstallFontSubstitutions();

    QScreen *scr = QGuiApplication::primaryScreen();
    FDpi = logicalDpi > 0 ? logicalDpi : (scr ? scr->logicalDotsPerInch() : qreal(kDesignDpi));

    setObjectName(QStringLiteral("SplashForm"));
    if (QGuiApplication::windowIcon().isNull()) // else the program's, already decoded
        setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(ScaledRect(0, 0, 230, 106).size());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    // raised outer and lowered inner line around a silver face
    Panel1->setFrameShape(QFrame::Box);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setMidLineWidth(0);
    {
        QPalette pal = Panel1->palette();
        pal.setColor(QPalette::Window, QColor(192, 192, 192));
        Panel1->setPalette(pal);
    }
    Panel1->setAutoFillBackground(true);
    Panel1->setGeometry(rect());

    // blanks only: the underline alone shows, as a stroke above the bevel
    Label3 = new TUnderlineLabel(QString(31, QLatin1Char(' ')), Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setTextFormat(Qt::PlainText);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont strokeFont = ScaledFont("Times New Roman", 20, FDpi);
    strokeFont.setItalic(true);
    strokeFont.setUnderline(true);
    Label3->setFont(strokeFont);
    SetTextColour(Label3, Qt::black);
    Label3->setGeometry(ScaledRect(38, 26, 155, 22));
    Label3->setAccessibleName(Label3->text());

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Panel);
    Bevel1->setFrameShadow(QFrame::Raised);
    Bevel1->setLineWidth(1);
    Bevel1->setGeometry(ScaledRect(12, 57, 206, 3));

    Label1 = new QLabel(QStringLiteral("Загрузка..."), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setFont(ScaledFont("MS Sans Serif", 14, FDpi));
    SetTextColour(Label1, Qt::black);
    Label1->move(Scaled(84, FDpi), Scaled(76, FDpi));
    Label1->adjustSize();
    Label1->setAccessibleName(Label1->text());

    for (QWidget *child : findChildren<QWidget *>())
        child->setFocusPolicy(Qt::NoFocus);

    if (scr) {
        const QRect area = scr->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
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
