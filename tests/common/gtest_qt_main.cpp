// The main of the widget tests.
#include <QApplication>

#include "GtestQtMain.h"

int main(int argc, char **argv) { return RunTestsWithApplication<QApplication>(argc, argv); }
