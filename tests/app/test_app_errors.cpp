// The application's backstop: an exception that escapes an event handler
// which is not wrapped still ends in one error box, and the loop goes on.
#include <gtest/gtest.h>

#include <QTimer>

#include <stdexcept>
#include <vector>

#include "Application.h"
#include "ErrorBox.h"
#include "GtestQtMain.h"
#include "XComErr.h"

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

int main(int argc, char **argv) { return RunTestsWithApplication<TApplication>(argc, argv); }
