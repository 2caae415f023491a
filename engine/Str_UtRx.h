// General string utilities on UTF-8 text: character deletion and space
// folding; the one decimal whole-number reader is the forms' (WholeNumber.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "WholeNumber.h"

// `text` with every `ch` (one character, UTF-8) removed.
std::string DelChar(const std::string &text, std::string_view ch);

// `text` with every space (U+0020) removed, wherever it stands.
std::string DelSpaces(const std::string &text);

// `text` with every run of two or more spaces cut to one space; single
// leading and trailing spaces stay ("a    b  " -> "a b ").
std::string OneSpace(const std::string &text);
