// The splash window: DPI scaling, looks, and painting without an event loop.
#include <gtest/gtest.h>

#include "Bevel.h"
#include "Fonts.h"
#include "Splash.h"

#include <QApplication>
#include <QBackingStore>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <map>

namespace {

// Screen of the test platform: 1280 x 1024 at 96 DPI, no window frames.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

struct Layout {
    QSize window;
    QRect label3, bevel1;
    QPoint label1;
    int strokeFont, textFont;
};

// The design (120 DPI) worked out by hand at a few DPI values; edges are
// scaled and rounded, sizes follow from them.
const std::map<int, Layout> kLayouts = {
    {120, {{230, 106}, {38, 26, 155, 22}, {12, 57, 206, 3}, {84, 76}, 20, 14}},
    {96, {{184, 85}, {30, 21, 124, 17}, {10, 46, 164, 2}, {67, 61}, 16, 11}},
    {144, {{276, 127}, {46, 31, 186, 27}, {14, 68, 248, 4}, {101, 91}, 24, 17}},
};

class SplashTest : public testing::Test {
protected:
    static void SetUpTestSuite() { InstallFontSubstitutions(); }
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void ExpectLayout(const TSplashForm &s, const Layout &l)
{
    EXPECT_EQ(s.size(), l.window);
    EXPECT_EQ(s.Panel1->geometry(), QRect(QPoint(0, 0), l.window));
    EXPECT_EQ(s.Label3->geometry(), l.label3);
    EXPECT_EQ(s.Bevel1->geometry(), l.bevel1);
    EXPECT_EQ(s.Label1->pos(), l.label1);
    EXPECT_GE(s.Label1->width(), s.Label1->sizeHint().width()) << "the whole caption fits";
    EXPECT_EQ(s.Label3->font().pixelSize(), l.strokeFont);
    EXPECT_EQ(s.Label1->font().pixelSize(), l.textFont);
}

TEST_F(SplashTest, ScalesFromTheDesignDpiToTheScreen)
{
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    TSplashForm atScreen;
    EXPECT_EQ(atScreen.LogicalDpi(), 96.0);
    ExpectLayout(atScreen, kLayouts.at(96));
    EXPECT_EQ(atScreen.pos(), QPoint((kScreenWidth - 184) / 2, (kScreenHeight - 85) / 2));

    for (int dpi : {120, 144}) {
        SCOPED_TRACE(dpi);
        TSplashForm s(nullptr, dpi);
        ExpectLayout(s, kLayouts.at(dpi));
        EXPECT_EQ(s.pos(), QPoint((kScreenWidth - s.width()) / 2, (kScreenHeight - s.height()) / 2));
    }
}

TEST_F(SplashTest, ControlsTextsAndLooks)
{
    TSplashForm s;
    EXPECT_TRUE(s.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(s.windowFlags() & Qt::WindowType_Mask, Qt::SplashScreen);
    EXPECT_EQ(s.parentWidget(), nullptr);

    EXPECT_EQ(s.Panel1->objectName(), "Panel1");
    EXPECT_EQ(s.Label3->objectName(), "Label3");
    EXPECT_EQ(s.Bevel1->objectName(), "Bevel1");
    EXPECT_EQ(s.Label1->objectName(), "Label1");
    for (QWidget *child : {static_cast<QWidget *>(s.Label3), static_cast<QWidget *>(s.Bevel1),
                           static_cast<QWidget *>(s.Label1)})
        EXPECT_EQ(child->parentWidget(), s.Panel1);

    EXPECT_EQ(s.Label3->text(), QString(31, ' '));
    EXPECT_EQ(s.Label1->text(), QString::fromUtf8("Загрузка..."));

    const QFont stroke = s.Label3->font();
    EXPECT_EQ(QFontInfo(stroke).family(), "Liberation Serif");
    EXPECT_TRUE(stroke.italic());
    EXPECT_TRUE(stroke.underline());
    EXPECT_EQ(QFontInfo(s.Label1->font()).family(), "Liberation Sans");
    EXPECT_FALSE(s.Label1->font().bold());
    EXPECT_EQ(s.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(s.Label3->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(s.Panel1->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(s.Panel1->frameWidth(), 2);
    ExpectLoweredInnerBevel(s.Panel1);
    EXPECT_EQ(s.Bevel1->frameShadow(), QFrame::Raised);

    // nothing to do: no focus, no timer
    EXPECT_EQ(s.focusPolicy(), Qt::NoFocus);
    for (QWidget *child : s.findChildren<QWidget *>())
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(s.findChildren<QTimer *>().isEmpty());
    EXPECT_FALSE(s.windowIcon().isNull());
}

TEST_F(SplashTest, ShowAndPaintPaintsWithoutAnEventLoop)
{
    TSplashForm s;
    PaintCounter panel, stroke;
    s.Panel1->installEventFilter(&panel);
    s.Label3->installEventFilter(&stroke);
    s.ShowAndPaint();
    EXPECT_TRUE(s.isVisible());
    EXPECT_GT(panel.paints, 0);
    EXPECT_GT(stroke.paints, 0);

    // what reached the window's surface: the raster backing store, read
    // before anything else could paint
    QImage shot;
    if (QBackingStore *store = s.backingStore())
        if (const auto *surface = dynamic_cast<const QImage *>(store->paintDevice()))
            shot = surface->copy();
    ASSERT_FALSE(shot.isNull()) << "nothing painted into the window";
    shot = shot.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), s.size());
    EXPECT_EQ(QColor(shot.pixel(5, 5)), QColor(192, 192, 192));
    EXPECT_EQ(QColor(shot.pixel(s.width() - 6, s.height() - 6)), QColor(192, 192, 192));

    // the blank caption shows as one dark stroke across the label, nothing else
    const QRect label = s.Label3->geometry();
    int strokeRows = 0, otherInk = 0;
    for (int y = label.top(); y <= label.bottom(); ++y) {
        int dark = 0;
        for (int x = label.left(); x <= label.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 80)
                ++dark;
        if (dark >= label.width() * 9 / 10)
            ++strokeRows;
        else
            otherInk += dark;
    }
    EXPECT_GE(strokeRows, 1);
    EXPECT_LE(strokeRows, 2);
    EXPECT_EQ(otherInk, 0);

    // and the caption below the bevel has ink
    const QRect caption = s.Label1->geometry();
    int captionInk = 0;
    for (int y = caption.top(); y <= caption.bottom(); ++y)
        for (int x = caption.left(); x <= caption.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 80)
                ++captionInk;
    EXPECT_GT(captionInk, 20);
}

// The stroke is drawn without the face: it must fall where the face's own
// underline of the blank caption falls, at any DPI.
TEST_F(SplashTest, StrokeMatchesTheUnderlineOfTheBlankCaption)
{
    const auto ink = [](QWidget &w) {
        QImage img(w.size(), QImage::Format_RGB32);
        img.fill(Qt::white);
        w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        QRect dark;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128)
                    dark |= QRect(x, y, 1, 1);
        return dark;
    };
    for (int dpi : {72, 96, 110, 120, 144, 168, 192, 240}) {
        SCOPED_TRACE(dpi);
        TSplashForm s(nullptr, dpi);
        QLabel typed(s.Label3->text());
        typed.setTextFormat(Qt::PlainText);
        typed.setAlignment(s.Label3->alignment());
        typed.setFont(s.Label3->font());
        typed.setPalette(s.Label3->palette());
        typed.setGeometry(s.Label3->geometry());
        const QRect expected = ink(typed);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(ink(*s.Label3), expected);
        EXPECT_EQ(TSplashForm::UnderlineStroke(s.Label3->font().pixelSize(), 31), expected);
    }
}

} // namespace
