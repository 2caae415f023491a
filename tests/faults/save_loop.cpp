// The program saving its settings over and over, to be killed in the middle:
//   vexo_fault_saver <folder>
// Opens the main window in <folder>, then saves two port names in turn
// (a short and a long one) until it is killed. Writes "r" to standard output
// once the first save is done.
#include <QApplication>
#include <QComboBox>
#include <QDir>

#include <unistd.h>

#include "pAT_Vexo.h"

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!QDir::setCurrent(QString::fromLocal8Bit(argv[1])))
        return 3;
    TfAT_Vexo window;
    auto *port = window.findChild<QComboBox *>(QStringLiteral("cbRSname"));
    if (!port)
        return 4;
    const QString names[2] = {QStringLiteral("COM3"), QString(3000, u'L') + QStringLiteral("COM12")};
    for (unsigned long i = 0;; ++i) {
        port->setEditText(names[i % 2]);
        window.SaveWorkFile();
        if (i == 0 && write(1, "r", 1) != 1)
            return 5;
    }
}
