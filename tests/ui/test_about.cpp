// The about window: layout, texts, keys, links, lifetime.
#include <gtest/gtest.h>

#include "FormTest.h"

namespace {

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
    EXPECT_EQ(form.Label_versPr->text(), "AT_Vexo-" VEXO_PROJECT_VERSION);

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
        {form.Label_versPr, "Label_versPr", {224, 120}, "AT_Vexo-" VEXO_PROJECT_VERSION, navy, 12, true, true},
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
    EXPECT_EQ(texts, QStringList({"AT_Vexo|AT_Vexo-" VEXO_PROJECT_VERSION, "AT_Vexo|AT_Vexo-" VEXO_PROJECT_VERSION}));
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
                                 namesSet = AboutForm->Label_versPr->text() == "AT_Vexo-" VEXO_PROJECT_VERSION;
                                 QTest::keyClick(AboutForm->OKButton, Qt::Key_Escape);
                             }));
        EXPECT_TRUE(wasEmpty) << path.toStdString();
        EXPECT_TRUE(namesSet);
        EXPECT_EQ(AboutForm, nullptr);
    }
}

} // namespace
