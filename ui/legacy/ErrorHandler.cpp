#include "ErrorHandler.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>

#include <deque>

namespace {

TMessagePresenter gPresenter;
bool gShowing = false;
struct PendingBox {
    QPointer<QWidget> parent;
    QString caption;
    QString text;
};
std::deque<PendingBox> gQueue;

void Present(QWidget *parent, const QString &caption, const QString &text)
{
    if (gPresenter) {
        gPresenter(parent, caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

} // namespace

QString AppTitle() { return QString::fromUtf8("ПО \"AT_Vexo\""); }

void SetMessagePresenter(TMessagePresenter presenter) { gPresenter = std::move(presenter); }

void ShowErrorBox(QWidget *parent, const QString &caption, const QString &text)
{
    gQueue.push_back({parent, caption, text});
    if (gShowing)
        return; // the box on screen shows this one when it closes
    gShowing = true;
    while (!gQueue.empty()) {
        PendingBox b = gQueue.front();
        gQueue.pop_front();
        try {
            Present(b.parent, b.caption, b.text);
        } catch (...) {
            // A presenter that fails must not leave boxes blocked for good.
        }
    }
    gShowing = false;
}

QString WithFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

QString ExceptionMessage(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception &ex) {
        return QString::fromUtf8(ex.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void HandleException(std::exception_ptr e)
{
    ShowErrorBox(QApplication::activeWindow(), AppTitle(), WithFullStop(ExceptionMessage(e)));
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}
