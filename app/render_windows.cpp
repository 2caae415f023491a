// Renders every window to PNG files for review (optional target). Run it on
// a real display server (Xvfb) or offscreen: render_windows <out-dir>.
#include <QApplication>
#include <QElapsedTimer>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "About.h"
#include "HelpATVexo.h"
#include "SetupWindow.h"
#include "Splash.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

namespace {

// Two exchanges with a pseudo-terminal standing in for the Vexo, so the log
// shows the engine's own lines: one answered with speed code 7, one not.
void ShowExchanges(TfAT_Vexo &window)
{
    const int device = posix_openpt(O_RDWR | O_NOCTTY);
    if (device < 0 || grantpt(device) != 0 || unlockpt(device) != 0)
        return;
    window.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QString::fromLocal8Bit(ptsname(device)));
    TAT_VexoEngine &engine = window.Engine();
    for (const char *reply : {"7\r\n", ""}) {
        window.findChild<QPushButton *>(QStringLiteral("bRdSpeed_SeA"))->click();
        if (*reply && write(device, reply, std::strlen(reply)) > 0) {
            QElapsedTimer waited;
            waited.start();
            while (engine.RxText().empty() && waited.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (engine.ReplyTimerEnabled())
            engine.Run([&] { engine.tRdIn_VexoTimer(); });
    }
    engine.CloseRSPort();
    close(device);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    PrepareApplication();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    TSplashForm splash;
    splash.ShowAndPaint();
    splash.grab().save(out + QStringLiteral("/splash.png"));
    splash.hide();

    TfAT_Vexo window;
    window.tInit()->stop(); // no settings file is read
    window.show();
    ShowExchanges(window);
    window.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QStringLiteral("COM5"));
    const TLabelLook left = SetupWindowLook(28000); // the set-up window's time left
    window.SetLabel("lSetupWindow", left.text, left.colour);
    QCoreApplication::processEvents();
    window.grab().save(out + QStringLiteral("/main.png"));

    for (int which = 0; which < 2; ++which) {
        QTimer::singleShot(300, [&, which] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QDialog *>(w); d && d->isVisible()) {
                    d->grab().save(out + (which ? QStringLiteral("/about.png") : QStringLiteral("/help.png")));
                    d->close();
                }
            }
        });
        if (which)
            window.ShowAboutForm();
        else
            window.ShowHelpForm();
    }
    return 0;
}
