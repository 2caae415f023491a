// The rules of the ModBus address spin edit, shared by every front-end's
// control: the arrows step through the range, typed digits, signs and a
// decimal separator are accepted, and only a whole number outside the range
// is pulled to the nearer limit when the control loses focus. "+5", "007",
// "1,5" and "" stay as typed, and are sent as they stand. UTF-8 texts.
#pragma once

#include <string>

// Whether `text` may stand in the control: digits, '+', '-', ',' and '.' only.
bool SpinAccepts(const std::string &text);

// The value `text` stands for, within min..max; text that is no whole number
// gives `min`.
int SpinValue(const std::string &text, int min, int max);

// The text after the control lost focus: a whole number (optional sign, then
// digits) outside min..max becomes the nearer limit; any other text stays.
std::string SpinClampOnFocusOut(const std::string &text, int min, int max);

// The text after `steps` arrow steps (negative: down), from SpinValue, clamped.
std::string SpinStep(const std::string &text, int steps, int min, int max);
