// General string utilities: character deletion and space folding.
#pragma once

#include <QChar>
#include <QString>

// `text` with every `ch` removed.
QString DelChar(const QString &text, QChar ch);

// `text` with every space (U+0020) removed, wherever it stands.
QString DelSpaces(const QString &text);

// `text` with every run of two or more spaces cut to one space; single
// leading and trailing spaces stay ("a    b  " -> "a b ").
QString OneSpace(const QString &text);
