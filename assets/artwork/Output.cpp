// Writing the pictures: PNG through Qt, baseline JPEG through libjpeg, and a
// 16-colour ICO by hand (Qt cannot write one).
#include "Artwork.h"

#include <cstdio>
#include <jpeglib.h>

#include <QByteArray>
#include <QFile>

#include <algorithm>

namespace artwork {

bool Fail(const QString &what)
{
    std::fprintf(stderr, "make_artwork: %s\n", qPrintable(what));
    return false;
}

namespace {

// An enlarged copy on a checker board, which shows the transparent pixels.
void SavePreview(const QImage &img, const QString &path)
{
    const int scale = img.width() <= 32 ? 8 : (img.width() <= 64 ? 4 : 1);
    QImage big(img.size() * scale, QImage::Format_ARGB32);
    big.fill(Qt::white);
    QPainter p(&big);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((x + y) % 2)
                p.fillRect(x * scale, y * scale, scale, scale, QColor(220, 220, 230));
    p.drawImage(QRect(QPoint(0, 0), big.size()), img);
    p.end();
    big.save(path);
}

void WriteJpeg(const QImage &img, FILE *out, int quality)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(img.width());
    cinfo.image_height = static_cast<JDIMENSION>(img.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(img.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

void PutLE16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void PutLE32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// The icon directory with its one entry, then the bitmap header and palette.
QByteArray IcoHeaders(const QImage &indexed, int xorStride, int andStride)
{
    const int w = indexed.width();
    const int h = indexed.height();
    const quint32 bmpSize = 40 + 16 * 4 + quint32(xorStride * h) + quint32(andStride * h);
    QByteArray b;
    PutLE16(b, 0); // reserved
    PutLE16(b, 1); // icon
    PutLE16(b, 1); // one image
    b.append(char(w));
    b.append(char(h));
    b.append(char(16)); // colours in the palette
    b.append(char(0));
    PutLE16(b, 1);  // planes
    PutLE16(b, 4);  // bits per pixel
    PutLE32(b, bmpSize);
    PutLE32(b, 6 + 16);

    PutLE32(b, 40);
    PutLE32(b, quint32(w));
    PutLE32(b, quint32(h * 2)); // XOR and AND halves
    PutLE16(b, 1);
    PutLE16(b, 4);
    PutLE32(b, 0); // BI_RGB
    PutLE32(b, quint32(xorStride * h + andStride * h));
    PutLE32(b, 0);
    PutLE32(b, 0);
    PutLE32(b, 16);
    PutLE32(b, 0);
    for (int i = 0; i < 16; ++i) {
        const QRgb c = indexed.color(i);
        b.append(char(qBlue(c)));
        b.append(char(qGreen(c)));
        b.append(char(qRed(c)));
        b.append(char(0));
    }
    return b;
}

} // namespace

bool SavePng(Output &out, const QImage &img, const QString &name)
{
    const QString path = out.dir + "/" + name;
    if (!img.save(path, "PNG"))
        return Fail("cannot write " + path);
    if (!out.previewDir.isEmpty()) {
        if (img.width() <= 32)
            out.smallPictures.append({name, img});
        SavePreview(img, out.previewDir + "/" + name);
    }
    return true;
}

// Baseline JPEG straight from libjpeg, 4:4:4 so that small red and blue
// lettering keeps its edges.
bool SaveJpeg(const Output &out, const QImage &src, const QString &name, int quality)
{
    const QImage img = src.convertToFormat(QImage::Format_RGB888);
    const QString path = out.dir + "/" + name;
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return Fail("cannot write " + path);
    WriteJpeg(img, file, quality);
    if (std::fclose(file) != 0)
        return Fail("cannot finish " + path);
    if (!out.previewDir.isEmpty()) {
        QImage back(path, "JPG");
        back.save(out.previewDir + "/" + QString(name).replace(".jpg", "_jpg.png"));
    }
    return true;
}

// A one-image ICO: 4 bits per pixel with a 16-entry palette, the BMP rows
// bottom-up, followed by an all-opaque AND mask.
bool SaveIco16Colours(const Output &out, const QImage &indexed, const QString &name)
{
    const int w = indexed.width();
    const int h = indexed.height();
    if (indexed.format() != QImage::Format_Indexed8 || indexed.colorCount() != 16 || w % 8 || w > 255
        || h > 255)
        return Fail("icon must be indexed, 16 colours, width a multiple of 8");

    const int xorStride = ((w * 4 + 31) / 32) * 4;
    const int andStride = ((w + 31) / 32) * 4;
    QByteArray b = IcoHeaders(indexed, xorStride, andStride);
    for (int y = h - 1; y >= 0; --y) {
        const uchar *line = indexed.constScanLine(y);
        QByteArray row(xorStride, '\0');
        for (int x = 0; x < w; ++x) {
            const int idx = line[x] & 0x0F;
            row[x / 2] = char(uchar(row[x / 2]) | (x % 2 ? idx : idx << 4));
        }
        b.append(row);
    }
    b.append(QByteArray(andStride * h, '\0'));

    QFile f(out.dir + "/" + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size())
        return Fail("cannot write " + f.fileName());
    return true;
}

// All small pictures on one page: enlarged, and at their real size on a
// button-face grey and on white.
void SaveSheet(const Output &out)
{
    const QList<QPair<QString, QImage>> &pictures = out.smallPictures;
    const int cell = 32 * 6 + 16;
    const int cols = 4;
    const int rows = int((pictures.size() + cols - 1) / cols);
    QImage sheet(cols * cell, rows * (cell + 40), QImage::Format_RGB32);
    sheet.fill(QColor(240, 240, 240));
    QPainter p(&sheet);
    for (int i = 0; i < pictures.size(); ++i) {
        const QImage &img = pictures[i].second;
        const int x = (i % cols) * cell + 8;
        const int y = (i / cols) * (cell + 40) + 8;
        const int scale = 6 * 32 / std::max(img.width(), img.height());
        p.fillRect(x, y, img.width() * scale, img.height() * scale, QColor(212, 208, 200));
        p.drawImage(QRect(x, y, img.width() * scale, img.height() * scale), img);
        p.fillRect(x, y + cell - 8, 40, 36, QColor(212, 208, 200));
        p.drawImage(x + 4, y + cell - 4, img);
        p.fillRect(x + 44, y + cell - 8, 40, 36, Qt::white);
        p.drawImage(x + 48, y + cell - 4, img);
        p.setPen(Qt::black);
        p.drawText(x + 92, y + cell + 12, pictures[i].first);
    }
    p.end();
    sheet.save(out.previewDir + "/sheet.png");
}

} // namespace artwork
