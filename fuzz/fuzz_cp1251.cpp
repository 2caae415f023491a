// Code page 1251 both ways on any input: decoding is one character per byte
// and encoding undoes it exactly; encoding any UTF-16 text gives one byte per
// code point, '?' where the code page has no byte.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "LogHelpers.h"
#include "WorkFile.h"

namespace {

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_cp1251: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // Replies: bytes to text.
    const QString text = Cp1251Decode(bytes);
    if (text.size() != bytes.size())
        Fault("decoding changed the length");
    qsizetype printable = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 && text[i].unicode() != b)
            Fault("an ASCII byte did not decode to itself");
        if (text[i].isSurrogate())
            Fault("a byte decoded to half a surrogate pair");
        printable += b >= 32;
    }
    if (Cp1251Encode(text) != bytes)
        Fault("encoding does not undo decoding");
    const QString shown = StripCtrl(text);
    if (shown.size() != printable)
        Fault("stripping kept or dropped the wrong characters");
    for (QChar c : shown)
        if (c.unicode() < 32)
            Fault("a control character survived stripping");

    // Requests and the settings file: any UTF-16 text to bytes.
    const QString any(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2));
    const QByteArray encoded = Cp1251Encode(any);
    qsizetype codePoints = 0;
    for (qsizetype i = 0; i < any.size(); ++i, ++codePoints)
        if (any[i].isHighSurrogate() && i + 1 < any.size() && any[i + 1].isLowSurrogate())
            ++i;
    if (encoded.size() != codePoints)
        Fault("not one byte per code point");
    const QString back = Cp1251Decode(encoded);
    for (qsizetype i = 0, j = 0; i < any.size(); ++i, ++j) {
        const bool pair = any[i].isHighSurrogate() && i + 1 < any.size() && any[i + 1].isLowSurrogate();
        if (pair) {
            if (back[j] != u'?')
                Fault("a character outside the BMP was not written as '?'");
            ++i;
        } else if (back[j] != any[i] && back[j] != u'?') {
            Fault("a character came back as another one");
        }
    }
    return 0;
}
