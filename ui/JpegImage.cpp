#include "JpegImage.h"

// jpeglib.h needs FILE and size_t declared before it
#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A hostile progressive file can carry thousands of scans and keep the
// decoder busy for minutes; real pictures have about ten.
constexpr int kMaxScans = 500;
// Working memory libjpeg may take for itself (a progressive picture at the
// pixel cap needs about 100 MB of coefficients).
constexpr long kMaxLibraryMemory = 256L * 1024 * 1024;

// Everything below stays plain C data: the decoding steps longjmp out of
// libjpeg on errors, which must not skip any C++ destructor.
struct ErrorManager {
    jpeg_error_mgr pub; // first, libjpeg casts cinfo->err back to it
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX + 64]; // room for a prefix to libjpeg's message
};

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
};

ErrorManager *ErrorOf(j_common_ptr cinfo)
{
    return reinterpret_cast<ErrorManager *>(cinfo->err);
}

// Replaces libjpeg's default, which prints and calls exit().
void OnFatal(j_common_ptr cinfo)
{
    ErrorManager *err = ErrorOf(cinfo);
    (*cinfo->err->format_message)(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

bool HarmlessWarning(int code)
{
    return code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC;
}

// Silences libjpeg's stderr output. A warning about damaged data ends the
// decoding at once: the picture would be refused anyway.
void OnMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    ++cinfo->err->num_warnings;
    if (HarmlessWarning(cinfo->err->msg_code))
        return;
    ErrorManager *err = ErrorOf(cinfo);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::snprintf(err->text, sizeof err->text, "damaged JPEG data: %s", message);
    std::longjmp(err->jump, 1);
}

void OnProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    const auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        ErrorManager *err = ErrorOf(cinfo);
        std::snprintf(err->text, sizeof err->text, "JPEG data has more than %d scans", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

// Step 1: set libjpeg up on the data and read the header. Returns false with
// job->err.text set on failure. job must be zero-filled beforehand, so that
// jpeg_destroy_decompress is safe whatever point this reached.
[[gnu::noinline]] bool ReadHeader(DecodeJob *job, const unsigned char *data, unsigned long size)
{
    job->cinfo.err = jpeg_std_error(&job->err.pub);
    job->err.pub.error_exit = OnFatal;
    job->err.pub.emit_message = OnMessage;
    if (setjmp(job->err.jump))
        return false;
    jpeg_create_decompress(&job->cinfo);
    job->cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    job->progress.progress_monitor = OnProgress;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, data, size);
    if (jpeg_read_header(&job->cinfo, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(job->err.text, sizeof job->err.text, "JPEG data holds no picture");
        return false;
    }
    return true;
}

// Adobe writes CMYK inverted (0 = full ink); others store ink amounts.
void CmykRowToRgb(const unsigned char *cmyk, unsigned char *rgb, unsigned width, bool inverted)
{
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[0] = static_cast<unsigned char>((c * k + 127) / 255);
        rgb[1] = static_cast<unsigned char>((m * k + 127) / 255);
        rgb[2] = static_cast<unsigned char>((y * k + 127) / 255);
    }
}

// Step 2: decode into the caller's RGB888 rows (width * 3 bytes each, stride
// apart). out_color_space is already chosen: JCS_RGB or JCS_CMYK.
[[gnu::noinline]] bool ReadPixels(DecodeJob *job, unsigned char *bits, size_t stride, unsigned width,
                                  unsigned height)
{
    if (setjmp(job->err.jump))
        return false;
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_start_decompress(cinfo);
    const int wantComponents = cinfo->out_color_space == JCS_CMYK ? 4 : 3;
    if (cinfo->output_width != width || cinfo->output_height != height
        || cinfo->output_components != wantComponents) {
        std::snprintf(job->err.text, sizeof job->err.text, "unexpected JPEG output layout");
        return false;
    }
    JSAMPARRAY scratch = nullptr;
    if (wantComponents == 4)
        scratch = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                              width * 4, 1);
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        unsigned char *dst = bits + stride * cinfo->output_scanline;
        JSAMPROW row = scratch ? scratch[0] : dst;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            std::snprintf(job->err.text, sizeof job->err.text, "JPEG decoder stopped early");
            return false;
        }
        if (scratch)
            CmykRowToRgb(scratch[0], dst, width, inverted);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

struct JobCleanup {
    DecodeJob *job;
    ~JobCleanup() { jpeg_destroy_decompress(&job->cinfo); }
};

QImage Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return QImage();
}

} // namespace

QImage DecodeJpeg(const QByteArray &data, QString *error)
{
    if (error)
        error->clear();
    if (data.isEmpty())
        return Fail(error, QStringLiteral("no JPEG data (empty file)"));
    if (data.size() > kJpegMaxFileBytes)
        return Fail(error, QStringLiteral("JPEG data larger than %1 bytes").arg(kJpegMaxFileBytes));

    DecodeJob job;
    std::memset(&job, 0, sizeof job);
    const JobCleanup cleanup{&job};

    if (!ReadHeader(&job, reinterpret_cast<const unsigned char *>(data.constData()),
                    static_cast<unsigned long>(data.size())))
        return Fail(error, QString::fromLocal8Bit(job.err.text));

    const qint64 width = job.cinfo.image_width;
    const qint64 height = job.cinfo.image_height;
    if (width <= 0 || height <= 0 || width > kJpegMaxSide || height > kJpegMaxSide
        || width * height > kJpegMaxPixels)
        return Fail(error, QStringLiteral("picture of %1 x %2 pixels is too large (at most %3 pixels a "
                                          "side and %4 pixels in all)")
                               .arg(width)
                               .arg(height)
                               .arg(kJpegMaxSide)
                               .arg(kJpegMaxPixels));

    switch (job.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        job.cinfo.out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        job.cinfo.out_color_space = JCS_CMYK;
        break;
    default:
        return Fail(error, QStringLiteral("JPEG colour space with %1 components is not supported")
                               .arg(job.cinfo.num_components));
    }
    job.cinfo.scale_num = 1;
    job.cinfo.scale_denom = 1;

    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    if (image.isNull())
        return Fail(error, QStringLiteral("not enough memory for a %1 x %2 picture").arg(width).arg(height));

    if (!ReadPixels(&job, image.bits(), static_cast<size_t>(image.bytesPerLine()),
                    static_cast<unsigned>(width), static_cast<unsigned>(height)))
        return Fail(error, QString::fromLocal8Bit(job.err.text));
    return image;
}

QImage LoadJpegFile(const QString &path, QString *error)
{
    if (error)
        error->clear();
    if (path.isEmpty())
        return Fail(error, QStringLiteral("no picture file name"));
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return Fail(error, shown + QStringLiteral(": file not found"));
    // devices and pipes have no size to check and may never end
    if (!info.isFile())
        return Fail(error, shown + QStringLiteral(": not a regular file"));
    if (info.size() > kJpegMaxFileBytes)
        return Fail(error, shown + QStringLiteral(": file larger than %1 bytes").arg(kJpegMaxFileBytes));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, shown + QStringLiteral(": ") + file.errorString());
    // the file may have grown since its size was checked
    const QByteArray data = file.read(kJpegMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Fail(error, shown + QStringLiteral(": ") + file.errorString());
    if (data.size() > kJpegMaxFileBytes)
        return Fail(error, shown + QStringLiteral(": file larger than %1 bytes").arg(kJpegMaxFileBytes));

    QString why;
    QImage image = DecodeJpeg(data, &why);
    if (image.isNull())
        return Fail(error, shown + QStringLiteral(": ") + why);
    return image;
}
