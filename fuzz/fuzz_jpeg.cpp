// The JPEG loader on any bytes (seeded with the shipped pictures): a picture
// within the limits or a refusal with a reason, never anything in between.
#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "JpegImage.h"

namespace {

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_jpeg: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     static_cast<qsizetype>(size));
    QString error = QStringLiteral("stale");
    const QImage image = DecodeJpeg(bytes, &error);
    if (image.isNull()) {
        if (error.isEmpty() || error == u"stale")
            Fault("refused without a reason");
        return 0;
    }
    if (!error.isEmpty())
        Fault("a picture came with an error");
    if (image.format() != QImage::Format_RGB888)
        Fault("not RGB888");
    if (image.width() > kJpegMaxSide || image.height() > kJpegMaxSide
        || qint64(image.width()) * image.height() > kJpegMaxPixels)
        Fault("a picture beyond the limits was decoded");
    // Every pixel row is there: touching the last byte must be fine.
    const uchar *last = image.constScanLine(image.height() - 1) + image.width() * 3 - 1;
    volatile uchar sink = *last;
    (void)sink;
    return 0;
}
