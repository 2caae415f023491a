// The program's icon and the About window's logo: both carry the "AV"
// monogram.
#include "Artwork.h"

#include <QList>

#include <algorithm>

namespace artwork {

namespace {

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

} // namespace

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

} // namespace artwork
