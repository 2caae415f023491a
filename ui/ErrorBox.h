// The Qt program's modal message box (error icon, one "OK" button).
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Shows the box instead of a QMessageBox when set (tests record the boxes).
using TMessagePresenter = std::function<void(QWidget *parent, const QString &caption, const QString &text)>;
void SetMessagePresenter(TMessagePresenter presenter); // empty: the real QMessageBox

// Modal box. Boxes never stack: one asked for while another is open is
// shown after that one has closed.
void ShowErrorBox(QWidget *parent, const QString &caption, const QString &text);
