// The start-up baselines: a bare Qt main window of the program's size, and
// (built with BENCH_LABEL) the same window showing one label of Cyrillic text
// in a 12 px monospace font. They run until they are ended, so the harness can
// watch them map and read their memory. Given a spawn time (argv[1],
// CLOCK_REALTIME in ns) they instead print the in-process time to "shown" and
// their peak memory and quit: the fallback where no X server is available.
#include <QApplication>
#include <QMainWindow>

#ifdef BENCH_LABEL
#include <QLabel>
#endif

#include "ShownFigure.h"

int main(int argc, char **argv)
{
    const long long spawned = SpawnedNs(argc, argv, 0);
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(720, 703);
#ifdef BENCH_LABEL
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    auto *label = new QLabel(QString::fromUtf8("Окно выполнения команд"), &window);
    label->setFont(font);
    window.setCentralWidget(label);
#endif
    window.show();
    if (spawned == 0)
        return app.exec();

    window.repaint(); // shown means drawn
    ReportShown(spawned);
    return app.exec();
}
