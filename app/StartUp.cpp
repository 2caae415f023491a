#include "StartUp.h"

#include <QApplication>

#include "Fonts.h"
#include "Pictures.h"
#include "Splash.h"
#include "VexoAssets.h"
#include "fAT_Vexo.h"

#ifdef VEXO_FONTCONFIG
#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

// Reading the configuration and the font caches is the larger part of the
// first text's cost; the display connection mostly waits meanwhile. At the
// lowest priority the thread yields to the main thread and the display
// server (on two CPUs it slowed their exchanges otherwise), yet it is never
// starved outright, so Join() cannot hang behind a busy machine.
TFontWarmUp::TFontWarmUp()
{
#ifdef VEXO_FONTCONFIG
    FThread = std::thread([] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19); // best effort
        FcInit();
    });
#endif
}

TFontWarmUp::~TFontWarmUp() { Join(); }

void TFontWarmUp::Join()
{
    if (FThread.joinable())
        FThread.join();
}

void PrepareApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("AT_Vexo"));
    InitVexoAssets();
    InstallFontSubstitutions();
    // Texts no layout gives a face (tooltips, message boxes) use the program's
    // own, as on its original desktop; Qt's generic default would fall
    // through to a fallback face loaded only for that.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    QApplication::setFont(font);
    QApplication::setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
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
