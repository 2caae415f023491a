// The help window: layout, texts, picture, keys, placement.
#include <gtest/gtest.h>

#include "Bevel.h"
#include "FormTest.h"

namespace {

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
    ExpectLoweredInnerBevel(form.Panel1);

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

} // namespace
