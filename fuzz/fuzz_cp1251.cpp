// Code page 1251 both ways on any input: decoding is one character per byte
// into valid UTF-8 and encoding undoes it exactly; encoding any text gives
// one byte per character ('?' where the code page has none), and what it
// gives decodes and encodes back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Cp1251.h"
#include "LogHelpers.h"

namespace {

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_cp1251: %s\n", what);
    std::abort();
}

// Characters of valid UTF-8; -1 when it is not valid.
long Utf8Length(const std::string &s)
{
    long n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t len = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : 0;
        if (len == 0 || i + len > s.size())
            return -1;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return -1;
        i += len;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    // Replies: bytes to text.
    const std::string text = Cp1251Decode(bytes);
    if (Utf8Length(text) != static_cast<long>(bytes.size()))
        Fault("decoding is not one valid character per byte");
    long printable = 0;
    for (char c : bytes)
        printable += static_cast<unsigned char>(c) >= 32;
    if (Cp1251Encode(text) != bytes || Cp1251EncodeExact(text) != bytes)
        Fault("encoding does not undo decoding");
    const std::string shown = StripCtrl(text);
    if (Utf8Length(shown) != printable)
        Fault("stripping kept or dropped the wrong characters");
    for (char c : shown)
        if (static_cast<unsigned char>(c) < 32)
            Fault("a control character survived stripping");

    // Requests and the settings file: any text (the same bytes as UTF-8) to bytes.
    const std::string encoded = Cp1251Encode(bytes);
    if (encoded.size() > bytes.size())
        Fault("more bytes than the text had");
    if (const long chars = Utf8Length(bytes); chars >= 0 && static_cast<long>(encoded.size()) != chars)
        Fault("not one byte per character");
    if (Cp1251Encode(Cp1251Decode(encoded)) != encoded)
        Fault("the written bytes do not read back");
    const auto exact = Cp1251EncodeExact(bytes);
    if (exact && *exact != encoded)
        Fault("the exact form differs from the plain one");
    return 0;
}
