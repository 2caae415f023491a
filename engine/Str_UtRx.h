// General string utilities on UTF-8 text: character deletion, space folding
// and the one decimal whole-number reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// `text` with every `ch` (one character, UTF-8) removed.
std::string DelChar(const std::string &text, std::string_view ch);

// `text` with every space (U+0020) removed, wherever it stands.
std::string DelSpaces(const std::string &text);

// `text` with every run of two or more spaces cut to one space; single
// leading and trailing spaces stay ("a    b  " -> "a b ").
std::string OneSpace(const std::string &text);

// A decimal whole number: an optional sign ('-', and '+' when `plusAllowed`),
// then at least one ASCII digit, nothing else (no blanks, no other digit
// sets). `Overflow` means the digits do not fit a signed 64-bit value;
// `Value` then holds the nearer limit.
struct TWholeNumber {
    enum { NotANumber, Ok, Overflow } State = NotANumber;
    std::int64_t Value = 0;
};
TWholeNumber ReadWholeNumber(std::string_view text, bool plusAllowed);
