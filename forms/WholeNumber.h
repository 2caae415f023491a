// The one decimal whole-number reader, for the controls' rules (the spin
// edit's) and the engine's text helpers alike.
#pragma once

#include <cstdint>
#include <string_view>

// A decimal whole number: an optional sign ('-', and '+' when `plusAllowed`),
// then at least one ASCII digit, nothing else (no blanks, no other digit
// sets). `Overflow` means the digits do not fit a signed 64-bit value;
// `Value` then holds the nearer limit.
struct TWholeNumber {
    enum { NotANumber, Ok, Overflow } State = NotANumber;
    std::int64_t Value = 0;
};
TWholeNumber ReadWholeNumber(std::string_view text, bool plusAllowed);
