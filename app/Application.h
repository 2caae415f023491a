// The application object with the program's backstop for errors.
#pragma once

#include <QApplication>

// Whatever escapes an event handler that the engine did not run ends in the
// top-level error box (caption the application title, the full-stop rule)
// through the main window's engine, like every other box, and the program
// goes on.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
