// The command log on a QTextEdit: coloured lines only ever added at the end.
#pragma once

#include <QColor>
#include <QString>

class QTextEdit;

// Adds `text` as a new last line of `view` in `colour` and the log font.
// Goes after everything present (typed text included); the operator's caret,
// selection and scroll position are left alone, except that a view scrolled
// to the bottom stays at the bottom. Inserted as plain text; a CR, LF or
// CR LF inside `text` starts another line in the same colour. Each call is
// one undo step if the view keeps an undo history. Null view: no-op.
void AppendLine(QTextEdit *view, const QString &text, const QColor &colour);

// Empties the log view (the clear command).
void ClearLog(QTextEdit *view);
