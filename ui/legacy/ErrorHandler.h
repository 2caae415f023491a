// The application's top-level error handling: every exception that leaves a
// handler ends in one modal error box, and the program goes on.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

// The application title, also the caption of the error box.
QString AppTitle();

// Shows a modal error box (error icon, one "OK" button). Tests replace it.
using TMessagePresenter = std::function<void(QWidget *parent, const QString &caption, const QString &text)>;
void SetMessagePresenter(TMessagePresenter presenter); // empty: the real QMessageBox

// Modal error box. Boxes never stack: one asked for while another is open is
// shown after that one has closed.
void ShowErrorBox(QWidget *parent, const QString &caption, const QString &text);

// A message with a full stop appended when its last character comes after
// the full stop in the character code.
QString WithFullStop(const QString &message);

// The message of an exception (UTF-8 in what()).
QString ExceptionMessage(std::exception_ptr e);

// Shows the exception in the application's error box.
void HandleException(std::exception_ptr e);

// Calls a handler with the signal's arguments, or with none when it takes
// none. A template of its own: the call without arguments must stay
// dependent, or clang checks it (and fails) for handlers that take some.
template <typename F, typename... A>
void CallHandler(const F &f, A &&...args)
{
    if constexpr (std::is_invocable_v<const F &, A...>)
        f(std::forward<A>(args)...);
    else
        f(); // a signal's arguments that the handler does not take
}

// Wraps a handler so that an exception stops at the handler boundary, where
// all frames still unwind cleanly, and reaches the error box.
template <typename F>
auto Guarded(F f)
{
    return [f = std::move(f)](auto &&...args) {
        try {
            CallHandler(f, std::forward<decltype(args)>(args)...);
        } catch (...) {
            HandleException(std::current_exception());
        }
    };
}

// Backstop for whatever escapes a handler that is not wrapped.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
