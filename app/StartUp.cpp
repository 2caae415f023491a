#include "StartUp.h"

#include <QApplication>
#include <QIcon>

#include "Fonts.h"
#include "Splash.h"
#include "VexoAssets.h"
#include "fAT_Vexo.h"

void PrepareApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("AT_Vexo"));
    InitVexoAssets();
    InstallFontSubstitutions();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
    ConnectSerialToEventLoop();
}

std::unique_ptr<TfAT_Vexo> StartUp(const std::function<void(TSplashForm &)> &splashShown)
{
    auto splash = std::make_unique<TSplashForm>();
    splash->ShowAndPaint(); // no event loop runs yet
    if (splashShown)
        splashShown(*splash);

    auto window = std::make_unique<TfAT_Vexo>();
    splash->hide();
    splash.reset();

    window->show();
    return window;
}
