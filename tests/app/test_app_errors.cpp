// The application's backstop: an exception that escapes an event handler
// which is not wrapped still ends in one error box, and the loop goes on;
// with a main window it waits in the engine's queue like every other box.
#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "Application.h"
#include "ErrorBox.h"
#include "GtestQtMain.h"
#include "XComErr.h"
#include "fAT_Vexo.h"

namespace {

class Throwing : public QObject {
public:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("from an event handler");
        return QObject::event(e);
    }
};

} // namespace

TEST(AppErrors, NotifyCatchesWhatEscapesAHandler)
{
    std::vector<QString> shown;
    SetMessagePresenter([&](QWidget *, const QString &caption, const QString &text) {
        EXPECT_EQ(caption, QString::fromUtf8("ПО \"AT_Vexo\""));
        shown.push_back(text);
    });
    Throwing target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTimer::singleShot(0, [] { RaiseDeviceError(2); }); // unwrapped timer slot
    bool later = false;
    QTimer::singleShot(20, [&] {
        later = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_TRUE(later) << "the loop went on";
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], QStringLiteral("from an event handler."));
    EXPECT_EQ(shown[1], QStringLiteral("Device is allready opened."));
    SetMessagePresenter(nullptr);
}

// A box the engine has queued while another is open comes before one the
// backstop catches later: one queue, in the order asked for, one box at a time.
TEST(AppErrors, BackstopBoxesWaitInTheEnginesQueue)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    TAT_VexoEngine &engine = window.Engine();
    Throwing target;
    QStringList shown;
    int open = 0, mostOpen = 0;
    SetMessagePresenter([&](QWidget *parent, const QString &, const QString &text) {
        EXPECT_EQ(parent, &window) << "shown by the main window's engine";
        mostOpen = std::max(mostOpen, ++open);
        shown.push_back(text);
        if (shown.size() == 1) {
            // while the first box is open: the engine asks for another, then
            // a handler it does not run throws
            engine.Run([] { throw std::runtime_error("queued by the engine"); });
            QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
            QCoreApplication::processEvents();
        }
        --open;
    });
    engine.Run([] { throw std::runtime_error("first"); });
    SetMessagePresenter(nullptr);
    EXPECT_EQ(mostOpen, 1) << "boxes never stack";
    EXPECT_EQ(shown.join(u'|'), QStringLiteral("first.|queued by the engine.|from an event handler."));
}

int main(int argc, char **argv) { return RunTestsWithApplication<TApplication>(argc, argv); }
