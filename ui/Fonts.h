#pragma once

#include <QString>

// The windows name the fonts of their original desktop ("MS Sans Serif",
// "Courier New", "Times New Roman"). Maps them onto the metric-compatible
// Liberation faces; without this fontconfig picks DejaVu Sans for
// "MS Sans Serif", whose wider glyphs overflow the fixed layouts.
// Call before the first window is built; further calls do nothing.
void InstallFontSubstitutions();

// True for the fixed-pitch faces among those ("Courier New").
bool IsFixedPitchFace(const QString &family);
