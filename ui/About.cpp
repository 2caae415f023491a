#include "About.h"

#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include "Forms.h"
#include "ModalForm.h"
#include "Fonts.h"
#include "JpegImage.h"
#include "Pictures.h"
#include "VexoAssets.h"

TAboutForm *AboutForm = nullptr;

namespace {

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);
const QColor kTeal(0, 128, 128);
const QColor kBlack(0, 0, 0);

// Placeholders for the maker's contacts.
const QString kAddress = QStringLiteral("г. Энск, тел. +7 (000) 000-00-00");
const QString kWebSite = QStringLiteral("http://www.example.com");
const QString kMailLink = QStringLiteral("mailto:info@example.com");

TAboutForm::UrlOpener &UrlOpenerHook()
{
    static TAboutForm::UrlOpener opener;
    return opener;
}

TAboutForm::PictureLookup &PictureLookupHook()
{
    static TAboutForm::PictureLookup lookup;
    return lookup;
}

QString FindPicture(const QString &fileName)
{
    const auto &lookup = PictureLookupHook();
    return lookup ? lookup(fileName) : PicturePath(fileName);
}

QFont SansSerif(int pixelSize, bool bold = false, bool italic = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void SetTextColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::ButtonText, colour);
    w->setPalette(pal);
}

// A button with its picture 2 px from the left edge and the caption centred
// in the space to the right of it; QPushButton would centre both together.
class TGlyphButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    static constexpr int kMargin = 2;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        p.drawControl(QStyle::CE_PushButton, opt);

        const int shift = isDown() ? 1 : 0;
        const QSize glyph = iconSize();
        const QPixmap pm = icon().pixmap(glyph, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        p.drawPixmap(kMargin + shift, (height() - glyph.height()) / 2 + shift, pm);

        const int textLeft = kMargin + glyph.width();
        const QRect textRect(textLeft + shift, shift, width() - textLeft, height());
        p.drawItemText(textRect, Qt::AlignCenter, palette(), isEnabled(), text(), QPalette::ButtonText);
    }
};

} // namespace

void TAboutForm::SetUrlOpener(UrlOpener opener)
{
    UrlOpenerHook() = std::move(opener);
}

void TAboutForm::SetPictureLookup(PictureLookup lookup)
{
    PictureLookupHook() = std::move(lookup);
}

TAboutForm::TAboutForm(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    InitVexoAssets();
    InstallFontSubstitutions();

    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("О программе "));
    setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    setFont(SansSerif(12));
    setFixedSize(368, 252);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setScaledContents(false);
    Image1->setGeometry(0, 0, 169, 161);
    Image1->setAccessibleName(QStringLiteral("Логотип"));
    // a missing or damaged picture leaves the control empty, nothing more
    const QImage logo = LoadJpegFile(FindPicture(QStringLiteral("about_logo.jpg")));
    if (!logo.isNull())
        Image1->setPixmap(QPixmap::fromImage(logo));

    const auto makeLabel = [this](const char *name, const QString &text, int left, int top,
                                  const QFont &font, const QColor &colour) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        label->setFont(font);
        SetTextColour(label, colour);
        label->move(left, top);
        label->adjustSize();
        label->setAccessibleName(text);
        return label;
    };

    lNamePO = makeLabel("lNamePO", QStringLiteral("---------------------"), 188, 32,
                        SansSerif(20, true, true), kNavy);
    lNamePO->setAlignment(Qt::AlignCenter);
    Label5 = makeLabel("Label5",
                       QStringLiteral("Программное обеспечение\r\n      \"AT\" команды Vexo"), 188, 72,
                       SansSerif(12, true, true), kNavy);
    Label2 = makeLabel("Label2", QStringLiteral("версия:"), 176, 120, SansSerif(12), kBlack);
    Label_versPr = makeLabel("Label_versPr", QStringLiteral("---------------------"), 224, 120,
                             SansSerif(12, true, true), kNavy);
    Label1 = makeLabel("Label1", QStringLiteral("Win98, WinXP, Win2000, Vista, Win7"), 174, 156,
                       SansSerif(12), kBlack);
    Label1->setAlignment(Qt::AlignCenter);
    address = makeLabel("address", kAddress, 10, 176, SansSerif(12), kBlack);

    l_http = makeLabel("l_http", kWebSite, 8, 200, SansSerif(12, true), kBlue);
    l_http->setProperty(kHintProperty, kWebSite);
    l_mail = makeLabel("l_mail", kMailLink, 8, 224, SansSerif(12, true), kTeal);
    l_mail->setProperty(kHintProperty, kMailLink);
    for (QLabel *link : {l_http, l_mail}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setAccessibleDescription(link->property(kHintProperty).toString());
        link->installEventFilter(this);
    }

    auto *button = new TGlyphButton(QStringLiteral("ДА"), this);
    OKButton = button;
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(271, 207, 74, 33);
    OKButton->setFont(SansSerif(12, true));
    SetTextColour(OKButton, kBlack);
    OKButton->setIcon(PngIcon(QStringLiteral(":/pictures/ok.png"), QStringLiteral(":/pictures/ok_disabled.png")));
    OKButton->setIconSize(QSize(18, 18));
    OKButton->setCursor(Qt::PointingHandCursor);
    OKButton->setAutoDefault(true);
    OKButton->setDefault(true);
    OKButton->setAccessibleName(OKButton->text());
    OKButton->installEventFilter(this);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    // the OK button is the only stop for the keyboard
    for (QWidget *child : findChildren<QWidget *>())
        child->setFocusPolicy(child == OKButton ? Qt::StrongFocus : Qt::NoFocus);
    OKButton->setFocus();

    tInit = new QTimer(this);
    tInit->setObjectName(QStringLiteral("tInit"));
    tInit->setInterval(50);
    tInit->setSingleShot(true);
    connect(tInit, &QTimer::timeout, this, &TAboutForm::tInitTimer);
    tInit->start();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormShow()
{
    lNamePO->setText(QString::fromUtf8(forms::AboutShownName.data(), qsizetype(forms::AboutShownName.size())));
    Label_versPr->setText(
        QString::fromUtf8(forms::AboutShownVersion.data(), qsizetype(forms::AboutShownVersion.size())));
    for (QLabel *label : {lNamePO, Label_versPr}) {
        label->adjustSize();
        label->setAccessibleName(label->text());
    }
}

void TAboutForm::tInitTimer()
{
    tInit->stop();
    move(x(), 0);
    move(0, 0);
}

void TAboutForm::OKButtonKeyUp(QObject *, int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
        close();
}

void TAboutForm::l_httpClick(QObject *sender)
{
    OpenHint(sender);
}

void TAboutForm::l_mailClick(QObject *sender)
{
    OpenHint(sender);
}

void TAboutForm::OpenHint(QObject *sender)
{
    const auto *label = qobject_cast<const QLabel *>(sender);
    if (!label)
        return;
    const QUrl url(label->property(kHintProperty).toString());
    try {
        const auto &opener = UrlOpenerHook();
        // the result does not matter: a link that cannot be opened is ignored
        if (opener)
            (void)opener(url);
        else
            (void)QDesktopServices::openUrl(url);
    } catch (...) {
        // silently, as above; the window stays open
    }
}

void TAboutForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        FormShow();
        QScreen *scr = screen() ? screen() : QGuiApplication::primaryScreen();
        if (scr) {
            const QRect area = scr->geometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
        OKButton->setFocus();
    }
    QDialog::showEvent(event);
}

void TAboutForm::keyPressEvent(QKeyEvent *event)
{
    // Escape closes on its release (OKButtonKeyUp), not on the press as in
    // QDialog; Enter still presses the default button
    if (event->key() == Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == OKButton && event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            OKButtonKeyUp(OKButton, key->key(), key->modifiers());
    } else if ((watched == l_http || watched == l_mail) &&
               event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *label = static_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (watched == l_http)
                l_httpClick(watched);
            else
                l_mailClick(watched);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutForm(QWidget *owner) { ShowModalOnce(owner, AboutForm); }
