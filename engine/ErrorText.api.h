// The top-level error text rule, toolkit free. UTF-8 in and out.
#pragma once
#include <exception>
#include <string>

std::string AppTitle(); // ПО "AT_Vexo"
// `message` with a full stop appended when its last character comes after
// the full stop in the character code (code page 1251; a message whose last
// character has no code page 1251 byte gets one too).
std::string WithFullStop(const std::string &message);
// The message of an exception (what(), UTF-8); a non-std exception gets a
// fixed text.
std::string ExceptionMessage(std::exception_ptr e);

// engine/SpinRules.h (pure; both front-ends' spin edits call these):
//   bool SpinAccepts(std::u32string_view or UTF-8 text);   digits, '+', '-', ',', '.' only
//   std::string SpinClampOnFocusOut(const std::string &text, int min, int max);
//       a whole number (optional sign, digits) outside min..max -> nearer limit;
//       anything else ("", "1,5", "+5", "007") unchanged
//   std::string SpinStep(const std::string &text, int steps, int min, int max);
//       arrows: from the value (text that is no whole number counts as min), clamped
