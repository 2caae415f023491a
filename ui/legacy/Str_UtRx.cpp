#include "Str_UtRx.h"

namespace {
const QChar Space(u' ');
}

QString DelChar(const QString &text, QChar ch)
{
    // The classic routine deletes from the last character to the first so
    // that deletions never shift what is still to be scanned. Walking
    // backwards over a copy and collecting the survivors gives the same text
    // in one pass instead of one move per deletion.
    QString out(text.size(), Qt::Uninitialized);
    qsizetype n = out.size();
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] != ch)
            out[--n] = text[i];
    }
    return out.mid(n);
}

QString DelSpaces(const QString &text)
{
    return DelChar(text, Space);
}

QString OneSpace(const QString &text)
{
    // From the end: a space whose predecessor is also a space is dropped.
    // The first space of every run is the one that survives.
    QString out(text.size(), Qt::Uninitialized);
    qsizetype n = out.size();
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (text[i] == Space && i > 0 && text[i - 1] == Space)
            continue;
        out[--n] = text[i];
    }
    return out.mid(n);
}
