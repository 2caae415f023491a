#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QRect WorkArea(const QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void FitIntoWorkArea(QWidget *window, const forms::TForm &form)
{
    const QRect area = WorkArea(window);
    if (area.isEmpty())
        return;
    const int frame = window->frameGeometry().height() - window->height();
    if ((form.style & forms::wsResizable) && form.minClientHeight > 0) {
        // Qt scales 96-DPI layouts itself: logical pixels at the design DPI
        const forms::TFittedHeight fit = forms::FitClientHeight(form, frame, area.height(), form.designDpi);
        if (window->height() > fit.clientHeight)
            window->resize(window->width(), fit.clientHeight);
    }
    const QRect outer = window->frameGeometry();
    const forms::TPoint at = forms::ClampIntoArea(outer.x(), outer.y(), outer.width(), outer.height(),
                                                  {area.x(), area.y(), area.width(), area.height()});
    if (at.x != outer.x() || at.y != outer.y())
        window->move(at.x, at.y);
}

void MoveToWorkAreaCorner(QWidget *window)
{
    const QRect area = WorkArea(window);
    window->move(window->x(), area.y());
    window->move(area.topLeft());
}
