// Start-up order, and the secondary windows opened from the toolbar while
// the engine goes on working behind them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "About.h"
#include "ErrorBox.h"
#include "HelpATVexo.h"
#include "Splash.h"
#include "StartUp.h"
#include "QtText.h"
#include "QtWait.h"
#include "fAT_Vexo.h"
#include "pty.h"

#include <link.h>

#include <string>
#include <vector>

namespace {

QString LastLine(QTextEdit *log)
{
    for (QTextBlock b = log->document()->lastBlock(); b.isValid(); b = b.previous())
        if (!b.text().isEmpty())
            return b.text();
    return {};
}

// Image-format plugins mapped into this process.
std::vector<std::string> ImagePlugins()
{
    std::vector<std::string> found;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *out) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("/imageformats/") != std::string::npos)
                static_cast<std::vector<std::string> *>(out)->push_back(name);
            return 0;
        },
        &found);
    return found;
}

class StartUpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PrepareApplication(); }
};

} // namespace

TEST_F(StartUpTest, SplashIsPaintedFirstAndGoneBeforeTheMainWindowShows)
{
    QPointer<TSplashForm> seen;
    bool mainWindowExisted = true;
    QImage painted;
    auto window = StartUp([&](TSplashForm &splash) {
        seen = &splash;
        painted = splash.grab().toImage();
        mainWindowExisted = false;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TfAT_Vexo *>(w))
                mainWindowExisted = true;
        EXPECT_TRUE(splash.isVisible());
    });
    ASSERT_TRUE(window);
    EXPECT_FALSE(mainWindowExisted) << "the splash shows while the main window is built";
    EXPECT_TRUE(seen.isNull()) << "destroyed before the main window is shown";
    ASSERT_FALSE(painted.isNull());
    EXPECT_EQ(QColor(painted.pixel(painted.width() / 2, 4)), QColor(192, 192, 192)) << "silver panel";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(319, 157));
    EXPECT_EQ(window->windowIcon().isNull(), false);
    EXPECT_TRUE(WaitFor([&] { return window->pos() == QPoint(0, 0); }, 2000));
}

// The compiled-in pictures are PNG; no image-format plugin is needed to show
// them, and loading them all would only lengthen the start.
TEST_F(StartUpTest, NoImagePluginIsLoadedToShowTheWindows)
{
    auto window = StartUp();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_FALSE(window->windowIcon().pixmap(32, 32).isNull());
    EXPECT_EQ(ImagePlugins(), std::vector<std::string>());
}

TEST_F(StartUpTest, HelpAndAboutOpenAnewAndAReplyIsJudgedBehindThem)
{
    SetMessagePresenter([](QWidget *, const QString &, const QString &) {});
    TfAT_Vexo window;
    window.show();
    TestPty dev;
    window.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QString::fromStdString(dev.SlavePath()));
    auto *log = window.findChild<QTextEdit *>(QStringLiteral("reWin"));

    for (const char *button : {"TB_Help", "ToolButton3"}) {
        std::vector<QPointer<QDialog>> opened;
        for (int round = 0; round < 2; ++round) {
            window.findChild<QPushButton *>(QStringLiteral("bRdSpeed_SeA"))->click();
            dev.Write("4\r\n");
            QString judged;
            QTimer::singleShot(800, [&] {
                judged = LastLine(log);
                QDialog *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!d) {
                    for (QWidget *w : QApplication::topLevelWidgets())
                        if (auto *dd = qobject_cast<QDialog *>(w); dd && dd->isVisible())
                            d = dd;
                }
                opened.emplace_back(d);
                if (d)
                    d->close();
            });
            window.findChild<QToolButton *>(QString::fromLatin1(button))->click(); // modal until closed
            EXPECT_EQ(judged, U("ответ  \"Vexo\" <- скорость RS = \"19200\"")) << button;
        }
        ASSERT_EQ(opened.size(), 2u);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        EXPECT_TRUE(opened[0].isNull()) << button << ": released after its showing";
        EXPECT_TRUE(opened[1].isNull()) << button;
    }
    SetMessagePresenter(nullptr);
}
