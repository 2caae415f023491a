#include "Application.h"

#include "ErrorBox.h"
#include "ErrorText.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::string text = WithFullStop(ExceptionMessage(std::current_exception()));
        ShowErrorBox(QApplication::activeWindow(), QString::fromStdString(AppTitle()), QString::fromStdString(text));
        return false;
    }
}
