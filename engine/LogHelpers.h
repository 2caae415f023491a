// Engine helpers: the log kinds and their colours, control-character
// stripping, the integer tests and the activity-bar rule.
#pragma once

#include <cstdint>
#include <string>

#include "Forms.h"
#include "MainView.h"

// Kinds of command-log lines; each has a fixed colour.
enum TLogKind : int {
    lkCommand = 1, // blue: a command and the request line sent
    lkReply = 2,   // maroon: the verdict on a reply
    lkError = 3,   // red: no reply, port initialisation failure
    lkGood = 5,    // green: a sequence whose every step went well
    lkPort = 6,    // teal: a port came or went, the adapter found under another name
};

// The colour of a log kind; kinds outside TLogKind are black.
TColour LogKindColour(int kind);

// Face name of every log line: the forms' (Forms.h).
inline constexpr const char *LogFontFamily = forms::LogFontFace;

// `text` without the characters coded 0..31 (CR, LF, TAB, ...). UTF-8: these
// are single bytes, never part of another character.
std::string StripCtrl(const std::string &text);

// False if `text` has nothing but spaces; otherwise true when every
// non-space character is '-' or an ASCII digit. Minus signs are not checked
// for place or number ("5-" and "--" pass).
bool IsIntText(const std::string &text);

// 0 when !IsIntText(text); otherwise the decimal value of the text without
// spaces. A text that passes IsIntText but is no signed 64-bit decimal
// ("5-", "--", "-", out of range) throws EConvertError
// "'<text without spaces>' is not a valid integer value".
std::int64_t IntTextValue(const std::string &text);

// The activity bars (range 0..100, step 10): the position after one step;
// a step that would pass 100 starts again from 0.
int StepBar(int position);
