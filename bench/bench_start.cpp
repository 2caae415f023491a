// One start-up of the program as main() does it, timed in-process: from the
// moment the harness spawned the process (argv[1], CLOCK_REALTIME in ns) to
// the main window being shown and painted. The fallback where no X server is
// available; bench_window gives the baselines the same way.
#include <QApplication>

#include <memory>

#include "Application.h"
#include "ShownFigure.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

int main(int argc, char **argv)
{
    const long long spawned = SpawnedNs(argc, argv, NowNs());
    TFontWarmUp fonts; // as the program starts
    TApplication app(argc, argv);
    fonts.Join();
    PrepareApplication();
    const auto window = StartUp();
    window->repaint(); // shown means drawn
    ReportShown(spawned);
    return app.exec();
}
