// Code page 1251, the single-byte text of the wire and the settings file.
// Inside the engine and at the view every text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Every byte is one character: 0x00..0x7F as ASCII, 0x80..0xFF by the code
// page, and 0x98, which the code page leaves undefined, as U+0098.
std::string Cp1251Decode(std::string_view bytes);

// One byte per character; a character the code page lacks, and each byte of
// malformed UTF-8, becomes '?'. The exact inverse of Cp1251Decode.
std::string Cp1251Encode(std::string_view utf8);

// As Cp1251Encode, but nothing when a character has no byte (names that must
// not be changed by the conversion, such as device names).
std::optional<std::string> Cp1251EncodeExact(std::string_view utf8);
