// One modal showing of a secondary window (help, about).
#pragma once

#include <QPointer>
#include <QScopeGuard>
#include <QWidget>

// Creates a fresh T owned by `owner`, points `current` at it while it is
// shown modally, and releases it however the modal loop ends (also by an
// exception); the owner would otherwise keep it until the program ends. The
// owner's timers keep running meanwhile.
template <typename T>
void ShowModalOnce(QWidget *owner, T *&current)
{
    auto *form = new T(owner);
    current = form;
    const QPointer<T> alive(form);
    const auto release = qScopeGuard([&] {
        if (current == form)
            current = nullptr;
        if (alive)
            alive->deleteLater();
    });
    form->exec();
}
