// The help window's photograph: the module on a bench with the null-modem
// cable from its "I/O" socket, and a card with the cable's wiring.
#include "Artwork.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QRect>

#include <algorithm>

namespace artwork {

namespace {

constexpr int W = 594, H = 380;

// A D-sub shell (trapezoid) with its pins or holes; male true draws a plug
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

void BenchAndRail(QPainter &p)
{
    // bench top: warm grey, lit from the upper left
    QLinearGradient bench(QPointF(0, 0), QPointF(W * 0.6, H));
    bench.setColorAt(0, QColor(214, 209, 196));
    bench.setColorAt(1, QColor(158, 152, 140));
    p.fillRect(QRect(0, 0, W, H), bench);
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
}

// The module housing with its terminal blocks; returns its raised front.
QRectF Housing(QPainter &p)
{
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
    return front;
}

void NamePlateAndLeds(QPainter &p, const QRectF &front)
{
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
}

// Returns the centre of the "I/O" socket, where the cable is plugged in.
QPointF Sockets(QPainter &p, const QRectF &front)
{
    // the two 9-pin sockets on the front
    const QPointF ioSocket(front.left() + 52, front.bottom() - 40);
    const QPointF rsSocket(front.right() - 52, front.bottom() - 40);
    DSubFace(p, rsSocket, 54, false, QColor(170, 170, 175));
    const QFont portFont = Font("DejaVu Sans", 11, true);
    Text(p, rsSocket - QPointF(0, 22), "RS232", portFont, QColor(30, 30, 30), Qt::AlignHCenter);
    Text(p, ioSocket - QPointF(0, 22), "\"I/O\"", portFont, QColor(30, 30, 30), Qt::AlignHCenter);
    return ioSocket;
}

void Cable(QPainter &p, QPointF ioSocket)
{
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
}

// The plug hood on the "I/O" socket (centre c), seen from the front: the
// socket is hidden under it, only its screw locks show.
void PlugHood(QPainter &p, QPointF c)
{
    QPainterPath hood;
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

void LooseEnd(QPainter &p)
{
    // loose end: a 9-pin socket face for the computer's COM port
    const QPointF farEnd(522, 222);
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
    Text(p, QPointF(farEnd.x() + 8, farEnd.y() + 48), "DB9", Font("DejaVu Sans", 11, true),
         QColor(25, 25, 25), Qt::AlignHCenter);
}

void CableTag(QPainter &p)
{
    // paper tag on the cable
    const QFont tagFont = Font("DejaVu Sans", 12, true);
    const QString tag1 = QString::fromUtf8("нуль-модемный кабель DB9");
    const QString tag2 = QString::fromUtf8("— к компьютеру (COM-порт)");
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

void WiringCard(QPainter &p)
{
    // wiring card: pin pairs of the null-modem cable
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

void ArrowToSocket(QPainter &p, QPointF ioSocket)
{
    // arrow from the card to the plugged socket
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

} // namespace

QImage HelpPhoto()
{
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    BenchAndRail(p);
    const QRectF front = Housing(p);
    NamePlateAndLeds(p, front);
    const QPointF ioSocket = Sockets(p, front);
    Cable(p, ioSocket);
    PlugHood(p, ioSocket);
    LooseEnd(p);
    CableTag(p);
    WiringCard(p);
    ArrowToSocket(p, ioSocket);

    // soft vignette as a lens would give
    QRadialGradient vig(QPointF(W * 0.42, H * 0.38), W * 0.75);
    vig.setColorAt(0.55, QColor(0, 0, 0, 0));
    vig.setColorAt(1, QColor(0, 0, 0, 90));
    p.fillRect(img.rect(), vig);
    p.end();

    AddGrain(img, 3, 20240601u);
    return img.convertToFormat(QImage::Format_RGB32);
}

} // namespace artwork
