#include "Application.h"

#include "ErrorBox.h"
#include "ErrorText.h"
#include "fAT_Vexo.h"

namespace {

// The main window whose engine shows the box: the active one, else the first.
TfAT_Vexo *BoxOwner()
{
    TfAT_Vexo *first = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<TfAT_Vexo *>(w)) {
            if (window->isActiveWindow())
                return window;
            if (!first)
                first = window;
        }
    }
    return first;
}

} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // Through the engine's box queue, so this box never stacks on one
        // the engine has open; before the main window exists, the box alone.
        if (TfAT_Vexo *window = BoxOwner()) {
            window->Engine().ShowException(std::current_exception());
        } else {
            const std::string text = WithFullStop(ExceptionMessage(std::current_exception()));
            ShowErrorBox(QApplication::activeWindow(), QString::fromStdString(AppTitle()), QString::fromStdString(text));
        }
        return false;
    }
}
