#include "HelpATVexo.h"

#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QScopeGuard>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "ModalForm.h"
#include "Fonts.h"
#include "JpegImage.h"
#include "Pictures.h"
#include "VexoAssets.h"

TfHelpATVexo *fHelpATVexo = nullptr;

namespace {

TfHelpATVexo::PictureLookup &PictureLookupHook()
{
    static TfHelpATVexo::PictureLookup lookup;
    return lookup;
}

QString FindPicture(const QString &fileName)
{
    const auto &lookup = PictureLookupHook();
    return lookup ? lookup(fileName) : PicturePath(fileName);
}

QFont CourierNew(int pixelSize, bool boldItalic = false)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    // whole-pixel advances (7 px at 12 px), as the page was laid out with;
    // fractional ones would wrap its widest lines
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setPixelSize(pixelSize);
    font.setBold(boldItalic);
    font.setItalic(boldItalic);
    return font;
}

// Raised outer and lowered inner line, 1 px each: the content starts 2 px in.
void LoweredInnerBevel(QFrame *panel)
{
    panel->setFrameShape(QFrame::Box);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);
    panel->setMidLineWidth(0);
}

// A page of text the operator only reads: no caret, no selection, no
// editing, no focus. Kept enabled so the text keeps its own colour instead
// of the greyed-out one.
void SetUpReadOnlyView(QTextEdit *view, const QColor &textColour, const QStringList &lines)
{
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::NoTextInteraction);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setUndoRedoEnabled(false);
    view->setLineWrapMode(QTextEdit::WidgetWidth);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // the texts were laid out for a 1 px inner margin: with Qt's 4 px the
    // longest lines would wrap
    view->document()->setDocumentMargin(1);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    pal.setColor(QPalette::Text, textColour);
    view->setPalette(pal);
    view->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace

const QStringList &TfHelpATVexo::WarningLines()
{
    static const QStringList lines = {
        QStringLiteral("Внимание!!! у \"Vexo\", “AT” команды доступны по порту корректора, только в течении "),
        QStringLiteral("7 сек после включения питания Vexo. Скорость работы по порту \"19200\"!!!"),
    };
    return lines;
}

const QStringList &TfHelpATVexo::HelpLines()
{
    static const QStringList lines = {
        QStringLiteral("Компьютер   и   Vexo   соединяются “нуль - модемным”  кабелем   (Zero-modem "),
        QStringLiteral("или  Z-modem),  имеющим   на   обоих   концах   розетки ,  контакты   которых   "),
        QStringLiteral("соединяются  по   схеме :    "),
        QStringLiteral("                  Vexo                                                       "),
        QStringLiteral("Соединитель   компьютера  "),
        QStringLiteral("       контакт  DB9 (« ВУ »)                                                   DB9    "),
        QStringLiteral("                        3-------------------------------------------------------2                 "),
        QStringLiteral("                        2-------------------------------------------------------3        "),
        QStringLiteral("                        5-------------------------------------------------------5        "),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("“AT” команды Vexo:"),
        QStringLiteral(""),
        QStringLiteral("ATI0 - запрос версии модема, продлевает время настройки на 30сек;"),
        QStringLiteral("AT команды  настройки Vexo: AT+xKPVx=Y,"),
        QStringLiteral(" где:"),
        QStringLiteral("   x<0..99> - номер параметра, Y<0..65535> - значение параметра"),
        QStringLiteral("   x=3  - интерфейс “шлюз”, Y=0-7 - номер скорости обмена: 0..7 (1200..115200)"),
        QStringLiteral("   x=4  - интерфейс принтера (только для вычислителей “тетрамакс”), Y=0-7 - номер "),
        QStringLiteral("скорости обмена"),
        QStringLiteral("   x=8  - AdrMBus (только для вычислителей “тетрамакс”), Y=1-254 - адрес на шине "),
        QStringLiteral("ModBus (AT+xKPV8=88)."),
    };
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
    setWindowTitle(QStringLiteral("Справка \"AT\" команд Vexo"));
    setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    setFont(CourierNew(12));

    Label1 = new QLabel(QStringLiteral("“AT” команды \"Vexo\"."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(CourierNew(17, true));
    {
        QPalette pal = Label1->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
        Label1->setPalette(pal);
    }
    Label1->setFixedHeight(20);
    Label1->setAccessibleName(Label1->text());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    LoweredInnerBevel(Panel1);

    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::NoFrame);
    Panel2->setFixedHeight(39);

    RichEdit1 = new QTextEdit(Panel2);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setFont(CourierNew(12));
    SetUpReadOnlyView(RichEdit1, QColor(255, 0, 0), WarningLines());
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // two lines, no room for more
    RichEdit1->setAccessibleName(QStringLiteral("Внимание"));

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    // drawn unscaled from the top-left corner, the rest cut off
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setScaledContents(false);
    Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Image1->setFixedHeight(312);
    Image1->setAccessibleName(QStringLiteral("Vexo с нуль-модемным кабелем"));
    // a missing or damaged picture leaves the control empty, nothing more
    const QImage photo = LoadJpegFile(FindPicture(QStringLiteral("help_vexo.jpg")));
    if (!photo.isNull())
        Image1->setPixmap(QPixmap::fromImage(photo));

    RichEdit2 = new QTextEdit(Panel1);
    RichEdit2->setObjectName(QStringLiteral("RichEdit2"));
    SetUpReadOnlyView(RichEdit2, palette().color(QPalette::WindowText), HelpLines());
    RichEdit2->setAccessibleName(QStringLiteral("Справка"));

    auto *panel2Layout = new QVBoxLayout(Panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    panel2Layout->setSpacing(0);
    panel2Layout->addWidget(RichEdit1);

    // the layout works inside Panel1's 2 px bevel
    auto *panel1Layout = new QVBoxLayout(Panel1);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    panel1Layout->setSpacing(0);
    panel1Layout->addWidget(Panel2);
    panel1Layout->addWidget(Image1);
    panel1Layout->addWidget(RichEdit2, 1);

    auto *windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);
    windowLayout->addWidget(Label1);
    windowLayout->addWidget(Panel1, 1);

    // every key has to reach the window itself
    for (QWidget *child : findChildren<QWidget *>())
        child->setFocusPolicy(Qt::NoFocus);

    resize(593, 727);
    move(368, 211);

    tInit = new QTimer(this);
    tInit->setObjectName(QStringLiteral("tInit"));
    tInit->setInterval(50);
    tInit->setSingleShot(true);
    connect(tInit, &QTimer::timeout, this, &TfHelpATVexo::tInitTimer);
    tInit->start();
}

TfHelpATVexo::~TfHelpATVexo() = default;

void TfHelpATVexo::tInitTimer()
{
    tInit->stop();
    move(x(), 0);
    move(0, 0);
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
