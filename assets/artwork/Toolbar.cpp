// The seven 16 x 16 toolbar pictures.
#include "Artwork.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QTransform>

namespace artwork {

namespace {

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

void DoorFrame(QPainter &p)
{
    // wall opening with its frame
    p.setPen(QPen(QColor(70, 40, 10), 1));
    p.setBrush(QColor(150, 100, 50));
    p.drawRect(QRectF(5.5, 1.5, 10, 14));
}

} // namespace

QImage TbAbout()
{
    return Glyph(16, 16, [](QPainter &p) {
        QRadialGradient g(QPointF(6, 5), 10);
        g.setColorAt(0, QColor(255, 255, 170));
        g.setColorAt(0.6, QColor(255, 220, 0));
        g.setColorAt(1, QColor(225, 160, 0));
        p.setBrush(g);
        p.setPen(QPen(QColor(150, 100, 0), 1));
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        QuestionMark(p, QRectF(4.5, 2.5, 7, 11), QColor(220, 0, 0), QColor(130, 0, 0));
    });
}

QImage TbHelp()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

QImage TbBrush()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

QImage TbExit()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

QImage TbClosedDoor()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

QImage TbInfo()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

QImage TbClosedBook()
{
    return Glyph(16, 16, [](QPainter &p) {
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
    });
}

} // namespace artwork
