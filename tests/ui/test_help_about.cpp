// The help and about windows: layout, texts, keys, links, lifetime.
#include <gtest/gtest.h>

#include "About.h"
#include "Fonts.h"
#include "HelpATVexo.h"
#include "JpegImage.h"
#include "Pictures.h"
#include "VexoAssets.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

// Texts as the design gives them, one entry a line.
const char *const kWarning[] = {
    "Внимание!!! у \"Vexo\", “AT” команды доступны по порту корректора, только в течении ",
    "7 сек после включения питания Vexo. Скорость работы по порту \"19200\"!!!",
};

const char *const kHelp[] = {
    "Компьютер   и   Vexo   соединяются “нуль - модемным”  кабелем   (Zero-modem ",
    "или  Z-modem),  имеющим   на   обоих   концах   розетки ,  контакты   которых   ",
    "соединяются  по   схеме :    ",
    "                  Vexo                                                       ",
    "Соединитель   компьютера  ",
    "       контакт  DB9 (« ВУ »)                                                   DB9    ",
    "                        3-------------------------------------------------------2                 ",
    "                        2-------------------------------------------------------3        ",
    "                        5-------------------------------------------------------5        ",
    "",
    "",
    "“AT” команды Vexo:",
    "",
    "ATI0 - запрос версии модема, продлевает время настройки на 30сек;",
    "AT команды  настройки Vexo: AT+xKPVx=Y,",
    " где:",
    "   x<0..99> - номер параметра, Y<0..65535> - значение параметра",
    "   x=3  - интерфейс “шлюз”, Y=0-7 - номер скорости обмена: 0..7 (1200..115200)",
    "   x=4  - интерфейс принтера (только для вычислителей “тетрамакс”), Y=0-7 - номер ",
    "скорости обмена",
    "   x=8  - AdrMBus (только для вычислителей “тетрамакс”), Y=1-254 - адрес на шине ",
    "ModBus (AT+xKPV8=88).",
};

QStringList Lines(const char *const *begin, const char *const *end)
{
    QStringList out;
    for (auto it = begin; it != end; ++it)
        out << QString::fromUtf8(*it);
    return out;
}

// Screen of the test platform: 1280 x 1024, no window frames.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

class UiTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        InitVexoAssets();
        InstallFontSubstitutions();
    }
    void TearDown() override
    {
        TfHelpATVexo::SetPictureLookup({});
        TAboutForm::SetPictureLookup({});
        TAboutForm::SetUrlOpener({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

enum class AfterDuring { Close, LeaveOpen };

// Runs `open`, which blocks in a modal loop, with `during` called from inside
// that loop. A window `during` leaves open is closed afterwards unless told
// otherwise; a watchdog ends a loop that would never return. True when
// `during` ran and nothing hung.
bool RunModal(const std::function<void()> &open, const std::function<void()> &during,
              AfterDuring after = AfterDuring::Close)
{
    bool ran = false;
    bool hung = false;
    QTimer::singleShot(0, qApp, [&] {
        ran = true;
        during();
        if (QWidget *modal = QApplication::activeModalWidget(); modal && after == AfterDuring::Close)
            modal->close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        hung = true;
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    watchdog.start(30000);
    open();
    return ran && !hung;
}

QColor TextColour(const QWidget *w, QPalette::ColorRole role = QPalette::WindowText)
{
    return w->palette().color(role);
}

bool IsGreen(QRgb c)
{
    return qGreen(c) > qRed(c) + 50 && qGreen(c) > qBlue(c) + 50;
}

// Bounding box of the pixels that pass `test`.
QRect Extent(const QImage &img, const std::function<bool(QRgb)> &test, const QRect &within = QRect())
{
    const QRect area = within.isNull() ? img.rect() : within & img.rect();
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(img.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

QImage Grab(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Writes `bytes` to a file in `dir` and returns its path.
QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// ================================================================ help window

TEST_F(UiTest, HelpWindowLayoutFollowsTheDesign)
{
    TfHelpATVexo form;
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Справка \"AT\" команд Vexo"));
    EXPECT_EQ(form.pos(), QPoint(368, 211)); // design place until the start timer
    EXPECT_EQ(form.size(), QSize(593, 727));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::FramelessWindowHint);
    EXPECT_NE(form.minimumSize(), form.maximumSize()) << "the help window is resizable";

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.tInit->stop(); // keep it where it is for this test

    EXPECT_EQ(form.Label1->objectName(), "Label1");
    EXPECT_EQ(form.Panel1->objectName(), "Panel1");
    EXPECT_EQ(form.Panel2->objectName(), "Panel2");
    EXPECT_EQ(form.RichEdit1->objectName(), "RichEdit1");
    EXPECT_EQ(form.Image1->objectName(), "Image1");
    EXPECT_EQ(form.RichEdit2->objectName(), "RichEdit2");
    EXPECT_EQ(form.tInit->objectName(), "tInit");
    EXPECT_EQ(form.findChild<QTextEdit *>("RichEdit2"), form.RichEdit2);

    EXPECT_EQ(form.Panel2->parentWidget(), form.Panel1);
    EXPECT_EQ(form.RichEdit1->parentWidget(), form.Panel2);
    EXPECT_EQ(form.Image1->parentWidget(), form.Panel1);
    EXPECT_EQ(form.RichEdit2->parentWidget(), form.Panel1);

    EXPECT_EQ(form.Label1->geometry(), QRect(0, 0, 593, 20));
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 20, 593, 707));
    EXPECT_EQ(form.Panel2->geometry(), QRect(2, 2, 589, 39));
    EXPECT_EQ(form.RichEdit1->geometry(), QRect(0, 0, 589, 39));
    EXPECT_EQ(form.Image1->geometry(), QRect(2, 41, 589, 312));
    EXPECT_EQ(form.RichEdit2->geometry(), QRect(2, 353, 589, 352));

    // a bigger window gives all the room to the help text
    form.resize(700, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Label1->geometry(), QRect(0, 0, 700, 20));
    EXPECT_EQ(form.Panel2->geometry(), QRect(2, 2, 696, 39));
    EXPECT_EQ(form.Image1->geometry(), QRect(2, 41, 696, 312));
    EXPECT_EQ(form.RichEdit2->geometry(), QRect(2, 353, 696, 425));

    // the window gets every key: nothing inside may take the focus
    for (QWidget *child : form.findChildren<QWidget *>())
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->metaObject()->className() << " "
                                                     << child->objectName().toStdString();

    for (QWidget *control : {static_cast<QWidget *>(form.Label1), static_cast<QWidget *>(form.RichEdit1),
                             static_cast<QWidget *>(form.Image1), static_cast<QWidget *>(form.RichEdit2)})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    EXPECT_EQ(form.Label1->accessibleName(), form.Label1->text());

    // an owner elsewhere on the screen does not pull it over itself
    QWidget owner;
    owner.setGeometry(800, 600, 200, 150);
    owner.show();
    TfHelpATVexo owned(&owner);
    owned.show();
    owned.tInit->stop();
    EXPECT_EQ(owned.pos(), QPoint(368, 211));

    const QImage icon = QIcon(":/pictures/icon.png").pixmap(32, 32).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(form.windowIcon().pixmap(32, 32).toImage(), icon);
}

TEST_F(UiTest, HelpWindowTextsFontsAndColours)
{
    TfHelpATVexo form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.tInit->stop();

    EXPECT_EQ(form.Label1->text(), QString::fromUtf8("“AT” команды \"Vexo\"."));
    EXPECT_TRUE(form.Label1->alignment() & Qt::AlignHCenter);

    const QStringList warning = Lines(std::begin(kWarning), std::end(kWarning));
    const QStringList help = Lines(std::begin(kHelp), std::end(kHelp));
    ASSERT_EQ(warning.size(), 2);
    ASSERT_EQ(help.size(), 22);
    EXPECT_EQ(form.RichEdit1->toPlainText().split('\n'), warning);
    EXPECT_EQ(form.RichEdit2->toPlainText().split('\n'), help);
    EXPECT_EQ(TfHelpATVexo::WarningLines(), warning);
    EXPECT_EQ(TfHelpATVexo::HelpLines(), help);

    // only to be read
    for (QTextEdit *view : {form.RichEdit1, form.RichEdit2}) {
        EXPECT_TRUE(view->isReadOnly());
        EXPECT_EQ(view->textInteractionFlags(), Qt::NoTextInteraction);
        EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
        EXPECT_EQ(view->lineWrapMode(), QTextEdit::WidgetWidth);
        EXPECT_EQ(view->palette().color(QPalette::Base), form.palette().color(QPalette::Button));
    }
    // at the design size every line fits as written (the cable drawing
    // would be torn apart otherwise), and the whole help text is in view
    const auto visualLines = [](QTextEdit *view) {
        std::vector<int> counts;
        for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
            counts.push_back(b.layout()->lineCount());
        return counts;
    };
    EXPECT_EQ(visualLines(form.RichEdit1), std::vector<int>(2, 1));
    EXPECT_EQ(visualLines(form.RichEdit2), std::vector<int>(22, 1));
    EXPECT_EQ(form.RichEdit2->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(QFontMetrics(form.RichEdit2->font()).horizontalAdvance(QString(10, 'x')), 70);

    // a narrower window wraps the lines instead of hiding their ends
    form.resize(420, 727);
    QCoreApplication::processEvents();
    const std::vector<int> narrow = visualLines(form.RichEdit2);
    EXPECT_GT(narrow[0], 1);
    EXPECT_GT(narrow[6], 1);
    EXPECT_EQ(narrow[15], 1) << "short lines stay whole";
    EXPECT_EQ(form.RichEdit2->horizontalScrollBar()->maximum(), 0);
    form.resize(593, 727);
    QCoreApplication::processEvents();

    // fonts: the design's faces through the substitutions
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Mono");
    EXPECT_EQ(form.font().pixelSize(), 12);
    const QFont title = form.Label1->font();
    EXPECT_EQ(QFontInfo(title).family(), "Liberation Mono");
    EXPECT_EQ(title.pixelSize(), 17);
    EXPECT_TRUE(title.bold());
    EXPECT_TRUE(title.italic());
    for (QTextEdit *view : {form.RichEdit1, form.RichEdit2}) {
        EXPECT_EQ(QFontInfo(view->font()).family(), "Liberation Mono");
        EXPECT_EQ(view->font().pixelSize(), 12);
        EXPECT_FALSE(view->font().bold());
    }

    EXPECT_EQ(TextColour(form.Label1), QColor(0, 0, 255));
    EXPECT_EQ(TextColour(form.RichEdit1, QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(TextColour(form.RichEdit2, QPalette::Text), form.palette().color(QPalette::WindowText));

    // and they reach the screen: red warning, blue title
    const auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; };
    const auto blue = [](QRgb c) { return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80; };
    EXPECT_FALSE(Extent(Grab(form.RichEdit1), red).isNull());
    EXPECT_TRUE(Extent(Grab(form.RichEdit2), red).isNull());
    const QRect titleInk = Extent(Grab(form.Label1), blue);
    ASSERT_FALSE(titleInk.isNull());
    EXPECT_NEAR(titleInk.center().x(), 593 / 2, 3) << "the title is centred";
}

TEST_F(UiTest, HelpPictureIsDrawnUnscaledFromItsTopLeftCorner)
{
    const QImage photo = LoadJpegFile(PicturePath("help_vexo.jpg"));
    ASSERT_EQ(photo.size(), QSize(594, 380));

    TfHelpATVexo form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.tInit->stop();
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(594, 380));
    const QImage shown = Grab(form.Image1);
    ASSERT_EQ(shown.size(), QSize(589, 312));
    EXPECT_EQ(shown, photo.copy(0, 0, 589, 312).convertToFormat(QImage::Format_RGB32));
}

TEST_F(UiTest, HelpWindowOpensWithoutItsPicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = WriteFile(dir, "help_vexo.jpg", QByteArray("\xff\xd8\xff\xe0 not really a picture", 25));
    const QString truncated = [&] {
        QFile f(PicturePath("help_vexo.jpg"));
        return f.open(QIODevice::ReadOnly) ? WriteFile(dir, "cut.jpg", f.read(f.size() / 2)) : QString();
    }();
    ASSERT_FALSE(truncated.isEmpty());

    for (const QString &path : {QString(), dir.filePath("absent.jpg"), broken, truncated}) {
        QStringList asked;
        TfHelpATVexo::SetPictureLookup([&](const QString &name) {
            asked << name;
            return path;
        });
        bool wasEmpty = false;
        EXPECT_TRUE(RunModal([] { ShowHelpForm(nullptr); },
                             [&] {
                                 ASSERT_NE(fHelpATVexo, nullptr);
                                 wasEmpty = fHelpATVexo->Image1->pixmap().isNull();
                                 EXPECT_TRUE(fHelpATVexo->isVisible());
                                 QTest::keyClick(fHelpATVexo, Qt::Key_Escape);
                                 EXPECT_FALSE(fHelpATVexo->isVisible());
                             }));
        EXPECT_TRUE(wasEmpty) << path.toStdString();
        EXPECT_EQ(asked, QStringList{"help_vexo.jpg"});
        EXPECT_EQ(fHelpATVexo, nullptr);
    }
}

TEST_F(UiTest, HelpWindowClosesOnlyWhenEscapeIsReleased)
{
    QWidget owner;
    QPointer<TfHelpATVexo> seen;
    int finished = 0;
    bool openAfterOtherKeys = false, openAfterEscapePress = false, openAfterRepeat = false;
    bool closedAfterRelease = false;
    EXPECT_TRUE(RunModal([&] { ShowHelpForm(&owner); },
                         [&] {
                             TfHelpATVexo *form = fHelpATVexo;
                             ASSERT_NE(form, nullptr);
                             seen = form;
                             EXPECT_EQ(form->parentWidget(), &owner);
                             EXPECT_TRUE(form->isModal());
                             QObject::connect(form, &QDialog::finished, [&] { ++finished; });
                             for (Qt::Key key : {Qt::Key_A, Qt::Key_Z, Qt::Key_0, Qt::Key_7, Qt::Key_Left,
                                                 Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Return,
                                                 Qt::Key_Enter, Qt::Key_Space, Qt::Key_Tab, Qt::Key_F1})
                                 QTest::keyClick(form, key);
                             form->FormKeyUp(form, Qt::Key_Return, Qt::NoModifier);
                             openAfterOtherKeys = form->isVisible();
                             QTest::keyPress(form, Qt::Key_Escape);
                             openAfterEscapePress = form->isVisible();
                             QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(), true);
                             QCoreApplication::sendEvent(form, &repeat);
                             openAfterRepeat = form->isVisible();
                             QTest::keyRelease(form, Qt::Key_Escape);
                             closedAfterRelease = !form->isVisible();
                             QTest::keyClick(form, Qt::Key_Escape); // already closed: no second ending
                         }));
    EXPECT_TRUE(openAfterOtherKeys);
    EXPECT_TRUE(openAfterEscapePress);
    EXPECT_TRUE(openAfterRepeat);
    EXPECT_TRUE(closedAfterRelease);
    EXPECT_EQ(finished, 1);

    // released afterwards, once the queued messages are handled
    EXPECT_EQ(fHelpATVexo, nullptr);
    ASSERT_FALSE(seen.isNull()) << "deleted at once instead of deferred";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(seen.isNull());
    EXPECT_TRUE(owner.findChildren<TfHelpATVexo *>().isEmpty());
}

TEST_F(UiTest, HelpWindowMovesToTheCornerWhileTheOwnersTimersRun)
{
    QWidget owner;
    int ownerTicks = 0;
    QTimer ownerTimer(&owner);
    QObject::connect(&ownerTimer, &QTimer::timeout, [&] { ++ownerTicks; });
    ownerTimer.start(5);

    QPoint placed;
    bool timerOff = false;
    int ticksWhileOpen = 0;
    // poll from inside the modal loop itself until both have happened
    EXPECT_TRUE(RunModal([&] { ShowHelpForm(&owner); },
                         [&] {
                             TfHelpATVexo *form = fHelpATVexo;
                             ASSERT_NE(form, nullptr);
                             auto *poll = new QTimer(form);
                             QObject::connect(poll, &QTimer::timeout, form, [&, form] {
                                 if (form->pos() == QPoint(0, 0) && ownerTicks >= 3) {
                                     placed = form->pos();
                                     timerOff = !form->tInit->isActive();
                                     ticksWhileOpen = ownerTicks;
                                     form->close();
                                 }
                             });
                             poll->start(10);
                         },
                         AfterDuring::LeaveOpen));
    EXPECT_EQ(placed, QPoint(0, 0));
    EXPECT_TRUE(timerOff);
    EXPECT_GE(ticksWhileOpen, 3);
}

// =============================================================== about window

TEST_F(UiTest, AboutWindowLayoutTextsAndLooks)
{
    TAboutForm form;
    // design texts until shown
    EXPECT_EQ(form.lNamePO->text(), "---------------------");
    EXPECT_EQ(form.Label_versPr->text(), "---------------------");
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("О программе "));
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.size(), QSize(368, 252));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.tInit->stop();

    EXPECT_EQ(form.pos(), QPoint((kScreenWidth - 368) / 2, (kScreenHeight - 252) / 2)) << "centred on the screen";
    EXPECT_EQ(form.lNamePO->text(), "AT_Vexo");
    EXPECT_EQ(form.Label_versPr->text(), "AT_Vexo-1.03");

    struct Expect {
        QLabel *label;
        const char *name;
        QPoint at;
        const char *text; // null: checked separately
        QColor colour;
        int pixels;
        bool bold, italic;
    };
    const QColor navy(0, 0, 128), black(0, 0, 0);
    const std::vector<Expect> labels = {
        {form.lNamePO, "lNamePO", {188, 32}, "AT_Vexo", navy, 20, true, true},
        {form.Label5, "Label5", {188, 72}, "Программное обеспечение\r\n      \"AT\" команды Vexo", navy, 12, true, true},
        {form.Label2, "Label2", {176, 120}, "версия:", black, 12, false, false},
        {form.Label_versPr, "Label_versPr", {224, 120}, "AT_Vexo-1.03", navy, 12, true, true},
        {form.Label1, "Label1", {174, 156}, "Win98, WinXP, Win2000, Vista, Win7", black, 12, false, false},
        {form.address, "address", {10, 176}, nullptr, black, 12, false, false},
        {form.l_http, "l_http", {8, 200}, nullptr, QColor(0, 0, 255), 12, true, false},
        {form.l_mail, "l_mail", {8, 224}, nullptr, QColor(0, 128, 128), 12, true, false},
    };
    for (const Expect &e : labels) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(e.label, nullptr);
        EXPECT_EQ(e.label->objectName(), e.name);
        EXPECT_EQ(e.label->parentWidget(), &form);
        EXPECT_EQ(e.label->pos(), e.at);
        if (e.text) {
            EXPECT_EQ(e.label->text(), QString::fromUtf8(e.text));
        }
        EXPECT_FALSE(e.label->text().isEmpty());
        EXPECT_GE(e.label->width(), e.label->sizeHint().width()) << "the whole text fits";
        EXPECT_EQ(TextColour(e.label), e.colour);
        EXPECT_EQ(QFontInfo(e.label->font()).family(), "Liberation Sans");
        EXPECT_EQ(e.label->font().pixelSize(), e.pixels);
        EXPECT_EQ(e.label->font().bold(), e.bold);
        EXPECT_EQ(e.label->font().italic(), e.italic);
        EXPECT_EQ(e.label->focusPolicy(), Qt::NoFocus);
        EXPECT_TRUE(e.label->toolTip().isEmpty()) << "hints are never shown as tooltips";
        EXPECT_EQ(e.label->accessibleName(), e.label->text());
    }
    const QFontMetrics label5(form.Label5->font());
    EXPECT_EQ(form.Label5->sizeHint().height(), 2 * label5.height() + label5.leading())
        << "CR LF is one line break";
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans");
    EXPECT_EQ(form.font().pixelSize(), 12);

    // the links: caption and hint
    EXPECT_EQ(form.l_http->property(TAboutForm::kHintProperty).toString(), form.l_http->text());
    EXPECT_TRUE(form.l_http->text().startsWith("http://"));
    EXPECT_TRUE(form.l_mail->text().startsWith("mailto:"));
    EXPECT_TRUE(form.l_mail->property(TAboutForm::kHintProperty).toString().startsWith("mailto:"));
    for (QLabel *link : {form.l_http, form.l_mail})
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    // the picture
    EXPECT_EQ(form.Image1->objectName(), "Image1");
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 169, 161));
    EXPECT_FALSE(form.Image1->accessibleName().isEmpty());
    const QImage logo = LoadJpegFile(PicturePath("about_logo.jpg"));
    ASSERT_EQ(logo.size(), QSize(173, 164));
    EXPECT_EQ(Grab(form.Image1), logo.copy(0, 0, 169, 161).convertToFormat(QImage::Format_RGB32));

    // the button
    QPushButton *ok = form.OKButton;
    EXPECT_EQ(ok->objectName(), "OKButton");
    EXPECT_EQ(ok->geometry(), QRect(271, 207, 74, 33));
    EXPECT_EQ(ok->text(), QString::fromUtf8("ДА"));
    EXPECT_EQ(ok->accessibleName(), ok->text());
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(QFontInfo(ok->font()).family(), "Liberation Sans");
    EXPECT_EQ(ok->font().pixelSize(), 12);
    EXPECT_TRUE(ok->font().bold());
    EXPECT_EQ(TextColour(ok, QPalette::ButtonText), black);
    EXPECT_EQ(ok->iconSize(), QSize(18, 18));
    const QImage okPicture(":/pictures/ok.png"), okDisabled(":/pictures/ok_disabled.png");
    ASSERT_EQ(okPicture.size(), QSize(18, 18));
    // compared premultiplied, as pixmaps hold them
    const auto premultiplied = [](const QImage &img) {
        return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    EXPECT_EQ(premultiplied(ok->icon().pixmap(18, 18, QIcon::Normal).toImage()), premultiplied(okPicture));
    EXPECT_EQ(premultiplied(ok->icon().pixmap(18, 18, QIcon::Disabled).toImage()), premultiplied(okDisabled));
    EXPECT_NE(premultiplied(okPicture), premultiplied(okDisabled));

    // the only stop for the keyboard, and it has the focus
    for (QWidget *child : form.findChildren<QWidget *>())
        EXPECT_EQ(child->focusPolicy(), child == ok ? Qt::StrongFocus : Qt::NoFocus)
            << child->objectName().toStdString();
    EXPECT_EQ(form.focusWidget(), ok);

    EXPECT_EQ(form.windowIcon().pixmap(32, 32).toImage(), QIcon(":/pictures/icon.png").pixmap(32, 32).toImage());

    // centred on the screen, not over its owner
    QWidget owner;
    owner.setGeometry(800, 600, 200, 150);
    owner.show();
    TAboutForm owned(&owner);
    owned.show();
    owned.tInit->stop();
    EXPECT_EQ(owned.pos(), QPoint((kScreenWidth - 368) / 2, (kScreenHeight - 252) / 2));
}

TEST_F(UiTest, AboutButtonPictureSitsAtTheLeftWithTheCaptionBesideIt)
{
    TAboutForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.tInit->stop();

    const QImage glyph = QImage(":/pictures/ok.png").convertToFormat(QImage::Format_ARGB32);
    const QRect glyphInk = Extent(glyph, [](QRgb c) { return qAlpha(c) > 200 && IsGreen(c); });
    ASSERT_FALSE(glyphInk.isNull());

    const QImage button = Grab(form.OKButton);
    const QRect green = Extent(button, IsGreen);
    ASSERT_FALSE(green.isNull());
    const int top = (33 - 18) / 2;
    EXPECT_EQ(green.left(), 2 + glyphInk.left());
    EXPECT_EQ(green.top(), top + glyphInk.top());
    EXPECT_LE(green.right(), 2 + 17);

    // black caption, centred between the picture and the right edge
    const QRect caption = Extent(button, [](QRgb c) { return qGray(c) < 60; }, QRect(21, 5, 48, 23));
    ASSERT_FALSE(caption.isNull());
    EXPECT_NEAR((caption.left() + caption.right()) / 2.0, (20 + 74) / 2.0, 2.0);

    // disabled: the grey twin, no green at all
    form.OKButton->setEnabled(false);
    EXPECT_TRUE(Extent(Grab(form.OKButton), IsGreen).isNull());
}

TEST_F(UiTest, AboutWindowClosesOnEscapeEnterAndClick)
{
    QWidget owner;
    struct Case {
        const char *what;
        std::function<void(TAboutForm *)> act;
        int result;
    };
    const std::vector<Case> cases = {
        {"Escape released", [](TAboutForm *f) {
             QTest::keyPress(f->OKButton, Qt::Key_Escape);
             EXPECT_TRUE(f->isVisible()) << "closes on the release, not the press";
             QTest::keyRelease(f->OKButton, Qt::Key_Escape);
         }, QDialog::Rejected},
        {"Return clicked", [](TAboutForm *f) { QTest::keyClick(f->OKButton, Qt::Key_Return); },
         QDialog::Accepted},
        {"Return released", [](TAboutForm *f) { QTest::keyRelease(f->OKButton, Qt::Key_Return); },
         QDialog::Rejected},
        {"Enter released", [](TAboutForm *f) { QTest::keyRelease(f->OKButton, Qt::Key_Enter); },
         QDialog::Rejected},
        {"button clicked", [](TAboutForm *f) { QTest::mouseClick(f->OKButton, Qt::LeftButton); },
         QDialog::Accepted},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> results;
        bool openAfterOtherKeys = false, closed = false;
        EXPECT_TRUE(RunModal([&] { ShowAboutForm(&owner); },
                             [&] {
                                 TAboutForm *form = AboutForm;
                                 ASSERT_NE(form, nullptr);
                                 EXPECT_EQ(form->parentWidget(), &owner);
                                 QObject::connect(form, &QDialog::finished, [&](int r) { results.push_back(r); });
                                 for (Qt::Key key : {Qt::Key_A, Qt::Key_5, Qt::Key_Left, Qt::Key_Down, Qt::Key_Tab})
                                     QTest::keyClick(form->OKButton, key);
                                 openAfterOtherKeys = form->isVisible();
                                 c.act(form);
                                 closed = !form->isVisible();
                             }));
        EXPECT_TRUE(openAfterOtherKeys);
        EXPECT_TRUE(closed);
        EXPECT_EQ(results, std::vector<int>{c.result});
        EXPECT_EQ(AboutForm, nullptr);
    }
}

TEST_F(UiTest, AboutWindowIsFreshAtEveryOpeningAndReleasedAfterwards)
{
    QWidget owner;
    QPointer<TAboutForm> first, second;
    QStringList texts;
    int aliveDuringSecond = -1;
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(RunModal([&] { ShowAboutForm(&owner); },
                             [&] {
                                 ASSERT_NE(AboutForm, nullptr);
                                 (round == 0 ? first : second) = AboutForm;
                                 if (round == 1)
                                     aliveDuringSecond = owner.findChildren<TAboutForm *>().size();
                                 texts << AboutForm->lNamePO->text() + "|" + AboutForm->Label_versPr->text();
                                 QTest::keyClick(AboutForm->OKButton, Qt::Key_Return);
                             }));
        EXPECT_EQ(AboutForm, nullptr);
        if (round == 0) {
            ASSERT_FALSE(first.isNull()) << "deleted at once instead of deferred";
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(first.isNull());
        }
    }
    EXPECT_EQ(texts, QStringList({"AT_Vexo|AT_Vexo-1.03", "AT_Vexo|AT_Vexo-1.03"}));
    EXPECT_EQ(aliveDuringSecond, 1) << "the first window is gone, the second is a new one";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(owner.findChildren<TAboutForm *>().isEmpty());
}

TEST_F(UiTest, AboutWindowJumpsFromTheCentreToTheCornerWhileTheOwnersTimersRun)
{
    QWidget owner;
    int ownerTicks = 0;
    QTimer ownerTimer(&owner);
    QObject::connect(&ownerTimer, &QTimer::timeout, [&] { ++ownerTicks; });
    ownerTimer.start(5);

    QPoint placed(-1, -1);
    int ticksWhileOpen = 0;
    EXPECT_TRUE(RunModal([&] { ShowAboutForm(&owner); },
                         [&] {
                             TAboutForm *form = AboutForm;
                             ASSERT_NE(form, nullptr);
                             auto *poll = new QTimer(form);
                             QObject::connect(poll, &QTimer::timeout, form, [&, form] {
                                 if (form->pos() == QPoint(0, 0) && ownerTicks >= 3) {
                                     placed = form->pos();
                                     ticksWhileOpen = ownerTicks;
                                     EXPECT_FALSE(form->tInit->isActive());
                                     form->close();
                                 }
                             });
                             poll->start(10);
                         },
                         AfterDuring::LeaveOpen));
    EXPECT_EQ(placed, QPoint(0, 0));
    EXPECT_GE(ticksWhileOpen, 3);
}

TEST_F(UiTest, AboutLinksOpenTheirHints)
{
    std::vector<QUrl> opened;
    bool result = true;
    TAboutForm::SetUrlOpener([&](const QUrl &url) {
        opened.push_back(url);
        return result;
    });

    TAboutForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QString webHint = form.l_http->property(TAboutForm::kHintProperty).toString();
    const QString mailHint = form.l_mail->property(TAboutForm::kHintProperty).toString();

    QTest::mouseClick(form.l_http, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(webHint));

    // the hint is opened, whatever the caption says
    form.l_mail->setText("mailto:somebody-else@example.org");
    result = false; // a failure passes silently
    QTest::mouseClick(form.l_mail, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], QUrl(mailHint));
    EXPECT_EQ(opened[1].scheme(), "mailto");
    EXPECT_TRUE(form.isVisible());

    // other buttons, or a sender that is not a label, open nothing
    QTest::mouseClick(form.l_http, Qt::RightButton);
    form.l_mailClick(form.OKButton);
    form.l_httpClick(nullptr);
    EXPECT_EQ(opened.size(), 2u);

    // an opener that throws is ignored as well
    TAboutForm::SetUrlOpener([&](const QUrl &url) -> bool {
        opened.push_back(url);
        throw std::runtime_error("no browser");
    });
    form.l_httpClick(form.l_http);
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(UiTest, AboutWindowOpensWithoutItsPicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = WriteFile(dir, "about_logo.jpg", QByteArray("GIF89a, not a JPEG"));
    for (const QString &path : {QString(), dir.filePath("absent.jpg"), broken}) {
        TAboutForm::SetPictureLookup([&](const QString &name) {
            EXPECT_EQ(name, "about_logo.jpg");
            return path;
        });
        bool wasEmpty = false, namesSet = false;
        EXPECT_TRUE(RunModal([] { ShowAboutForm(nullptr); },
                             [&] {
                                 ASSERT_NE(AboutForm, nullptr);
                                 wasEmpty = AboutForm->Image1->pixmap().isNull();
                                 namesSet = AboutForm->Label_versPr->text() == "AT_Vexo-1.03";
                                 QTest::keyClick(AboutForm->OKButton, Qt::Key_Escape);
                             }));
        EXPECT_TRUE(wasEmpty) << path.toStdString();
        EXPECT_TRUE(namesSet);
        EXPECT_EQ(AboutForm, nullptr);
    }
}

} // namespace
