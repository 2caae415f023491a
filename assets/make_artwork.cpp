// Draws every picture of the program and writes them into one folder
// (default: this source folder). The outputs are committed, so the normal
// build never runs this; rerun it after changing a drawing here.
//
//   make_artwork [output-folder] [--preview folder]
//
// --preview also writes enlarged PNG copies (and PNG copies of the JPEGs)
// for looking at the pictures.

#include <cstdio>
#include <jpeglib.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSet>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#ifndef VEXO_ASSETS_SOURCE_DIR
#define VEXO_ASSETS_SOURCE_DIR "."
#endif

namespace {

QString g_outDir;
QString g_previewDir;
QList<QPair<QString, QImage>> g_smallPictures;

bool Fail(const QString &what)
{
    std::fprintf(stderr, "make_artwork: %s\n", qPrintable(what));
    return false;
}

// ---------------------------------------------------------------- writers

bool SavePng(const QImage &img, const QString &name)
{
    const QString path = g_outDir + "/" + name;
    if (!img.save(path, "PNG"))
        return Fail("cannot write " + path);
    if (!g_previewDir.isEmpty()) {
        if (img.width() <= 32)
            g_smallPictures.append({name, img});
        const int scale = img.width() <= 32 ? 8 : (img.width() <= 64 ? 4 : 1);
        QImage big(img.size() * scale, QImage::Format_ARGB32);
        // a checker board shows which pixels are transparent
        big.fill(Qt::white);
        QPainter p(&big);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((x + y) % 2)
                    p.fillRect(x * scale, y * scale, scale, scale, QColor(220, 220, 230));
        p.drawImage(QRect(QPoint(0, 0), big.size()), img);
        p.end();
        big.save(g_previewDir + "/" + name);
    }
    return true;
}

// Baseline JPEG straight from libjpeg, 4:4:4 so that small red and blue
// lettering keeps its edges.
bool SaveJpeg(const QImage &src, const QString &name, int quality)
{
    const QImage img = src.convertToFormat(QImage::Format_RGB888);
    const QString path = g_outDir + "/" + name;
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return Fail("cannot write " + path);

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
    const bool ok = std::fclose(out) == 0;
    if (!ok)
        return Fail("cannot finish " + path);
    if (!g_previewDir.isEmpty()) {
        QImage back(path, "JPG");
        back.save(g_previewDir + "/" + QString(name).replace(".jpg", "_jpg.png"));
    }
    return true;
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

// A one-image ICO: 4 bits per pixel with a 16-entry palette, the BMP rows
// bottom-up, followed by an all-opaque AND mask.
bool SaveIco16Colours(const QImage &indexed, const QString &name)
{
    const int w = indexed.width();
    const int h = indexed.height();
    if (indexed.format() != QImage::Format_Indexed8 || indexed.colorCount() != 16 || w % 8 || w > 255
        || h > 255)
        return Fail("icon must be indexed, 16 colours, width a multiple of 8");

    const int xorStride = ((w * 4 + 31) / 32) * 4;
    const int andStride = ((w + 31) / 32) * 4;
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

    QFile f(g_outDir + "/" + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size())
        return Fail("cannot write " + f.fileName());
    return true;
}

// All small pictures on one page: enlarged, and at their real size on a
// button-face grey and on white.
void SaveSheet()
{
    const int cell = 32 * 6 + 16;
    const int cols = 4;
    const int rows = int((g_smallPictures.size() + cols - 1) / cols);
    QImage sheet(cols * cell, rows * (cell + 40), QImage::Format_RGB32);
    sheet.fill(QColor(240, 240, 240));
    QPainter p(&sheet);
    for (int i = 0; i < g_smallPictures.size(); ++i) {
        const QImage &img = g_smallPictures[i].second;
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
        p.drawText(x + 92, y + cell + 12, g_smallPictures[i].first);
    }
    p.end();
    sheet.save(g_previewDir + "/sheet.png");
}

// ---------------------------------------------------------------- helpers

QImage Transparent(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// Classic disabled look: the silhouette in dark grey with a white copy one
// pixel down and right, as toolkits of old drew inactive glyphs.
QImage DisabledTwin(const QImage &glyph)
{
    const QImage src = glyph.convertToFormat(QImage::Format_ARGB32);
    QImage out = Transparent(src.width(), src.height()).convertToFormat(QImage::Format_ARGB32);
    auto alphaAt = [&](int x, int y) -> int {
        if (x < 0 || y < 0 || x >= src.width() || y >= src.height())
            return 0;
        return qAlpha(src.pixel(x, y));
    };
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x) {
            const int a = alphaAt(x, y);
            const int shadow = alphaAt(x - 1, y - 1);
            // grey glyph over its white echo
            const double ga = a / 255.0;
            const double wa = shadow / 255.0 * (1.0 - ga);
            const double outA = ga + wa;
            if (outA <= 0.0)
                continue;
            const int v = int(std::lround((128 * ga + 255 * wa) / outA));
            out.setPixel(x, y, qRgba(v, v, v, int(std::lround(outA * 255))));
        }
    }
    return out;
}

// Separable box blur of all four channels, for soft shadows.
QImage Blur(const QImage &src, int radius, int passes)
{
    QImage img = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = img.width();
    const int h = img.height();
    std::vector<int> acc(static_cast<size_t>(std::max(w, h)) * 4);
    for (int pass = 0; pass < passes; ++pass) {
        for (int dir = 0; dir < 2; ++dir) {
            const int len = dir ? h : w;
            const int lines = dir ? w : h;
            for (int l = 0; l < lines; ++l) {
                auto px = [&](int i) -> QRgb & {
                    return dir ? reinterpret_cast<QRgb *>(img.scanLine(i))[l]
                               : reinterpret_cast<QRgb *>(img.scanLine(l))[i];
                };
                std::vector<QRgb> line(static_cast<size_t>(len));
                for (int i = 0; i < len; ++i)
                    line[static_cast<size_t>(i)] = px(i);
                int s[4] = {0, 0, 0, 0};
                auto add = [&](int i, int sign) {
                    if (i < 0 || i >= len)
                        return;
                    const QRgb c = line[static_cast<size_t>(i)];
                    s[0] += sign * qAlpha(c);
                    s[1] += sign * qRed(c);
                    s[2] += sign * qGreen(c);
                    s[3] += sign * qBlue(c);
                };
                for (int i = -radius; i <= radius; ++i)
                    add(i, 1);
                const int n = 2 * radius + 1;
                for (int i = 0; i < len; ++i) {
                    px(i) = qRgba(s[1] / n, s[2] / n, s[3] / n, s[0] / n);
                    add(i - radius, -1);
                    add(i + radius + 1, 1);
                }
            }
        }
    }
    (void)acc;
    return img;
}

void DropShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int blur, int alpha)
{
    const QRectF r = shape.boundingRect().adjusted(-3 * blur, -3 * blur, 3 * blur, 3 * blur);
    QImage mask = Transparent(int(r.width()) + 1, int(r.height()) + 1);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.translate(-r.topLeft());
        m.fillPath(shape, QColor(0, 0, 0, alpha));
    }
    p.drawImage(r.topLeft() + offset, Blur(mask, blur, 3));
}

// Deterministic grain, so that a redraw gives the same bytes.
void AddGrain(QImage &img, int amount, quint32 seed)
{
    quint32 s = seed;
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            s = s * 1664525u + 1013904223u;
            const int d = int((s >> 24) % quint32(2 * amount + 1)) - amount;
            const QRgb c = line[x];
            line[x] = qRgba(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255),
                            std::clamp(qBlue(c) + d, 0, 255), qAlpha(c));
        }
    }
}

QFont Font(const QString &family, double pixels, bool bold = false, bool italic = false)
{
    QFont f(family);
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// ---------------------------------------------------------------- monogram

// "AV" as one zig-zag: the A's right leg is the V's left leg, the A keeps its
// crossbar. Drawn in a 100 x 100 box.
QPainterPath Monogram()
{
    QPainterPath path;
    // outer outline of the zig-zag, clockwise
    const double t = 15.0; // stroke width across
    path.moveTo(4, 92);
    path.lineTo(30, 8);
    path.lineTo(30 + t + 2, 8);
    path.lineTo(63, 64);
    path.lineTo(80, 8);
    path.lineTo(96, 8);
    path.lineTo(71, 92);
    path.lineTo(56, 92);
    path.lineTo(37.5, 34);
    path.lineTo(20, 92);
    path.closeSubpath();
    // crossbar of the A
    QPainterPath bar;
    bar.addRect(QRectF(14, 62, 34, 11));
    return path.united(bar).simplified();
}

void DrawMonogram(QPainter &p, const QRectF &box, const QColor &ink)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 100.0, box.height() / 100.0);
    p.fillPath(Monogram(), ink);
    p.restore();
}

QImage IconTrueColour(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // a thin black frame keeps the white square visible on a white desktop
    const double fw = std::max(1.0, size / 32.0);
    p.setPen(QPen(Qt::black, fw));
    p.drawRect(QRectF(fw / 2, fw / 2, size - fw, size - fw));
    const double m = size * 0.09;
    DrawMonogram(p, QRectF(m, m * 1.05, size - 2 * m, size - 2 * m), Qt::black);
    return img;
}

// 16 evenly spaced greys: enough for smooth edges, still a 4-bit icon.
QImage ToSixteenGreys(const QImage &img)
{
    QImage out(img.size(), QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 16; ++i)
        table.append(qRgb(i * 17, i * 17, i * 17));
    out.setColorTable(table);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const int g = qGray(img.pixel(x, y));
            out.setPixel(x, y, uint((g + 8) / 17));
        }
    return out;
}

QImage AboutLogo()
{
    QImage img(173, 164, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // the window shows 169 x 161 of it, so centre on that part
    const QPointF c(84.5, 80.5);
    p.setPen(QPen(Qt::black, 7));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 73, 73);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(c, 64, 64);
    DrawMonogram(p, QRectF(c.x() - 46, c.y() - 44, 92, 88), Qt::black);
    return img;
}

// ---------------------------------------------------------------- toolbar

void QuestionMark(QPainter &p, const QRectF &box, const QColor &colour, const QColor &edge)
{
    QFont f = Font("DejaVu Sans", box.height() * 1.05, true);
    QPainterPath path;
    path.addText(0, 0, f, "?");
    const QRectF br = path.boundingRect();
    const double s = box.height() / br.height();
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(s, s);
    t.translate(-br.center().x(), -br.center().y());
    path = t.map(path);
    p.save();
    p.setPen(QPen(edge, 1.0));
    p.setBrush(colour);
    p.drawPath(path);
    p.restore();
}

QImage TbAbout()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(6, 5), 10);
    g.setColorAt(0, QColor(255, 255, 170));
    g.setColorAt(0.6, QColor(255, 220, 0));
    g.setColorAt(1, QColor(225, 160, 0));
    p.setBrush(g);
    p.setPen(QPen(QColor(150, 100, 0), 1));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QuestionMark(p, QRectF(4.5, 2.5, 7, 11), QColor(220, 0, 0), QColor(130, 0, 0));
    return img;
}

QImage TbHelp()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // open book seen from above, pages fanning from the spine
    QPainterPath left;
    left.moveTo(8, 8.5);
    left.quadTo(4.5, 6.5, 0.5, 7.5);
    left.lineTo(0.5, 14);
    left.quadTo(4.5, 13, 8, 15.5);
    left.closeSubpath();
    QPainterPath right;
    right.moveTo(8, 8.5);
    right.quadTo(11.5, 6.5, 15.5, 7.5);
    right.lineTo(15.5, 14);
    right.quadTo(11.5, 13, 8, 15.5);
    right.closeSubpath();
    p.setPen(QPen(QColor(20, 50, 120), 1));
    p.setBrush(QColor(245, 245, 235));
    p.drawPath(left);
    p.drawPath(right);
    p.setPen(QPen(QColor(150, 150, 170), 0.8));
    for (double y : {10.0, 12.0}) {
        p.drawLine(QPointF(2.2, y), QPointF(6.3, y + 0.8));
        p.drawLine(QPointF(13.8, y), QPointF(9.7, y + 0.8));
    }
    p.setPen(QPen(QColor(20, 50, 120), 1.2));
    p.drawLine(QPointF(8, 8.5), QPointF(8, 15.5));
    QuestionMark(p, QRectF(4.5, 0.3, 7, 9), QColor(225, 0, 0), QColor(120, 0, 0));
    return img;
}

QImage TbBrush()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(8, 8);
    p.rotate(45);
    // handle to the top right, bristles to the bottom left
    p.setPen(QPen(QColor(130, 90, 0), 0.8));
    QLinearGradient hg(QPointF(-1.8, 0), QPointF(1.8, 0));
    hg.setColorAt(0, QColor(255, 240, 120));
    hg.setColorAt(1, QColor(220, 170, 0));
    p.setBrush(hg);
    p.drawRoundedRect(QRectF(-1.6, -10.5, 3.2, 9.5), 1.4, 1.4);
    // metal ferrule
    QLinearGradient fg(QPointF(-2.5, 0), QPointF(2.5, 0));
    fg.setColorAt(0, QColor(230, 230, 235));
    fg.setColorAt(1, QColor(120, 120, 130));
    p.setBrush(fg);
    p.setPen(QPen(QColor(80, 80, 90), 0.7));
    p.drawRect(QRectF(-2.4, -1.5, 4.8, 3));
    // bristles widening to the tip
    QPainterPath bristles;
    bristles.moveTo(-2.4, 1.5);
    bristles.lineTo(2.4, 1.5);
    bristles.lineTo(3.2, 7.5);
    bristles.quadTo(0, 9.5, -3.2, 7.5);
    bristles.closeSubpath();
    QLinearGradient bg(QPointF(-3, 0), QPointF(3, 0));
    bg.setColorAt(0, QColor(255, 60, 40));
    bg.setColorAt(1, QColor(170, 0, 0));
    p.setBrush(bg);
    p.setPen(QPen(QColor(110, 0, 0), 0.7));
    p.drawPath(bristles);
    return img;
}

void DoorFrame(QPainter &p)
{
    // wall opening with its frame
    p.setPen(QPen(QColor(70, 40, 10), 1));
    p.setBrush(QColor(150, 100, 50));
    p.drawRect(QRectF(5.5, 1.5, 10, 14));
}

QImage TbExit()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DoorFrame(p);
    // the dark room beyond, with light falling out on the floor
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 25, 60));
    p.drawRect(QRectF(7, 3, 7.5, 12));
    // door leaf swung towards the viewer, hinged on the left jamb
    QPainterPath leaf;
    leaf.moveTo(7, 3);
    leaf.lineTo(2, 1.5);
    leaf.lineTo(2, 15.5);
    leaf.lineTo(7, 15);
    leaf.closeSubpath();
    QLinearGradient lg(QPointF(2, 0), QPointF(7, 0));
    lg.setColorAt(0, QColor(235, 175, 90));
    lg.setColorAt(1, QColor(180, 115, 40));
    p.setBrush(lg);
    p.setPen(QPen(QColor(90, 50, 10), 0.9));
    p.drawPath(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 230, 80));
    p.drawEllipse(QPointF(3.4, 8.8), 0.9, 0.9);
    // green arrow leaving through the door
    p.setPen(QPen(QColor(0, 110, 0), 0.8));
    p.setBrush(QColor(40, 200, 40));
    QPainterPath arrow;
    arrow.moveTo(8, 7.5);
    arrow.lineTo(10.5, 7.5);
    arrow.lineTo(10.5, 5.5);
    arrow.lineTo(14, 9);
    arrow.lineTo(10.5, 12.5);
    arrow.lineTo(10.5, 10.5);
    arrow.lineTo(8, 10.5);
    arrow.closeSubpath();
    p.drawPath(arrow);
    return img;
}

QImage TbClosedDoor()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DoorFrame(p);
    QLinearGradient lg(QPointF(7, 0), QPointF(14.5, 0));
    lg.setColorAt(0, QColor(225, 165, 85));
    lg.setColorAt(1, QColor(185, 120, 45));
    p.setBrush(lg);
    p.setPen(QPen(QColor(90, 50, 10), 0.8));
    p.drawRect(QRectF(7, 3, 7.5, 12));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(8.5, 4.5, 4.5, 3.8));
    p.drawRect(QRectF(8.5, 9.5, 4.5, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 230, 80));
    p.drawEllipse(QPointF(13.3, 9), 0.9, 0.9);
    return img;
}

QImage TbInfo()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(6, 5), 10);
    g.setColorAt(0, QColor(150, 190, 255));
    g.setColorAt(1, QColor(20, 70, 190));
    p.setBrush(g);
    p.setPen(QPen(QColor(10, 40, 120), 1));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.3), 1.4, 1.4);
    p.drawRect(QRectF(6.8, 6.5, 2.4, 6.5));
    p.drawRect(QRectF(5.8, 6.5, 2, 1.2));
    p.drawRect(QRectF(5.8, 11.8, 4.4, 1.2));
    return img;
}

QImage TbClosedBook()
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    p.setBrush(QColor(250, 250, 240));
    p.drawRect(QRectF(4, 2, 10.5, 13.5)); // pages
    QLinearGradient cg(QPointF(2, 0), QPointF(13, 0));
    cg.setColorAt(0, QColor(40, 90, 200));
    cg.setColorAt(1, QColor(20, 50, 140));
    p.setBrush(cg);
    p.setPen(QPen(QColor(10, 30, 90), 1));
    p.drawRoundedRect(QRectF(2.5, 0.5, 10.5, 13.5), 1, 1);
    p.setPen(QPen(QColor(255, 220, 60), 1));
    p.drawLine(QPointF(5.5, 4.5), QPointF(10.5, 4.5));
    p.drawLine(QPointF(5.5, 6.5), QPointF(10.5, 6.5));
    return img;
}

// ---------------------------------------------------------------- buttons

QImage ScannerGlyph()
{
    QImage img = Transparent(20, 20);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(10, 10);
    const double r = 7.3;
    // the arc runs clockwise from the top right round to the top, leaving a
    // gap for the arrow head
    const double startDeg = 65;   // Qt angles: counter-clockwise from 3 o'clock
    const double spanDeg = -300;
    QPen pen(QColor(215, 0, 0), 2.6);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), int(startDeg * 16), int(spanDeg * 16));
    // arrow head at the end of the arc, pointing along the direction of travel
    const double endRad = qDegreesToRadians(startDeg + spanDeg);
    const QPointF tip = c + QPointF(r * std::cos(endRad), -r * std::sin(endRad));
    const QPointF tangent(std::sin(endRad), std::cos(endRad)); // clockwise direction
    const QPointF normal(std::cos(endRad), -std::sin(endRad));
    QPainterPath head;
    head.moveTo(tip + tangent * 4.2);
    head.lineTo(tip + normal * 3.6 - tangent * 0.6);
    head.lineTo(tip - normal * 3.6 - tangent * 0.6);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(215, 0, 0));
    p.drawPath(head);
    // exclamation mark
    p.setBrush(QColor(20, 20, 20));
    QPainterPath bar;
    bar.moveTo(8.7, 5.2);
    bar.lineTo(11.3, 5.2);
    bar.lineTo(10.7, 11.6);
    bar.lineTo(9.3, 11.6);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QPointF(10, 13.9), 1.35, 1.35);
    return img;
}

QImage OkGlyph()
{
    QImage img = Transparent(18, 18);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath check;
    check.moveTo(1.5, 9.5);
    check.lineTo(4.5, 6.8);
    check.lineTo(7.3, 10.0);
    check.lineTo(14.5, 1.8);
    check.lineTo(16.8, 4.2);
    check.lineTo(7.3, 15.8);
    check.closeSubpath();
    QLinearGradient g(QPointF(0, 2), QPointF(0, 16));
    g.setColorAt(0, QColor(90, 230, 70));
    g.setColorAt(1, QColor(0, 140, 20));
    p.setPen(QPen(QColor(0, 90, 10), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(check);
    return img;
}

// ---------------------------------------------------------------- help photo

// A D-sub shell (trapezoid) with its pins or holes; pins9 true draws a plug
// face (dots), false a socket face (holes). Width w, centred at c.
void DSubFace(QPainter &p, QPointF c, double w, bool male, const QColor &shell)
{
    const double h = w * 0.42;
    QPainterPath shellPath;
    shellPath.moveTo(c.x() - w / 2, c.y() - h / 2);
    shellPath.lineTo(c.x() + w / 2, c.y() - h / 2);
    shellPath.lineTo(c.x() + w * 0.40, c.y() + h / 2);
    shellPath.lineTo(c.x() - w * 0.40, c.y() + h / 2);
    shellPath.closeSubpath();
    QLinearGradient g(QPointF(0, c.y() - h / 2), QPointF(0, c.y() + h / 2));
    g.setColorAt(0, shell.lighter(140));
    g.setColorAt(1, shell.darker(130));
    p.setPen(QPen(shell.darker(200), 1));
    p.setBrush(g);
    p.drawPath(shellPath);
    // insulator inside the shell
    QPainterPath ins;
    const double iw = w * 0.86, ih = h * 0.70;
    ins.moveTo(c.x() - iw / 2, c.y() - ih / 2);
    ins.lineTo(c.x() + iw / 2, c.y() - ih / 2);
    ins.lineTo(c.x() + iw * 0.40, c.y() + ih / 2);
    ins.lineTo(c.x() - iw * 0.40, c.y() + ih / 2);
    ins.closeSubpath();
    p.setBrush(male ? QColor(40, 40, 45) : QColor(30, 30, 30));
    p.setPen(Qt::NoPen);
    p.drawPath(ins);
    const double step = iw / 6.0;
    const double pr = w * 0.035;
    for (int row = 0; row < 2; ++row) {
        const int n = row ? 4 : 5;
        const double y = c.y() + (row ? ih * 0.22 : -ih * 0.22);
        for (int i = 0; i < n; ++i) {
            const double x = c.x() + (i - (n - 1) / 2.0) * step;
            if (male) {
                p.setBrush(QColor(230, 200, 110));
                p.drawEllipse(QPointF(x, y), pr * 1.2, pr * 1.2);
            } else {
                p.setBrush(QColor(200, 200, 200));
                p.drawEllipse(QPointF(x, y), pr * 1.4, pr * 1.4);
                p.setBrush(QColor(10, 10, 10));
                p.drawEllipse(QPointF(x, y), pr * 0.8, pr * 0.8);
            }
        }
    }
    // the two screw locks
    for (int s = -1; s <= 1; s += 2) {
        const QPointF sc(c.x() + s * w * 0.64, c.y());
        QRadialGradient sg(sc - QPointF(1, 1), w * 0.10);
        sg.setColorAt(0, QColor(250, 250, 250));
        sg.setColorAt(1, QColor(120, 120, 125));
        p.setBrush(sg);
        p.setPen(QPen(QColor(70, 70, 75), 0.8));
        p.drawEllipse(sc, w * 0.075, w * 0.075);
        p.setBrush(QColor(40, 40, 40));
        p.drawEllipse(sc, w * 0.025, w * 0.025);
    }
}

void TerminalBlock(QPainter &p, QRectF r, int screws)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(60, 150, 80));
    g.setColorAt(1, QColor(20, 90, 40));
    p.setPen(QPen(QColor(10, 50, 20), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 2, 2);
    const double step = r.width() / screws;
    for (int i = 0; i < screws; ++i) {
        const QPointF sc(r.left() + step * (i + 0.5), r.center().y());
        const double sr = std::min(step, r.height()) * 0.33;
        QRadialGradient sg(sc - QPointF(sr / 3, sr / 3), sr * 1.4);
        sg.setColorAt(0, QColor(255, 255, 255));
        sg.setColorAt(0.5, QColor(185, 185, 190));
        sg.setColorAt(1, QColor(100, 100, 105));
        p.setBrush(sg);
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.drawEllipse(sc, sr, sr);
        p.save();
        p.translate(sc);
        p.rotate(30 + 17 * i);
        p.setPen(QPen(QColor(50, 50, 50), 1.4));
        p.drawLine(QPointF(-sr * 0.7, 0), QPointF(sr * 0.7, 0));
        p.restore();
    }
}

void Led(QPainter &p, QPointF c, const QColor &colour, bool lit)
{
    if (lit) {
        QRadialGradient glow(c, 11);
        QColor g0 = colour;
        g0.setAlpha(150);
        QColor g1 = colour;
        g1.setAlpha(0);
        glow.setColorAt(0, g0);
        glow.setColorAt(1, g1);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, 11, 11);
    }
    QRadialGradient g(c - QPointF(1.3, 1.3), 5);
    g.setColorAt(0, lit ? QColor(255, 255, 255) : colour.lighter(120));
    g.setColorAt(0.35, lit ? colour.lighter(130) : colour.darker(160));
    g.setColorAt(1, colour.darker(lit ? 140 : 260));
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 40, 40), 0.8));
    p.drawEllipse(c, 3.8, 3.8);
}

void Text(QPainter &p, QPointF at, const QString &text, const QFont &font, const QColor &colour,
          Qt::Alignment align = Qt::AlignLeft)
{
    p.setFont(font);
    p.setPen(colour);
    const QFontMetricsF fm(font);
    double x = at.x();
    if (align & Qt::AlignHCenter)
        x -= fm.horizontalAdvance(text) / 2;
    else if (align & Qt::AlignRight)
        x -= fm.horizontalAdvance(text);
    p.drawText(QPointF(x, at.y()), text);
}

QImage HelpPhoto()
{
    const int W = 594, H = 380;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // bench top: warm grey, lit from the upper left
    QLinearGradient bench(QPointF(0, 0), QPointF(W * 0.6, H));
    bench.setColorAt(0, QColor(214, 209, 196));
    bench.setColorAt(1, QColor(158, 152, 140));
    p.fillRect(img.rect(), bench);
    // a DIN rail under the module
    QRectF rail(0, 130, W * 0.56, 34);
    QLinearGradient rg(rail.topLeft(), rail.bottomLeft());
    rg.setColorAt(0, QColor(225, 225, 228));
    rg.setColorAt(0.15, QColor(175, 175, 180));
    rg.setColorAt(0.85, QColor(150, 150, 156));
    rg.setColorAt(1, QColor(95, 95, 100));
    DropShadow(p, [&] { QPainterPath s; s.addRect(rail); return s; }(), QPointF(4, 6), 5, 120);
    p.fillRect(rail, rg);
    for (int x = 12; x < rail.right(); x += 36)
        p.fillRect(QRectF(x, rail.top() + 13, 18, 8), QColor(90, 90, 95));

    // module housing
    const QRectF box(28, 18, 232, 270);
    QPainterPath boxPath;
    boxPath.addRoundedRect(box, 9, 9);
    DropShadow(p, boxPath, QPointF(9, 10), 7, 150);
    QLinearGradient bg(box.topLeft(), box.topRight());
    bg.setColorAt(0, QColor(236, 236, 232));
    bg.setColorAt(0.55, QColor(222, 222, 218));
    bg.setColorAt(1, QColor(180, 180, 176));
    p.setPen(QPen(QColor(110, 110, 108), 1.2));
    p.setBrush(bg);
    p.drawPath(boxPath);
    // stepped front: raised middle part
    const QRectF front(box.left() + 14, box.top() + 54, box.width() - 28, box.height() - 108);
    QLinearGradient fg(front.topLeft(), front.bottomLeft());
    fg.setColorAt(0, QColor(245, 245, 242));
    fg.setColorAt(1, QColor(212, 212, 208));
    p.setPen(QPen(QColor(140, 140, 138), 1));
    p.setBrush(fg);
    p.drawRoundedRect(front, 5, 5);

    // terminal blocks top and bottom
    TerminalBlock(p, QRectF(box.left() + 18, box.top() + 10, box.width() - 36, 32), 6);
    TerminalBlock(p, QRectF(box.left() + 18, box.bottom() - 42, box.width() - 36, 32), 6);
    const QFont tiny = Font("DejaVu Sans", 8);
    const char *topPins[] = {"+12V", "GND", "A", "B", "NC", "NC"};
    for (int i = 0; i < 6; ++i)
        Text(p, QPointF(box.left() + 18 + (box.width() - 36) / 6 * (i + 0.5), box.top() + 52),
             QString::fromLatin1(topPins[i]), tiny, QColor(60, 60, 60), Qt::AlignHCenter);

    // name plate
    const QRectF plate(front.left() + 10, front.top() + 10, front.width() - 20, 46);
    QLinearGradient pg(plate.topLeft(), plate.bottomLeft());
    pg.setColorAt(0, QColor(40, 80, 160));
    pg.setColorAt(1, QColor(15, 45, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(pg);
    p.drawRoundedRect(plate, 3, 3);
    Text(p, QPointF(plate.left() + 12, plate.top() + 35), "Vexo", Font("DejaVu Sans", 30, true, true),
         Qt::white);
    Text(p, QPointF(plate.right() - 10, plate.top() + 19), QString::fromUtf8("шлюз"),
         Font("DejaVu Sans", 11), QColor(200, 215, 255), Qt::AlignRight);
    Text(p, QPointF(plate.right() - 10, plate.top() + 36), "RS232", Font("DejaVu Sans", 11),
         QColor(200, 215, 255), Qt::AlignRight);

    // LEDs: power and receive lit, transmit dark
    const double ledY = plate.bottom() + 22;
    const QFont ledFont = Font("DejaVu Sans", 9);
    struct LedInfo { const char *name; QColor colour; bool lit; };
    const LedInfo leds[] = {{"ПИТ", QColor(40, 230, 40), true},
                            {"ПРД", QColor(255, 190, 0), false},
                            {"ПРМ", QColor(240, 30, 20), true}};
    for (int i = 0; i < 3; ++i) {
        const double x = plate.left() + 24 + i * 56;
        Led(p, QPointF(x, ledY), leds[i].colour, leds[i].lit);
        Text(p, QPointF(x + 9, ledY + 4), QString::fromUtf8(leds[i].name), ledFont, QColor(50, 50, 50));
    }

    // the two 9-pin sockets on the front
    const QPointF ioSocket(front.left() + 52, front.bottom() - 40);
    const QPointF rsSocket(front.right() - 52, front.bottom() - 40);
    DSubFace(p, rsSocket, 54, false, QColor(170, 170, 175));
    const QFont portFont = Font("DejaVu Sans", 11, true);
    Text(p, rsSocket - QPointF(0, 22), "RS232", portFont, QColor(30, 30, 30), Qt::AlignHCenter);
    Text(p, ioSocket - QPointF(0, 22), "\"I/O\"", portFont, QColor(30, 30, 30), Qt::AlignHCenter);

    // the cable: from the plug on "I/O" down and across the bench to the
    // right, where its other end lies free
    QPainterPath cable;
    cable.moveTo(ioSocket + QPointF(0, 14));
    cable.cubicTo(ioSocket + QPointF(0, 120), QPointF(300, 320), QPointF(390, 262));
    cable.cubicTo(QPointF(450, 222), QPointF(470, 214), QPointF(500, 222));
    QPainterPathStroker stroker;
    stroker.setWidth(13);
    stroker.setCapStyle(Qt::FlatCap);
    DropShadow(p, stroker.createStroke(cable), QPointF(6, 8), 5, 130);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(35, 35, 40), 13, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(cable);
    p.setPen(QPen(QColor(85, 85, 92), 7, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(cable);
    p.setPen(QPen(QColor(140, 140, 150), 2, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(cable.translated(-1.5, -1.5));

    // plug hood on the "I/O" socket, seen from the front: the socket is
    // hidden under it, only its screw locks show
    {
        QPainterPath hood;
        const QPointF c = ioSocket;
        hood.moveTo(c.x() - 34, c.y() - 14);
        hood.lineTo(c.x() + 34, c.y() - 14);
        hood.lineTo(c.x() + 30, c.y() + 8);
        hood.lineTo(c.x() + 10, c.y() + 22);
        hood.lineTo(c.x() - 10, c.y() + 22);
        hood.lineTo(c.x() - 30, c.y() + 8);
        hood.closeSubpath();
        DropShadow(p, hood, QPointF(4, 5), 4, 150);
        QLinearGradient hg(QPointF(c.x() - 34, 0), QPointF(c.x() + 34, 0));
        hg.setColorAt(0, QColor(120, 120, 128));
        hg.setColorAt(0.4, QColor(90, 90, 98));
        hg.setColorAt(1, QColor(45, 45, 50));
        p.setPen(QPen(QColor(25, 25, 28), 1));
        p.setBrush(hg);
        p.drawPath(hood);
        p.setPen(QPen(QColor(150, 150, 160), 1));
        p.drawLine(QPointF(c.x() - 24, c.y() - 8), QPointF(c.x() + 22, c.y() - 8));
        for (int s = -1; s <= 1; s += 2) {
            const QPointF sc(c.x() + s * 27, c.y() - 4);
            QRadialGradient sg(sc - QPointF(1.5, 1.5), 6);
            sg.setColorAt(0, QColor(250, 250, 250));
            sg.setColorAt(1, QColor(110, 110, 115));
            p.setBrush(sg);
            p.setPen(QPen(QColor(60, 60, 60), 0.8));
            p.drawEllipse(sc, 5, 5);
            p.setPen(QPen(QColor(40, 40, 40), 1.2));
            p.drawLine(sc - QPointF(3, 0), sc + QPointF(3, 0));
        }
    }

    // loose end: a 9-pin socket face for the computer's COM port
    const QPointF farEnd(522, 222);
    {
        QPainterPath hood;
        hood.addRoundedRect(QRectF(farEnd.x() - 22, farEnd.y() - 16, 28, 32), 4, 4);
        DropShadow(p, hood, QPointF(5, 6), 4, 140);
        QLinearGradient hg(QPointF(0, farEnd.y() - 16), QPointF(0, farEnd.y() + 16));
        hg.setColorAt(0, QColor(120, 120, 128));
        hg.setColorAt(1, QColor(45, 45, 50));
        p.setPen(QPen(QColor(25, 25, 28), 1));
        p.setBrush(hg);
        p.drawPath(hood);
        p.save();
        p.translate(farEnd + QPointF(14, 0));
        p.rotate(90);
        DSubFace(p, QPointF(0, 0), 44, false, QColor(175, 175, 180));
        p.restore();
    }
    Text(p, QPointF(farEnd.x() + 8, farEnd.y() + 48), "DB9", Font("DejaVu Sans", 11, true),
         QColor(25, 25, 25), Qt::AlignHCenter);

    // paper tag on the cable
    const QFont tagFont = Font("DejaVu Sans", 12, true);
    const QString tag1 = QString::fromUtf8("нуль-модемный кабель DB9");
    const QString tag2 = QString::fromUtf8("— к компьютеру (COM-порт)");
    {
        const QRectF tagRect(292, 194, 190, 40);
        p.save();
        p.translate(tagRect.center());
        p.rotate(-4);
        p.translate(-tagRect.center());
        QPainterPath tp;
        tp.addRoundedRect(tagRect, 3, 3);
        DropShadow(p, tp, QPointF(3, 4), 3, 110);
        p.setPen(QPen(QColor(120, 110, 80), 1));
        p.setBrush(QColor(255, 252, 225));
        p.drawPath(tp);
        Text(p, QPointF(tagRect.center().x(), tagRect.top() + 16), tag1, tagFont, QColor(10, 10, 90),
             Qt::AlignHCenter);
        Text(p, QPointF(tagRect.center().x(), tagRect.top() + 33), tag2, Font("DejaVu Sans", 11.5),
             QColor(10, 10, 90), Qt::AlignHCenter);
        p.restore();
        // string from the tag to the cable
        p.setPen(QPen(QColor(90, 80, 60), 1.2));
        p.drawLine(QPointF(376, 236), QPointF(382, 262));
    }

    // wiring card: pin pairs of the null-modem cable
    {
        const QRectF card(318, 20, 256, 140);
        QPainterPath cp;
        cp.addRect(card);
        DropShadow(p, cp, QPointF(4, 5), 4, 120);
        p.setPen(QPen(QColor(150, 150, 150), 1));
        p.setBrush(QColor(252, 252, 250));
        p.drawPath(cp);
        p.setPen(QPen(QColor(190, 205, 230), 0.8));
        for (double y = card.top() + 22; y < card.bottom(); y += 18)
            p.drawLine(QPointF(card.left() + 1, y), QPointF(card.right() - 1, y));
        const QFont head = Font("DejaVu Sans", 12, true);
        const double lx = card.left() + 54, rx = card.right() - 54;
        Text(p, QPointF(lx, card.top() + 17), "Vexo \"I/O\"", head, QColor(20, 20, 20), Qt::AlignHCenter);
        Text(p, QPointF(rx, card.top() + 17), QString::fromUtf8("компьютер"), head, QColor(20, 20, 20),
             Qt::AlignHCenter);
        const QFont pinFont = Font("DejaVu Sans Mono", 17, true);
        const int pairs[3][2] = {{2, 3}, {3, 2}, {5, 5}};
        for (int i = 0; i < 3; ++i) {
            const double y = card.top() + 46 + i * 28;
            const QColor ink = i == 2 ? QColor(20, 20, 20) : QColor(200, 0, 0);
            Text(p, QPointF(lx, y + 6), QString::number(pairs[i][0]), pinFont, ink, Qt::AlignHCenter);
            Text(p, QPointF(rx, y + 6), QString::number(pairs[i][1]), pinFont, ink, Qt::AlignHCenter);
            p.setPen(QPen(ink, 2));
            p.drawLine(QPointF(lx + 14, y), QPointF(rx - 14, y));
        }
        Text(p, QPointF(card.center().x(), card.bottom() - 9), QString::fromUtf8("DB9 (розетка) — DB9 (розетка)"),
             Font("DejaVu Sans", 10.5), QColor(60, 60, 60), Qt::AlignHCenter);
    }

    // arrow from the card to the plugged socket
    {
        p.setPen(QPen(QColor(200, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
        QPainterPath a;
        a.moveTo(318, 110);
        a.quadTo(250, 120, ioSocket.x() + 40, ioSocket.y() - 18);
        p.setBrush(Qt::NoBrush);
        p.drawPath(a);
        const QPointF tip(ioSocket.x() + 40, ioSocket.y() - 18);
        const QPointF dir = (tip - a.pointAtPercent(0.9)) / QLineF(a.pointAtPercent(0.9), tip).length();
        const QPointF nrm(-dir.y(), dir.x());
        QPainterPath head;
        head.moveTo(tip + dir * 3);
        head.lineTo(tip - dir * 9 + nrm * 5);
        head.lineTo(tip - dir * 9 - nrm * 5);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawPath(head);
    }

    // soft vignette as a lens would give
    QRadialGradient vig(QPointF(W * 0.42, H * 0.38), W * 0.75);
    vig.setColorAt(0.55, QColor(0, 0, 0, 0));
    vig.setColorAt(1, QColor(0, 0, 0, 90));
    p.fillRect(img.rect(), vig);
    p.end();

    AddGrain(img, 3, 20240601u);
    return img.convertToFormat(QImage::Format_RGB32);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    g_outDir = QString::fromUtf8(VEXO_ASSETS_SOURCE_DIR);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--preview" && i + 1 < args.size())
            g_previewDir = args[++i];
        else
            g_outDir = args[i];
    }
    if (!QDir().mkpath(g_outDir) || (!g_previewDir.isEmpty() && !QDir().mkpath(g_previewDir)))
        return Fail("cannot create the output folders"), 1;

    bool ok = true;
    const QImage icon = ToSixteenGreys(IconTrueColour(32));
    ok &= SavePng(icon, "icon.png");
    ok &= SaveIco16Colours(icon, "icon.ico");
    ok &= SavePng(IconTrueColour(48).convertToFormat(QImage::Format_RGB32), "icon_48.png");
    ok &= SavePng(IconTrueColour(128).convertToFormat(QImage::Format_RGB32), "icon_128.png");

    const QImage toolbar[7] = {TbExit(), TbClosedDoor(), TbAbout(), TbInfo(), TbHelp(), TbClosedBook(),
                               TbBrush()};
    for (int i = 0; i < 7; ++i)
        ok &= SavePng(toolbar[i].convertToFormat(QImage::Format_ARGB32), QString("tb%1.png").arg(i));

    const QImage scanner = ScannerGlyph();
    ok &= SavePng(scanner.convertToFormat(QImage::Format_ARGB32), "scanner.png");
    ok &= SavePng(DisabledTwin(scanner), "scanner_disabled.png");
    const QImage check = OkGlyph();
    ok &= SavePng(check.convertToFormat(QImage::Format_ARGB32), "ok.png");
    ok &= SavePng(DisabledTwin(check), "ok_disabled.png");

    ok &= SaveJpeg(HelpPhoto(), "help_vexo.jpg", 90);
    ok &= SaveJpeg(AboutLogo(), "about_logo.jpg", 92);
    if (!g_previewDir.isEmpty())
        SaveSheet();
    return ok ? 0 : 1;
}
