// Renders every window to PNG files for review (optional target). Run it on
// a real display server (Xvfb) or offscreen: render_windows <out-dir>.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>

#include "About.h"
#include "HelpATVexo.h"
#include "LogHelpers.h"
#include "Splash.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

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
    window.show();
    TAT_VexoEngine &engine = window.Engine();
    engine.AddToLog(lkCommand, "выдать команду в \"Vexo\" - \"чтение скорости порта \"RS232\" Vexo\"");
    engine.AddToLog(lkCommand, "запрос \"Vexo\" -> \"AT+xKPV3=?\"");
    engine.AddToLog(lkReply, "ответ  \"Vexo\" <- скорость RS = \"115200\"");
    engine.AddToLog(lkError, "нет ответа от \"Vexo\"");
    window.findChild<QComboBox *>(QStringLiteral("cbRSname"))->setEditText(QStringLiteral("COM5"));
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
