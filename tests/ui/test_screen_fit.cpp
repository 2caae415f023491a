// The windows on a screen shorter than the main window (run on a 1366 x 694
// screen at 96 DPI and a 1920 x 1020 one at 144 DPI, the platform's fake
// frame counted): the main window fits the work area and only its log is
// shorter; the help and about windows keep their title bar and their close
// or OK button within reach; the set-up window's time left reads in two
// lines of its label.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <map>
#include <set>

#include "About.h"
#include "HelpATVexo.h"
#include "SetupWindow.h"
#include "fAT_Vexo.h"

namespace {

QRect Area(const QWidget &w) { return w.screen()->availableGeometry(); }

// Every control of the main window by name, in client coordinates.
std::map<std::string, QRect> Places(const TfAT_Vexo &window)
{
    std::map<std::string, QRect> places;
    for (const forms::TControl &row : forms::MainForm.controls)
        if (auto *w = window.findChild<QWidget *>(QString::fromUtf8(row.name.data(), qsizetype(row.name.size()))))
            places[std::string(row.name)] = QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
    return places;
}

} // namespace

TEST(QtScreenFit, TheScreenIsShorterThanTheMainWindow)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int frame = window.frameGeometry().height() - window.height();
    EXPECT_GT(frame, 0) << "the fake frame counts";
    EXPECT_LT(Area(window).height(), forms::MainForm.clientHeight + frame);
}

TEST(QtScreenFit, MainWindowFitsTheWorkAreaAndOnlyTheLogIsShorter)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect area = Area(window);
    EXPECT_TRUE(area.contains(window.frameGeometry()))
        << window.frameGeometry().y() << "+" << window.frameGeometry().height() << " in " << area.height();
    const int frame = window.frameGeometry().height() - window.height();
    const int fitted = forms::FitClientHeight(forms::MainForm, frame, area.height(), 96).clientHeight;
    EXPECT_EQ(window.height(), fitted);
    EXPECT_EQ(window.width(), forms::MainForm.clientWidth);

    // against the same window at its design height
    const auto shown = Places(window);
    window.resize(window.width(), forms::MainForm.clientHeight);
    QCoreApplication::processEvents();
    const auto design = Places(window);
    ASSERT_EQ(shown.size(), design.size());
    const int lost = forms::MainForm.clientHeight - fitted;
    ASSERT_GT(lost, 0);
    const std::set<std::string> shortened{"Panel1", "Panel3", "reWin"}; // the log and the panels it fills
    for (const auto &[name, place] : design) {
        SCOPED_TRACE(name);
        const QRect now = shown.at(name);
        if (shortened.count(name)) {
            EXPECT_EQ(now.topLeft(), place.topLeft());
            EXPECT_EQ(now.width(), place.width());
            EXPECT_EQ(now.height(), place.height() - lost);
        } else {
            EXPECT_EQ(now, place);
        }
    }
    const forms::TControl *log = forms::Find(forms::MainForm, "reWin");
    EXPECT_EQ(design.at("reWin").height(), log->height) << "the design's log, unscaled: Qt scales by itself";
}

TEST(QtScreenFit, StartTimerPutsTheFittedMainWindowInTheCorner)
{
    TfAT_Vexo window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.tInit()->isActive(); }, 2000));
    const QRect area = Area(window);
    EXPECT_EQ(window.frameGeometry().topLeft(), area.topLeft());
    EXPECT_TRUE(area.contains(window.frameGeometry()));
    EXPECT_LT(window.height(), forms::MainForm.clientHeight);
}

TEST(QtScreenFit, HelpWindowTallerThanTheAreaKeepsItsTitleBarAndCloseButtonInIt)
{
    TfHelpATVexo help;
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    const QRect area = Area(help);
    EXPECT_EQ(help.size(), QSize(forms::HelpForm.clientWidth, forms::HelpForm.clientHeight)) << "fixed";
    EXPECT_GT(help.frameGeometry().height(), area.height()) << "does not fit";
    // placed at once, and after its start timer
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass ? "after the start timer" : "when shown");
        const QRect outer = help.frameGeometry();
        EXPECT_GE(outer.top(), area.top());
        EXPECT_GE(outer.left(), area.left());
        EXPECT_LE(outer.right(), area.right()) << "the close button's corner";
        EXPECT_LT(outer.top(), area.bottom());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !help.tInit->isActive(); }, 2000));
    }
    EXPECT_EQ(help.frameGeometry().topLeft(), area.topLeft());
}

TEST(QtScreenFit, AboutWindowInsideTheAreaWithItsOkButton)
{
    TAboutForm about;
    about.tInit->stop();
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QRect area = Area(about);
    EXPECT_TRUE(area.contains(about.frameGeometry()));
    const QRect ok(about.OKButton->mapToGlobal(QPoint(0, 0)), about.OKButton->size());
    EXPECT_TRUE(area.contains(ok));
    EXPECT_EQ(about.geometry().center().y(), area.center().y()) << "centred in the work area";
}

// The label beside the toolbar: each line the engine writes fits the width
// unbroken, and all of it the label's two lines.
TEST(QtScreenFit, SetUpWindowTimeLeftReadsInTwoLinesOfItsLabel)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    window.show();
    auto *label = window.findChild<QLabel *>(QStringLiteral("lSetupWindow"));
    ASSERT_NE(label, nullptr);
    for (std::int64_t left : {30000, 28000, 9000, 5000, 1, 0}) {
        const TLabelLook look = SetupWindowLook(left);
        window.SetLabel("lSetupWindow", look.text, look.colour);
        SCOPED_TRACE(look.text);
        const QString text = label->text();
        const QFontMetrics metrics(label->font(), label);
        const QRect room = label->contentsRect();
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        EXPECT_LE(lines.size(), 2);
        for (const QString &line : lines) {
            if (left > 0) {
                EXPECT_LE(metrics.horizontalAdvance(line), room.width()) << "unbroken: " << line.toStdString();
            }
        }
        const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QRect wrapped = metrics.boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, shown);
        EXPECT_LE(wrapped.height(), 2 * metrics.lineSpacing()) << "two lines";
        EXPECT_LE(wrapped.height(), room.height());
        EXPECT_LE(label->heightForWidth(room.width()), label->height());
    }
    EXPECT_EQ(SetupWindowLook(28000).text, "настройка:\r\n28 с") << "the number keeps its unit";
}

// The 144-DPI screen scales by 1.5: 1020 device pixels are 680 logical ones.
TEST(QtScreenFit, RunsAtTheScreensScale)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    window.show();
    const qreal scale = window.devicePixelRatioF();
    const int deviceHeight = qRound(Area(window).height() * scale);
    EXPECT_TRUE(deviceHeight == 694 || deviceHeight == 1020) << deviceHeight;
    EXPECT_DOUBLE_EQ(scale, deviceHeight == 1020 ? 1.5 : 1.0);
}
