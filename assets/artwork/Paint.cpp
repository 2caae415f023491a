// Painting helpers for the pictures: blank canvases, the disabled look of a
// glyph, soft shadows, grain and fonts.
#include "Artwork.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

namespace {

// Separable box blur of all four channels, for soft shadows.
QImage Blur(const QImage &src, int radius, int passes)
{
    QImage img = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = img.width();
    const int h = img.height();
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
    return img;
}

} // namespace

QImage Transparent(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QImage Glyph(int w, int h, const std::function<void(QPainter &)> &draw)
{
    QImage img = Transparent(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
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

QFont Font(const QString &family, double pixels, bool bold, bool italic)
{
    QFont f(family);
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace artwork
