#include "ErrorBox.h"

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
