// Engine helpers: control-character stripping, integer tests, the coloured
// command log and the COM-port probe. Main thread only.
#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

#include <string>

class QTextEdit;

// Kinds of command-log lines; each has a fixed colour.
enum TLogKind : int {
    lkCommand = 1, // blue: a command and the request line sent
    lkReply = 2,   // maroon: the verdict on a reply
    lkError = 3,   // red: no reply, port initialisation failure
};

// The colour of a log kind; kinds outside TLogKind are shown black.
QColor LogKindColour(int kind);

// Face name of every log line (the nearest fixed-pitch face stands in where
// it is not installed).
inline constexpr const char *LogFontFamily = "Courier New";

// `text` without the characters coded 0..31 (CR, LF, TAB, ...). Replies are
// decoded from code page 1251 first, where bytes 0..31 are U+0000..U+001F.
QString StripCtrl(const QString &text);
// The same on raw bytes: drops every byte 0..31, keeps 32..255.
std::string StripCtrl(const std::string &text);

// False if `text` has nothing but spaces; otherwise true when every
// non-space character is '-' or an ASCII digit. Minus signs are not checked
// for place or number ("5-" and "--" pass).
bool IsIntText(const QString &text);

// 0 when !IsIntText(text); otherwise the decimal value of the text without
// spaces. A text that passes IsIntText but is no signed 64-bit decimal
// ("5-", "--", "-", out of range) throws EConvertError
// "'<text without spaces>' is not a valid integer value".
qint64 IntTextValue(const QString &text);

// Adds `text` as a new last line of `view` in `colour` and the log font.
// Goes after everything present (typed text included); the operator's caret,
// selection and scroll position are left alone, except that a view scrolled
// to the bottom stays at the bottom. Inserted as plain text; a CR, LF or
// CR LF inside `text` starts another line in the same colour. Each call is
// one undo step if the view keeps an undo history. Null view: no-op.
void AppendLine(QTextEdit *view, const QString &text, const QColor &colour);

// AppendLine in the colour of `kind`.
void AddToLog(QTextEdit *view, int kind, const QString &text);

// Empties the log view (the clear command).
void ClearLog(QTextEdit *view);

// True when the COM port `name` ("COM3") exists: opening "\\.\<name>"
// exclusively succeeds (the handle is closed at once) or is refused with
// "access denied" (held by another handle). Anything else, and a name that
// has no 8-bit (Latin-1) form, is absent.
bool RSPortPresent(const QString &name);
