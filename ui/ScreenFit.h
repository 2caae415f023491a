// A window kept within its screen's work area by the forms' rule: a short
// screen shortens a resizable window's Client-aligned rows (the main
// window's log), and every window keeps its title bar within reach.
#pragma once

#include <QRect>

#include "Forms.h"

class QWidget;

// The work area (the screen less its task bars) of the screen `window` is on.
QRect WorkArea(const QWidget *window);

// Shortens `window` (built from `form`) to what fits the work area, never
// below the form's least and never taller than it is, and moves its frame
// inside the area. Before the window is shown its frame counts as nothing.
void FitIntoWorkArea(QWidget *window, const forms::TForm &form);

// The work area's top-left corner: the top edge first, then the left.
void MoveToWorkAreaCorner(QWidget *window);
