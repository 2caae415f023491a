// The port box's drop-down: each item's note (what the port is) drawn beside
// its name, while the item's text, which the box takes, stays the bare name.
#pragma once

#include <QString>

class QComboBox;

// Puts the note drawer on `box` once.
void ShowPortNotes(QComboBox *box);
// The note of the item whose text is `name`; the drop-down widens to show it.
void SetPortNote(QComboBox *box, const QString &name, const QString &note);
// The note of item `index`, as the drop-down draws it ("" when none).
QString PortNoteOf(const QComboBox *box, int index);
